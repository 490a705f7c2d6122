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

// A CSV file the tool wrote: the "Date / Time" header, then CR LF lines. False (with `error`)
// for anything else.
bool readLogCsv(const QByteArray& bytes, LogTable* table, QString* error);

// A log in the tool's CSV form (the header, then each row; CR LF, the system code page): what
// readLogCsv reads.
QByteArray logCsv(const QStringList& captions, const QList<QStringList>& rows);

// The time a stamp text stands for, read back the way the tool wrote it (the locale's short
// date and long time; the date alone at midnight). Empty when the text is not such a stamp.
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
    // The stamp as msecs since the epoch, local time; the day's offset from UTC is taken at its
    // start (the instrument's clock knows no daylight saving either).
    qint64 msecs(const Stamp& stamp);

  private:
    QString dateText_;
    QDate date_;
    QHash<QString, int> times_;
    QHash<QDate, qint64> dayStarts_;
};

}  // namespace tavrel
