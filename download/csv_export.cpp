// The CSV export: rows 1 to RecordRow of the records grid, the time-stamp column and then one
// field per channel in use, CR LF, no quoting, in the system code page.

#include <QFile>

#include "download_driver.h"
#include "link.h"
#include "local_text.h"

namespace tavrel {

void DownloadDriver::appendCsvRow(QByteArray& line, std::int32_t row) const {
    const ProgramState& s = link_.state();
    appendLocal(line, grid_.view(row, 1));
    int column = 1;
    for (int k = 1; k <= 8; ++k) {
        if (!s.ChannelInUse[k]) continue;
        ++column;
        line += ',';
        appendLocal(line, grid_.view(row, column));
    }
    line += "\r\n";
}

void DownloadDriver::prepareCsvRows() {
    const ProgramState& s = link_.state();
    if (prepared_.rows == 0) {
        prepared_.lines.clear();
        prepared_.channels = s.ChannelInUse;
        prepared_.usable = true;
    }
    // A row already put together that changed since makes the copy worthless; the export then
    // reads the grid as usual.
    if ((prepared_.rows > 0 && grid_.changedFrom() <= prepared_.rows) ||
        prepared_.channels != s.ChannelInUse)
        prepared_.usable = false;
    if (!prepared_.usable) return;
    const std::int32_t last = std::min<std::int32_t>(s.RecordRow, grid_.rows() - 1);
    for (std::int32_t row = prepared_.rows + 1; row <= last; ++row)
        appendCsvRow(prepared_.lines, row);
    prepared_.rows = std::max(prepared_.rows, last);
    grid_.markUnchanged();
}

bool DownloadDriver::WriteCsvFile() {
    const ProgramState& s = link_.state();
    exportError_ = QStringLiteral("no file name");
    if (s.DownloadSaveFile.isEmpty()) return false;
    QFile file(s.DownloadSaveFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        exportError_ = file.errorString();
        return false;
    }
    const std::int32_t last = s.RecordRow;
    const bool prepared = prepared_.usable && prepared_.rows == last &&
                          grid_.changedFrom() > last && prepared_.channels == s.ChannelInUse;
    if (prepared && file.write(prepared_.lines) != prepared_.lines.size()) {
        exportError_ = file.errorString();
        file.close();
        return false;
    }
    QByteArray line;
    line.reserve(256);
    for (std::int32_t row = prepared ? last + 1 : 1; row <= last; ++row) {
        if (row >= grid_.rows()) {
            exportError_ = QStringLiteral("the log holds more records than the grid's %1")
                               .arg(grid_.rows() - 2);
            file.close();  // the grid has no such row: its records were lost
            return false;
        }
        line.resize(0);  // keeps its room: one buffer for every line
        appendCsvRow(line, row);
        if (file.write(line) != line.size()) {
            exportError_ = file.errorString();
            file.close();
            return false;
        }
    }
    if (!file.flush()) {
        exportError_ = file.errorString();
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        exportError_ = file.errorString();
        return false;
    }
    exportError_.clear();
    return true;
}

}  // namespace tavrel
