#include "record_decoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

#include "flex_grid.h"
#include "local_text.h"

namespace tavrel {

namespace {
constexpr double kDivisor = 16777215.0;  // 2^24 - 1, not 2^24: the instrument's own scaling
const float kHuge = 1e37F;
const float kTiny = 1e-37F;

// Two BCD digits; -1 when either digit is above 9.
int bcd(int byte) {
    const int hi = (byte >> 4) & 0xF;
    const int lo = byte & 0xF;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}
}  // namespace

float DecodeFloat(int b1, int b2, int b3, int b4) {
    const int sign = b1 > 127 ? -1 : 1;
    const int e = (b1 & 127) * 2 + (b2 > 127 ? 1 : 0);
    const int m = ((b2 | 128) & 0xFF) * 65536 + (b3 & 0xFF) * 256 + (b4 & 0xFF);
    if (e < 2) return sign > 0 ? 0.0F : -kTiny;
    if (e > 252) return sign > 0 ? kHuge : -kHuge;
    float v = static_cast<float>((m / kDivisor) * sign * std::ldexp(1.0, e - 126));
    if (v > kHuge) {
        v = kHuge;
    } else if (v > 0.0F && v < kTiny) {
        v = 0.0F;
    }
    return v;
}

QByteArray CleanText(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b != 254 && b != 255) out.append(c);
    }
    return out;
}

int numberChars(double value, char* out) {
    char* o = out;
    *o++ = value < 0 ? '-' : ' ';
    if (value == 0.0) {
        *o++ = '0';
        return static_cast<int>(o - out);
    }
    // to_chars never looks at the locale: "." whatever LC_NUMERIC says.
    char buf[32];
    const char* end =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::general, 7).ptr;
    const char* exponent = std::find(static_cast<const char*>(buf), end, 'e');
    const char* digits = buf;
    const char* digitsEnd = exponent;
    if (std::find(digits, digitsEnd, '.') != digitsEnd) {
        while (digitsEnd > digits && digitsEnd[-1] == '0') --digitsEnd;
        if (digitsEnd > digits && digitsEnd[-1] == '.') --digitsEnd;
    }
    if (digitsEnd - digits > 1 && digits[0] == '0' && digits[1] == '.') ++digits;  // ".5"
    o = std::copy(digits, digitsEnd, o);
    if (exponent != end) {
        *o++ = 'E';  // "E+37"
        o = std::copy(exponent + 1, end, o);
    }
    return static_cast<int>(o - out);
}

QString numberText(double value) {
    char text[32];
    return QString::fromLatin1(text, numberChars(value, text));
}

QString dateTimeText(QDate d, QTime t) {
    const bool midnight = t == QTime(0, 0);
#ifdef _WIN32
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(d.year());
    st.wMonth = static_cast<WORD>(d.month());
    st.wDay = static_cast<WORD>(d.day());
    st.wHour = static_cast<WORD>(t.hour());
    st.wMinute = static_cast<WORD>(t.minute());
    st.wSecond = static_cast<WORD>(t.second());
    wchar_t date[128];
    wchar_t time[128];
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128, nullptr);
    QString text = QString::fromWCharArray(date);
    if (midnight) return text.simplified();
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 128);
    return (text + u' ' + QString::fromWCharArray(time)).simplified();
#else
    // The C library's own short date (%x) and long time (%X) of LC_TIME, in the code page of
    // LC_CTYPE: the system's general date-time form, with no time zone to strip.
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_yday = d.dayOfYear() - 1;
    tm.tm_isdst = -1;
    char buf[256];
    const std::size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &tm);
    // Some locales pad the hour with a blank (%l) or end their time with one: one blank
    // between the parts, none at the ends.
    return decodeLocal(QByteArray(buf, static_cast<qsizetype>(n))).simplified();
#endif
}

QStringView StampTexts::text(QDate d, QTime t) {
    if (d != date_) {
        date_ = d;
        dateText_ = dateTimeText(d, QTime(0, 0));
    }
    if (t.second() != 0 || !t.isValid()) {
        stamp_ = dateTimeText(d, t);
        return stamp_;
    }
    const int minute = t.hour() * 60 + t.minute();
    if (minute == 0) return dateText_;
    QString& time = times_[static_cast<std::size_t>(minute)];
    if (time.isNull()) {
        // The long time alone: the stamp less its date part (the C library has no "%X only"
        // that is cheaper, and this keeps one rule for the whole text).
        stamp_ = dateTimeText(d, t);
        if (!stamp_.startsWith(dateText_ + u' ')) return stamp_;  // never cached: kept exact
        time = stamp_.mid(dateText_.size() + 1);
        return stamp_;
    }
    // Put together in the same room every time: no text of its own per record.
    stamp_.resize(0);
    stamp_.append(dateText_).append(u' ').append(time);
    return stamp_;
}

LogBlockDecoder::LogBlockDecoder(FlexGrid& grid, std::int32_t& recordRow)
    : grid_(grid), recordRow_(recordRow) {
    for (int k = 1; k <= 8; ++k) columnOf_[static_cast<std::size_t>(k)] = k + 1;
}

bool LogBlockDecoder::DecodeLogBlock(const QByteArray& block) {
    QDate date;  // last valid date of this block
    QTime time(0, 0);
    bool havePrevious = false;
    QDate previousDate;
    QTime previousTime;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.constData());
    int lastMonth = -1;
    int lastDay = -1;
    QDate lastValid;
    // A trailing partial entry is ignored.
    for (qsizetype at = 0; at + 8 <= block.size(); at += 8) {
        const unsigned char* e = bytes + at;
        const int channel = e[0] >> 4;
        if (channel == 12) continue;
        const int month = e[0] & 0x0F;
        const int day = bcd(e[1]);
        // Entries of one day follow each other: its date is worked out once.
        if (month != lastMonth || day != lastDay) {
            lastMonth = month;
            lastDay = day;
            const QDate d(year_, month, day);
            lastValid = month >= 1 && month <= 12 && day > 0 && d.isValid() ? d : QDate();
        }
        if (lastValid.isValid()) date = lastValid;
        const int hour = bcd(e[2]);
        const int minute = bcd(e[3]);
        if (hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59) time = QTime(hour, minute);
        if (!date.isValid()) continue;

        if (!havePrevious || date != previousDate || time != previousTime) {
            ++recordRow_;
            // Number and stamp are the row's: written once, not again for each channel's entry.
            grid_.setText(recordRow_, 1, stamps_.text(date, time));
            char number[16];
            const char* end = std::to_chars(number, number + sizeof number, recordRow_ - 1).ptr;
            grid_.setText(recordRow_, 0, QLatin1StringView(number, end - number));
        }
        havePrevious = true;
        previousDate = date;
        previousTime = time;

        const int column = columnOf_[static_cast<std::size_t>(channel)];
        if (column > 0) {
            char value[32];
            const int n = numberChars(DecodeFloat(e[4], e[5], e[6], e[7]), value);
            grid_.setText(recordRow_, column, QLatin1StringView(value, n));
        }
    }
    return true;
}

}  // namespace tavrel
