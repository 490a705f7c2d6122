#pragma once
// The log download: the size registers, the eight channel set-up records, then the log in
// blocks of at most 1024 bytes, decoded into the records grid as they come, and finally the
// CSV file.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

#include "flex_grid.h"

namespace tavrel {

class Link;

// The download tab as the driver sees it.
class DownloadView {
  public:
    virtual ~DownloadView() = default;
    virtual void setDownloadStatus(const QString& text) = 0;        // Label4
    virtual void setProgress(float percent) = 0;                    // ProgressBar1, 0..100
    virtual void setCountText(int index, const QString& text) = 0;  // Text3(0..9)
    virtual void setDownloadEnabled(bool enabled) = 0;              // Command2
    // Why the last download or export failed, in words (empty after a success); the status
    // text itself stays the tool's own.
    virtual void setFailureCause(const QString& cause) { (void)cause; }
    // What the download is doing now, for front ends that show it (a slow instrument must not
    // look like a hang).
    virtual void setStep(const QString& step) { (void)step; }
    // Log bytes received of the total, and the time left at the rate measured so far (negative
    // until the first block is in): on a slow line the percentage alone moves too rarely.
    virtual void setTransfer(std::int32_t received, std::int32_t total, double secondsLeft) {
        (void)received;
        (void)total;
        (void)secondsLeft;
    }
};

// The size of the log block requests at a line speed. 1024 bytes wherever the awaited half of
// such a block arrives well before the request's repeat can fire; on slower lines the largest
// multiple of 256 bytes that does (0 baud: unknown, 1024).
int logBlockBytes(int lineBaud);
// "12 s", "4 min 05 s", "1 h 02 min": a time left for people.
QString durationText(double seconds);

enum DownloadStatus : int { kDownloadOk = 0, kDownloadEmpty = 1, kDownloadFailed = 2 };

// What the size registers and the set-up records said, before any log block is read.
struct LogShape {
    std::array<QString, 9> captions;  // index 1..8, as shown
    std::int32_t total = 0;           // log bytes to read
    QStringList captionList() const {
        QStringList out;
        for (int k = 1; k <= 8; ++k) out.append(captions[static_cast<std::size_t>(k)]);
        return out;
    }
};

inline constexpr int kRecordsGridRows = 16384;
inline constexpr int kRecordsGridCols = 10;

class DownloadDriver {
  public:
    DownloadDriver(Link& link, FlexGrid& grid, DownloadView& view);

    // Command2 clicked: the whole download and export with its status messages.
    // Returns the final status (0 done, 1 empty log, 2 download failed, 3 export failed),
    // or -1 when the port was taken by another operation and nothing ran.
    int onDownloadClicked();
    int DownloadLog();
    bool WriteCsvFile();

    // Rounds of the channel pass that may read no further channel before the download gives up.
    static constexpr int kIdleChannelRounds = 3;

    // The failure of the last download or export, in words.
    const QString& failureCause() const { return cause_; }

    // Where the block pass starts, asked once the log's shape is known (a multiple of 256 up
    // to the total; 0 reads the whole log, as the window always does). The archive reads only
    // what is new this way.
    void setStartChooser(std::function<std::int32_t(const LogShape&)> chooser) {
        chooseStart_ = std::move(chooser);
    }
    // The raw log bytes the last download read, from readFrom() on, and the shape it found.
    const QByteArray& logBytes() const { return logBytes_; }
    std::int32_t readFrom() const { return readFrom_; }
    const LogShape& shape() const { return shape_; }

  private:
    // Remembers why `step` failed, from the link's cause and the port's own words.
    void noteLinkFailure(const QString& step);
    // One CSV line of grid row `row` (CR LF included) appended to `line`.
    void appendCsvRow(QByteArray& line, std::int32_t row) const;
    // The CSV lines of the rows decoded since the last call, put together while the instrument
    // answers the next request: the export then writes them as they are, unless the grid or
    // the channels changed meanwhile.
    void prepareCsvRows();

    struct PreparedCsv {
        QByteArray lines;
        std::int32_t rows = 0;  // grid rows 1..rows are in `lines`
        std::array<bool, 9> channels{};
        bool usable = false;
    };
    Link& link_;
    FlexGrid& grid_;
    DownloadView& view_;
    QString cause_;
    QString exportError_;  // why WriteCsvFile last returned false
    std::function<std::int32_t(const LogShape&)> chooseStart_;
    QByteArray logBytes_;
    std::int32_t readFrom_ = 0;
    LogShape shape_;
    PreparedCsv prepared_;
};

}  // namespace tavrel
