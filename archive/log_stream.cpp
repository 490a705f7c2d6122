#include "log_stream.h"

#include <QStringList>
#include <cstdlib>

#include "record_decoding.h"
#include "wall_clock.h"

namespace tavrel::archive {

namespace {
int bcd(unsigned char byte) {
    const int hi = byte >> 4;
    const int lo = byte & 0xF;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}
// Month, day, hour, minute as one number that orders a year's stamps.
long long key(int month, int day, int hour, int minute) {
    return ((month * 100LL + day) * 100 + hour) * 100 + minute;
}
}  // namespace

QString StreamState::text() const {
    return QStringLiteral("%1 %2 %3 %4").arg(month).arg(day).arg(hour).arg(minute);
}

StreamState StreamState::fromText(const QString& text) {
    const QStringList parts = text.split(u' ');
    StreamState s;
    if (parts.size() == 4) {
        s.month = parts[0].toInt();
        s.day = parts[1].toInt();
        s.hour = parts[2].toInt();
        s.minute = parts[3].toInt();
    }
    return s;
}

QList<Entry> decodeStream(const QByteArray& bytes, StreamState& state) {
    QList<Entry> out;
    out.reserve(bytes.size() / 8);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype at = 0; at + 8 <= bytes.size(); at += 8) {
        const unsigned char* e = b + at;
        const int channel = e[0] >> 4;
        const int month = e[0] & 0x0F;
        const int day = bcd(e[1]);
        // A date is valid when some year has it (29 February: a leap year will).
        if (month >= 1 && month <= 12 && day >= 1 && QDate(2000, month, day).isValid()) {
            state.month = month;
            state.day = day;
        }
        const int hour = bcd(e[2]);
        const int minute = bcd(e[3]);
        if (hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59) {
            state.hour = hour;
            state.minute = minute;
        }
        if (state.month == 0 || channel == 0 || channel == 12) continue;
        out.append(Entry{channel, state.month, state.day, state.hour, state.minute,
                         DecodeFloat(e[4], e[5], e[6], e[7])});
    }
    return out;
}

QList<Record> assignYears(const QList<Entry>& entries, const QDateTime& visit) {
    QList<Record> out(entries.size());
    if (entries.isEmpty()) return out;
    const QDateTime pc = asWall(visit);
    const Entry& last = entries.last();
    int year = pc.date().year();
    qint64 nearest = -1;
    for (const int y : {pc.date().year() - 1, pc.date().year(), pc.date().year() + 1}) {
        const qint64 off =
            std::abs(pc.secsTo(wallStamp(y, last.month, last.day, last.hour, last.minute)));
        if (nearest < 0 || off < nearest) {
            nearest = off;
            year = y;
        }
    }
    long long after = key(last.month, last.day, last.hour, last.minute);
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        const Entry& e = entries[i];
        const long long k = key(e.month, e.day, e.hour, e.minute);
        if (k > after) --year;  // later in the year than what follows it: the year before
        after = k;
        out[i] = Record{e.channel, wallStamp(year, e.month, e.day, e.hour, e.minute), e.value};
    }
    return out;
}

}  // namespace tavrel::archive
