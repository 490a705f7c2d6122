#include "wall_clock.h"

#include <QTimeZone>

#include "record_decoding.h"

namespace tavrel::archive {

namespace {
constexpr int kStandInStepMs = 41;  // 1440 minutes x 41 ms stay inside one minute
// A leap year whose digits show nowhere else in a date text: a stand-in's text is this year's
// text with its digits replaced.
constexpr int kTextLeapYear = 1996;
}  // namespace

QDateTime wallStamp(int year, int month, int day, int hour, int minute) {
    const QDate date(year, month, day);
    if (date.isValid()) return QDateTime(date, QTime(hour, minute), QTimeZone::utc());
    if (month != 2 || day != 29) return {};
    const int ms = (hour * 60 + minute + 1) * kStandInStepMs;
    return QDateTime(QDate(year, 2, 28), QTime(23, 59).addMSecs(ms), QTimeZone::utc());
}

QDateTime asWall(const QDateTime& local) {
    return QDateTime(local.date(), local.time(), QTimeZone::utc());
}

QDateTime wallNow() { return asWall(QDateTime::currentDateTime()); }

bool isLeapDayStandIn(const QDateTime& stamp) {
    const QDate d = stamp.date();
    const QTime t = stamp.time();
    return d.month() == 2 && d.day() == 28 && t.hour() == 23 && t.minute() == 59 && t.msec() != 0;
}

void instrumentParts(const QDateTime& stamp, int* year, int* month, int* day, QTime* time) {
    *year = stamp.date().year();
    if (isLeapDayStandIn(stamp)) {
        const int minuteOfDay =
            (stamp.time().second() * 1000 + stamp.time().msec()) / kStandInStepMs - 1;
        *month = 2;
        *day = 29;
        *time = QTime(minuteOfDay / 60, minuteOfDay % 60);
        return;
    }
    *month = stamp.date().month();
    *day = stamp.date().day();
    *time = QTime(stamp.time().hour(), stamp.time().minute(), stamp.time().second());
}

QString stampKey(const QDateTime& stamp) {
    if (!stamp.isValid()) return {};
    const QTime t = stamp.time();
    return stamp.date().toString(Qt::ISODate) + u' ' +
           t.toString(t.msec() != 0 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QDateTime stampFromKey(const QString& key) {
    // "yyyy-MM-dd HH:mm[:ss[.f...]]", with a blank or a "T" between date and time.
    if (key.size() < 16 || key[13] != u':' || (key.size() >= 19 && key[16] != u':')) return {};
    for (const int at : {11, 12, 14, 15})
        if (!key[at].isDigit()) return {};
    const QDate date = QDate::fromString(key.left(10), Qt::ISODate);
    const int hour = key.mid(11, 2).toInt();
    const int minute = key.mid(14, 2).toInt();
    const int second = key.size() >= 19 ? key.mid(17, 2).toInt() : 0;
    int ms = 0;
    if (key.size() > 20 && key[19] == u'.')
        ms = static_cast<int>(key.mid(20, 3).leftJustified(3, u'0').toInt());
    const QTime time(hour, minute, second, ms);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QString wallText(const QDateTime& wall) {
    return wall.isValid() ? wall.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) : QString();
}

QDateTime wallFromText(const QString& text) { return stampFromKey(text); }

QString instrumentText(const QDateTime& stamp) {
    if (!stamp.isValid()) return {};
    int year = 0;
    int month = 0;
    int day = 0;
    QTime time;
    instrumentParts(stamp, &year, &month, &day, &time);
    return QStringLiteral("%1-%2-%3 %4")
        .arg(year, 4, 10, QChar(u'0'))
        .arg(month, 2, 10, QChar(u'0'))
        .arg(day, 2, 10, QChar(u'0'))
        .arg(time.toString(QStringLiteral("HH:mm")));
}

QString stampText(const QDateTime& stamp) {
    int year = 0;
    int month = 0;
    int day = 0;
    QTime time;
    instrumentParts(stamp, &year, &month, &day, &time);
    if (month != 2 || day != 29 || QDate::isLeapYear(year))
        return dateTimeText(QDate(year, month, day), time);
    QString text = dateTimeText(QDate(kTextLeapYear, 2, 29), time);
    const QString full = QString::number(kTextLeapYear);
    if (text.contains(full)) return text.replace(full, QString::number(year));
    return text.replace(full.right(2), QStringLiteral("%1").arg(year % 100, 2, 10, QChar(u'0')));
}

QDateTime parseRangeBound(const QString& text, bool endOfRange, bool* ok) {
    *ok = true;
    if (text.isEmpty()) return {};
    const QString trimmed = text.trimmed();
    const QDate day = trimmed.size() == 10 ? QDate::fromString(trimmed, Qt::ISODate) : QDate();
    if (day.isValid()) {
        return endOfRange ? QDateTime(day, QTime(23, 59, 59, 999), QTimeZone::utc())
                          : QDateTime(day, QTime(0, 0), QTimeZone::utc());
    }
    QString t = text.trimmed();
    t.replace(u'T', u' ');
    const QDateTime d = t.size() >= 16 && t[10] == u' ' ? stampFromKey(t) : QDateTime();
    *ok = d.isValid();
    // The end of a range given to the minute takes in that minute's record.
    return endOfRange && d.isValid() && d.time().second() == 0 && d.time().msec() == 0
               ? d.addMSecs(59999)
               : d;
}

}  // namespace tavrel::archive
