#include "sim_crc.h"

#include <array>

namespace tavrel::sim {

namespace {
constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t r = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            r = (r & 1U) != 0U ? static_cast<std::uint16_t>((r >> 1) ^ 0xA001U)
                               : static_cast<std::uint16_t>(r >> 1);
        table[i] = r;
    }
    return table;
}
constexpr auto kTable = makeTable();
}  // namespace

std::uint16_t modbusCrc(const char* data, qsizetype size) {
    std::uint16_t crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(
            (crc >> 8) ^ kTable[(crc ^ static_cast<unsigned char>(data[i])) & 0xFFU]);
    }
    return crc;
}

QByteArray frameOf(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) out.append(static_cast<char>(v));
    return out;
}

QByteArray sealed(QByteArray frame) {
    const std::uint16_t crc = modbusCrc(frame);
    frame.append(static_cast<char>(crc & 0xFFU));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crcValid(const QByteArray& frame) {
    if (frame.size() < 3) return false;
    const std::uint16_t crc = modbusCrc(frame.constData(), frame.size() - 2);
    return static_cast<unsigned char>(frame[frame.size() - 2]) == (crc & 0xFFU) &&
           static_cast<unsigned char>(frame[frame.size() - 1]) == (crc >> 8);
}

}  // namespace tavrel::sim
