#include "leading_number.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tavrel {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

// &H and &O integers: up to 4 digits read as a signed 16-bit pattern, longer ones as 32-bit,
// as the tool's original number reader did ("&HFFFF" is -1, "&H10000" is 65536).
double radixNumber(const QString& text, qsizetype pos, int radix) {
    std::uint64_t value = 0;
    int digits = 0;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (isBlank(c)) continue;
        const int d = QStringLiteral("0123456789ABCDEF").indexOf(c.toUpper());
        if (d < 0 || d >= radix) break;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
        if (++digits > 22) break;
    }
    const int bits = radix == 16 ? 4 * digits : 3 * digits;
    if (bits <= 16) return static_cast<double>(static_cast<std::int16_t>(value & 0xFFFF));
    if (bits <= 32 || value <= 0xFFFFFFFFULL) {
        return static_cast<double>(static_cast<std::int32_t>(value & 0xFFFFFFFFULL));
    }
    return static_cast<double>(value);
}

}  // namespace

double leadingNumber(const QString& text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (pos + 1 < text.size() && text[pos] == u'&') {
        const QChar r = text[pos + 1].toUpper();
        if (r == u'H') return radixNumber(text, pos + 2, 16);
        if (r == u'O') return radixNumber(text, pos + 2, 8);
    }
    std::string mantissa;
    std::string exponent;
    bool point = false;
    bool inExponent = false;
    bool anyDigit = false;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (isBlank(c)) continue;
        const char a = c.toLatin1();
        if (!inExponent) {
            if ((a == '+' || a == '-') && mantissa.empty()) {
                mantissa += a;
            } else if (a >= '0' && a <= '9') {
                mantissa += a;
                anyDigit = true;
            } else if (a == '.' && !point) {
                mantissa += a;
                point = true;
            } else if ((a == 'E' || a == 'e' || a == 'D' || a == 'd') && anyDigit) {
                inExponent = true;
            } else {
                break;
            }
        } else {
            const bool sign = (a == '+' || a == '-') && exponent.empty();
            if (sign || (a >= '0' && a <= '9')) {
                exponent += a;
            } else {
                break;
            }
        }
    }
    if (!anyDigit) return 0.0;
    std::string number = mantissa;
    if (number.front() == '+') number.erase(0, 1);
    if (!exponent.empty() && exponent != "+" && exponent != "-") {
        number += 'e';
        number += exponent.front() == '+' ? exponent.substr(1) : exponent;
    }
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large in magnitude: keep the sign so range checks reject it; too small is 0.
        const bool tiny = exponent.find('-') != std::string::npos;
        if (tiny) return 0.0;
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

std::optional<std::int16_t> toInt16(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);  // halves to even in the default mode
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString leadingNumberText(const QString& text) {
    const double v = leadingNumber(text);
    return QString::number(v, 'g', 15);
}

}  // namespace tavrel
