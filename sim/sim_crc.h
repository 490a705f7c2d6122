#pragma once
// The simulated instrument's own CRC-16/MODBUS, table-driven as instrument firmware does it,
// and written apart from the tool's bit-by-bit one so that neither can hide a fault of the other.

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

namespace tavrel::sim {

std::uint16_t modbusCrc(const char* data, qsizetype size);
inline std::uint16_t modbusCrc(const QByteArray& bytes) {
    return modbusCrc(bytes.constData(), bytes.size());
}
// A frame from byte values.
QByteArray frameOf(std::initializer_list<int> values);
// The frame with its CRC appended, low byte first.
QByteArray sealed(QByteArray frame);
// Whether the last two bytes are the CRC of the bytes before them.
bool crcValid(const QByteArray& frame);

}  // namespace tavrel::sim
