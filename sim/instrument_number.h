#pragma once
// The instrument's 4-byte number format as the instrument writes it: sign bit, 8-bit exponent
// (bias 126), 23 stored mantissa bits under a hidden top bit, scaled by 2^24 - 1.

#include <array>

namespace tavrel::sim {

using NumberBytes = std::array<unsigned char, 4>;

// The bytes that code `value`: the one whose decoding rounds back to exactly `value` (as a
// single-precision number) wherever one exists; 0 and the saturated codes otherwise.
NumberBytes encodeNumber(float value);
// How the instrument itself reads the format back (its display shows these values).
double decodeNumber(const NumberBytes& bytes);

}  // namespace tavrel::sim
