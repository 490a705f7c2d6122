#pragma once
// Modbus RTU CRC-16 (preset 0xFFFF, reflected polynomial 0xA001, no final XOR), bit by bit as
// the tool has always computed it, and the request frames built with it.

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

namespace tavrel {

// One CRC step over one frame byte, on a free-standing register.
std::uint16_t crcStep(std::uint16_t crc, std::uint8_t byte);
// CRC of a whole byte run, starting from 0xFFFF.
std::uint16_t crc16(const QByteArray& bytes);
// Bytes from values 0..255 (higher bits dropped).
QByteArray bytesOf(std::initializer_list<int> values);
// Appends the CRC, low byte first.
QByteArray withCrc(QByteArray frame);

}  // namespace tavrel
