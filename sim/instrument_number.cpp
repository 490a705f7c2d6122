#include "instrument_number.h"

#include <cmath>

namespace tavrel::sim {

namespace {
constexpr double kScale = 16777215.0;
constexpr long long kHidden = 1LL << 23;

NumberBytes pack(bool negative, int exponent, long long mantissa) {
    return {static_cast<unsigned char>((negative ? 0x80 : 0) | (exponent >> 1)),
            static_cast<unsigned char>(((exponent & 1) << 7) | ((mantissa >> 16) & 0x7F)),
            static_cast<unsigned char>((mantissa >> 8) & 0xFF),
            static_cast<unsigned char>(mantissa & 0xFF)};
}
}  // namespace

double decodeNumber(const NumberBytes& b) {
    const int e = ((b[0] & 0x7F) << 1) | (b[1] >> 7);
    const long long m = ((static_cast<long long>(b[1]) | 0x80) << 16) | (b[2] << 8) | b[3];
    const double sign = (b[0] & 0x80) != 0 ? -1.0 : 1.0;
    if (e < 2) return sign > 0 ? 0.0 : -1e-37;
    if (e > 252) return sign * 1e37;
    return sign * (static_cast<double>(m) / kScale) * std::ldexp(1.0, e - 126);
}

NumberBytes encodeNumber(float value) {
    if (!(value == value) || value == 0.0F) return {0, 0, 0, 0};
    const bool negative = value < 0;
    const double target = std::fabs(static_cast<double>(value));
    int binaryExponent = 0;
    (void)std::frexp(target, &binaryExponent);
    for (int e = binaryExponent + 125; e <= binaryExponent + 127; ++e) {
        if (e < 2 || e > 252) continue;
        const double exact = target / std::ldexp(1.0, e - 126) * kScale;
        const auto nearest = static_cast<long long>(std::llround(exact));
        for (long long m = nearest - 1; m <= nearest + 1; ++m) {
            if (m < kHidden || m >= 2 * kHidden) continue;
            const NumberBytes bytes = pack(negative, e, m);
            if (static_cast<float>(std::fabs(decodeNumber(bytes))) == static_cast<float>(target))
                return bytes;
        }
    }
    if (target >= 1e37) return {static_cast<unsigned char>(negative ? 0xFF : 0x7F), 0x80, 0, 0};
    return {static_cast<unsigned char>(negative ? 0x80 : 0x00), 0, 0, 0};
}

}  // namespace tavrel::sim
