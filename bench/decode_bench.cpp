// Micro-benchmarks of the per-byte work of a download: the tool's bit-by-bit CRC, the
// instrument-number decoder and decoding a whole 1024-byte log block into the grid.

#include <benchmark/benchmark.h>

#include "crc.h"
#include "download_driver.h"
#include "record_decoding.h"

namespace {

void BM_Crc1024(benchmark::State& state) {
    const QByteArray block(1024, '\x5A');
    for (auto _ : state) benchmark::DoNotOptimize(tavrel::crc16(block));
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_Crc1024);

void BM_DecodeFloat(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavrel::DecodeFloat(0x43, i & 0xFF, 0x40, 0x00));
        ++i;
    }
}
BENCHMARK(BM_DecodeFloat);

void BM_DecodeLogBlock(benchmark::State& state) {
    QByteArray block;
    for (int r = 0; r < 128; ++r) {
        const int minute = r % 60;
        const char entry[8] = {0x13, 0x15,
                               0x09, static_cast<char>(((minute / 10) << 4) | (minute % 10)),
                               0x43, static_cast<char>(0x9D),
                               0x40, 0x00};
        block.append(entry, 8);
    }
    tavrel::FlexGrid grid(tavrel::kRecordsGridRows, tavrel::kRecordsGridCols);
    // One decoder for every block, as in a download: the stamp texts of the minutes already
    // seen are formatted once.
    std::int32_t row = 1;
    tavrel::LogBlockDecoder decoder(grid, row);
    decoder.setYear(2026);
    for (auto _ : state) {
        row = 1;
        decoder.DecodeLogBlock(block);
        benchmark::DoNotOptimize(row);
    }
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_DecodeLogBlock);

}  // namespace

BENCHMARK_MAIN();
