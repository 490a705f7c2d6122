#pragma once
// How the tool turns typed text into a number: the leading number of the text (leading blanks
// skipped, sign, digits, one "." whatever the locale, exponent with E or D, blanks between the
// characters ignored, &H / &O integers), and its conversion to a 16-bit integer with halves
// going to the even neighbour.

#include <QString>
#include <cstdint>
#include <optional>

namespace tavrel {

double leadingNumber(const QString& text);
// Nearest integer, halves to even; empty when the result lies outside -32768..32767.
std::optional<std::int16_t> toInt16(double value);
// The leading number written as decimal text, as the baud value is compared ("9600.0" -> "9600").
QString leadingNumberText(const QString& text);

}  // namespace tavrel
