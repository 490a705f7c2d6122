#pragma once
// The downloaded log as the chart reads it: the channel captions and, row by row in the order
// of the records grid, the time-stamp text and each channel's value text. It comes from the
// window's records grid or from a CSV file the tool wrote (in whatever locale and code page it
// was written, as long as the reader runs in the same one).

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tavrel {

class FlexGrid;

struct LogTable {
    QStringList captions;     // one per channel column
    QList<QStringList> rows;  // [0] the stamp text, [1..] one value text per caption
};

// Rows 2.. of the records grid up to the first row without a stamp.
LogTable logTableFromGrid(const FlexGrid& grid);
// The other way: a saved log into the records grid as a download leaves it (captions in row 1,
// record numbers in column 0).
void fillRecordsGrid(FlexGrid& grid, const LogTable& table);

// A CSV file the tool wrote: the "Date / Time" header, then CR LF lines. False (with `error`)
// for anything else.
bool readLogCsv(const QByteArray& bytes, LogTable* table, QString* error);

// A log in the tool's CSV form (the header, then each row; CR LF, the system code page): what
// readLogCsv reads.
QByteArray logCsv(const QStringList& captions, const QList<QStringList>& rows);

// The time a stamp text stands for, read back the way the tool wrote it (the locale's short
// date and long time; the date alone at midnight), as UTC. Empty when the text is not such a
// stamp.
std::optional<QDateTime> parseStamp(const QString& text);

// parseStamp for a whole log: a log has few dates and at most 1440 minutes of the day, so each
// date text and each time text is read once, and the rest is looked up.
class StampReader {
  public:
    struct Stamp {
        QDate date;
        int msecsOfDay = 0;
    };
    std::optional<Stamp> read(const QString& text);
    // The stamp as msecs since the epoch read as UTC: the instrument's wall-clock time, the
    // same on every zone and through every change of the clocks.
    static qint64 msecs(const Stamp& stamp);

  private:
    QString dateText_;
    QDate date_;
    QHash<QString, int> times_;
};

}  // namespace tavrel
