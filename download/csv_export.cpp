// The CSV export: rows 1 to RecordRow of the records grid, the time-stamp column and then one
// field per channel in use, CR LF, no quoting, in the system code page.

#include <QFile>

#include "download_driver.h"
#include "link.h"
#include "local_text.h"

namespace tavrel {

bool DownloadDriver::WriteCsvFile() {
    const ProgramState& s = link_.state();
    if (s.DownloadSaveFile.isEmpty()) return false;
    QFile file(s.DownloadSaveFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const std::int32_t last = s.RecordRow;
    QByteArray line;
    for (std::int32_t row = 1; row <= last; ++row) {
        if (row >= grid_.rows()) {
            file.close();  // the grid has no such row: its records were lost
            return false;
        }
        line = encodeLocal(grid_.text(row, 1));
        int column = 1;
        for (int k = 1; k <= 8; ++k) {
            if (!s.ChannelInUse[k]) continue;
            ++column;
            line += ',';
            line += encodeLocal(grid_.text(row, column));
        }
        line += "\r\n";
        if (file.write(line) != line.size()) {
            file.close();
            return false;
        }
    }
    if (!file.flush()) {
        file.close();
        return false;
    }
    file.close();
    return file.error() == QFileDevice::NoError;
}

}  // namespace tavrel
