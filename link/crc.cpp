#include "crc.h"

namespace tavrel {

std::uint16_t crcStep(std::uint16_t crc, std::uint8_t byte) {
    std::uint32_t value = crc ^ byte;
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t lowBit = value & 1U;
        value >>= 1;
        if (lowBit == 1U) value ^= 0xA001U;
    }
    return static_cast<std::uint16_t>(value);
}

std::uint16_t crc16(const QByteArray& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) crc = crcStep(crc, static_cast<std::uint8_t>(c));
    return crc;
}

QByteArray bytesOf(std::initializer_list<int> values) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (const int v : values) out.append(static_cast<char>(v & 0xFF));
    return out;
}

QByteArray withCrc(QByteArray frame) {
    const std::uint16_t crc = crc16(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

}  // namespace tavrel
