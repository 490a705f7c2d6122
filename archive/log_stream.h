#pragma once
// The instrument's log read as one stream for the archive: 8-byte entries (channel code, month,
// BCD day, hour and minute, value), where the last valid date and time carry over from entry to
// entry across block boundaries (the grid decoder starts afresh with every 1024-byte block; one
// history must not depend on where a visit's reads happened to be cut). The log has no year:
// `assignYears` gives the last record the year that puts it nearest the visit's time (an
// instrument's clock may run hours or weeks ahead of the PC's, or behind it), and each record
// before it the year of the one after it, or the year before when its day of the year comes
// later, so a log that crosses New Year gets both years.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

namespace tavrel::archive {

// What the stream has seen last: carried into the next bytes, and kept in the archive with a
// meter's last block so a new-only visit goes on exactly where a whole read would be.
struct StreamState {
    int month = 0;  // 0: no valid date yet
    int day = 0;
    int hour = 0;
    int minute = 0;
    QString text() const;
    static StreamState fromText(const QString& text);
    bool operator==(const StreamState&) const = default;
};

struct Entry {
    int channel = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    float value = 0;
};

// Decodes whole 8-byte entries of `bytes` (a trailing part is ignored), carrying `state`.
// Entries before the first valid date, and channel codes 0 and 12 (no value), give nothing.
QList<Entry> decodeStream(const QByteArray& bytes, StreamState& state);

struct Record {
    int channel = 0;
    QDateTime stamp;  // the instrument's wall clock (wall_clock.h), seconds 0
    float value = 0;
};

// Years for entries in log order: the last is in the year that puts it nearest `visit` (the
// PC's wall clock), and going back each one is in the year of the one after it, or the year
// before when its day of the year comes later.
QList<Record> assignYears(const QList<Entry>& entries, const QDateTime& visit);

}  // namespace tavrel::archive
