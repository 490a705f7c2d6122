#include "record_decoding.h"

#include <cmath>
#include <cstdio>

#include "flex_grid.h"

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

QString numberText(double value) {
    if (value == 0.0) return QStringLiteral(" 0");
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.7G", std::fabs(value));  // "C" formatting: "." always
    std::string s(buf);
    std::string exponent;
    if (const auto epos = s.find('E'); epos != std::string::npos) {
        exponent = s.substr(epos);  // "E+37"
        s.erase(epos);
    }
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    if (s.size() > 1 && s[0] == '0' && s[1] == '.') s.erase(0, 1);  // ".5", not "0.5"
    const char* sign = value < 0 ? "-" : " ";
    return QString::fromLatin1(sign + s + exponent);
}

QString dateTimeText(const QDateTime& stamp, const QLocale& locale) {
    QString date = locale.toString(stamp.date(), QLocale::ShortFormat);
    if (stamp.time() == QTime(0, 0)) return date;
    // The long time format without its time-zone part.
    QString format = locale.timeFormat(QLocale::LongFormat);
    QString cleaned;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        cleaned.append(c);
    }
    return date + u' ' + locale.toString(stamp.time(), cleaned.trimmed());
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
    // A trailing partial entry is ignored.
    for (qsizetype at = 0; at + 8 <= block.size(); at += 8) {
        const unsigned char* e = bytes + at;
        const int channel = e[0] >> 4;
        if (channel == 12) continue;
        const int month = e[0] & 0x0F;
        const int day = bcd(e[1]);
        if (QDate d(year_, month, day); month >= 1 && month <= 12 && day > 0 && d.isValid()) {
            date = d;
        }
        const int hour = bcd(e[2]);
        const int minute = bcd(e[3]);
        if (hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59) time = QTime(hour, minute);
        if (!date.isValid()) continue;

        if (!havePrevious || date != previousDate || time != previousTime) ++recordRow_;
        havePrevious = true;
        previousDate = date;
        previousTime = time;

        grid_.setText(recordRow_, 1, dateTimeText(QDateTime(date, time), locale_));
        grid_.setText(recordRow_, 0, QString::number(recordRow_ - 1));
        const int column = columnOf_[static_cast<std::size_t>(channel)];
        if (column > 0)
            grid_.setText(recordRow_, column, numberText(DecodeFloat(e[4], e[5], e[6], e[7])));
    }
    return true;
}

}  // namespace tavrel
