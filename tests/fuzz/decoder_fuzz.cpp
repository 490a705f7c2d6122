// Arbitrary bytes through the log-block decoder and the number decoder: every block is taken
// in, no cell outside the grid is written, no number is NaN.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "download_driver.h"
#include "record_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    static FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
    std::int32_t row = size > 0 ? (data[0] % 2 == 0 ? 1 : kRecordsGridRows - 3) : 1;
    LogBlockDecoder decoder(grid, row);
    decoder.setYear(2024);
    const QByteArray block(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!decoder.DecodeLogBlock(block)) __builtin_trap();
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const float v = DecodeFloat(data[i], data[i + 1], data[i + 2], data[i + 3]);
        if (std::isnan(v) || std::isinf(v)) __builtin_trap();
        if (numberText(v).isEmpty()) __builtin_trap();
    }
    return 0;
}
