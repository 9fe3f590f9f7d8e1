// Benchmark: a body of 8, 16, 32 and 64 MiB appended to a DataBuffer in 20000-byte pieces (the socket's
// receive block), beside std::vector<uint8_t> doing the same, so the growth shows as linear or not.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/DataBuffer.h"

using namespace vantry;

namespace {

constexpr uint32_t kPiece = 20000;

const std::vector<uint8_t> &Piece() {
    static const std::vector<uint8_t> piece(kPiece, 0x5A);
    return piece;
}

void BM_DataBuffer_AppendPieces(benchmark::State &state) {
    const uint64_t total = static_cast<uint64_t>(state.range(0)) << 20;
    for (auto _ : state) {
        DataBuffer b;
        for (uint64_t done = 0; done < total; done += kPiece) {
            uint32_t n = total - done < kPiece ? static_cast<uint32_t>(total - done) : kPiece;
            b.Append(Piece().data(), n);
        }
        benchmark::DoNotOptimize(b.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

void BM_Vector_AppendPieces(benchmark::State &state) {
    const uint64_t total = static_cast<uint64_t>(state.range(0)) << 20;
    for (auto _ : state) {
        std::vector<uint8_t> v;
        for (uint64_t done = 0; done < total; done += kPiece) {
            size_t n = total - done < kPiece ? static_cast<size_t>(total - done) : kPiece;
            v.insert(v.end(), Piece().begin(), Piece().begin() + static_cast<ptrdiff_t>(n));
        }
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

} // namespace

BENCHMARK(BM_DataBuffer_AppendPieces)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vector_AppendPieces)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
