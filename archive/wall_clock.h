#pragma once
// Time stamps as the instrument's own wall clock: a date and a time of day with no zone. They
// are kept as QDateTime in UTC only so that no daylight-saving rule of the PC can move, double or
// drop one (02:30 on the night the clocks go forward exists on an instrument's clock). The PC's
// own times (a visit's start and end) are taken the same way, as its wall clock.
//
// The log has no year, and an instrument whose calendar is wrong logs 29 February in a year
// without one. Such a record stays between its neighbours: it is kept in the last minute of
// 28 February at (minute of its day + 1) x 41 ms, a place no real record (seconds always 0) can
// take, and its text shows the instrument's own date again.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace tavrel::archive {

// A wall-clock stamp from its parts (seconds 0); 29 February of a year without one as above.
// Invalid when the parts are no date of any year.
QDateTime wallStamp(int year, int month, int day, int hour, int minute);
// The PC's wall clock now, or a local QDateTime taken as its wall-clock parts.
QDateTime wallNow();
QDateTime asWall(const QDateTime& local);

// 29 February of a year without one, kept as said above.
bool isLeapDayStandIn(const QDateTime& stamp);
// The instrument's own date of a stamp (29 February for a stand-in), its time of day.
void instrumentParts(const QDateTime& stamp, int* year, int* month, int* day, QTime* time);

// The stamp as the archive keeps it: "2026-03-15 09:30:00" (".041" more for a stand-in); both
// engines sort it, PostgreSQL reads it as a timestamp without time zone.
QString stampKey(const QDateTime& stamp);
// From a key, PostgreSQL's text of a timestamp, or an older archive's "2026-03-15 09:30".
QDateTime stampFromKey(const QString& key);
// A visit's time as kept: "2026-12-01T02:00:00.123".
QString wallText(const QDateTime& wall);
QDateTime wallFromText(const QString& text);

// "2026-03-15 09:30" as the instrument had it (29 February for a stand-in): for tables and logs.
QString instrumentText(const QDateTime& stamp);

// The system's general date-time text of a stamp, as the download's CSV writes it (the
// instrument's 29 February for a stand-in).
QString stampText(const QDateTime& stamp);

// Parses "2026-11-20", "2026-11-20T09:30", "2026-11-20 09:30[:ss]". A date alone as the end of a
// range means the end of that day. Invalid (and *ok false) when given and not a time.
QDateTime parseRangeBound(const QString& text, bool endOfRange, bool* ok);

}  // namespace tavrel::archive
