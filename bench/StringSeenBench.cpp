// Benchmark: StringSeen Add then Contains of 1,000,000 distinct names, in operations per second, and
// the memory held with 531001 buckets afterwards (the 8-per-bucket + 4-per-arrayed-value formula beside
// the allocator's own figure from mallinfo2).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/StringBuffer.h"
#include "core/StringSeen.h"

using namespace vantry;

namespace {

constexpr int kNames = 1000000;
constexpr uint32_t kBuckets = 531001;

const std::vector<std::unique_ptr<StringBuffer>> &Names() {
    static const std::vector<std::unique_ptr<StringBuffer>> names = [] {
        std::vector<std::unique_ptr<StringBuffer>> v;
        v.reserve(kNames);
        for (int i = 0; i < kNames; ++i)
            v.push_back(
                std::make_unique<StringBuffer>(("www.site" + std::to_string(i) + ".example.com").c_str()));
        return v;
    }();
    return names;
}

void BM_StringSeen_Add(benchmark::State &state) {
    const auto &names = Names();
    for (auto _ : state) {
        state.PauseTiming();
        auto seen = std::make_unique<StringSeen>(kBuckets);
        state.ResumeTiming();
        int added = 0;
        for (const auto &name : names)
            added += seen->Add(*name) ? 1 : 0;
        benchmark::DoNotOptimize(added);
        state.PauseTiming();
        seen.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kNames);
}

void BM_StringSeen_Contains(benchmark::State &state) {
    const auto &names = Names();
    StringSeen seen(kBuckets);
    for (const auto &name : names)
        seen.Add(*name);
    for (auto _ : state) {
        int found = 0;
        for (const auto &name : names)
            found += seen.Contains(*name) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kNames);
}

BENCHMARK(BM_StringSeen_Add)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StringSeen_Contains)->Unit(benchmark::kMillisecond)->Iterations(3);

size_t HeapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void ReportMemory() {
    const auto &names = Names();
    const size_t before = HeapInUse();
    auto seen = std::make_unique<StringSeen>(kBuckets);
    const size_t empty = HeapInUse() - before;
    int added = 0;
    for (const auto &name : names)
        added += seen->Add(*name) ? 1 : 0;
    const size_t measured = HeapInUse() - before;

    int falsePositives = 0;
    for (int i = 0; i < kNames; ++i) {
        StringBuffer other(("www.other" + std::to_string(i) + ".example.net").c_str());
        falsePositives += seen->Contains(other) ? 1 : 0;
    }

    uint32_t multi = 0, single = 0;
    for (uint32_t b = 0; b < kBuckets; ++b) {
        const uint32_t c = seen->BucketValueCount(b);
        single += c == 1 ? 1 : 0;
        multi += c >= 2 ? 1 : 0;
    }
    std::printf("\nStringSeen with %u buckets after %d distinct names (%d Add calls returned true)\n",
                kBuckets, kNames, added);
    std::printf("  buckets with one value: %u, with two or more: %u\n", single, multi);
    std::printf("  at construction (mallinfo2): %zu bytes (formula 8*N = %zu)\n", empty,
                static_cast<size_t>(kBuckets) * 8);
    std::printf("  formula (8*N + 4 per value in arrays): %zu bytes (%.2f MiB)\n", seen->BytesHeld(),
                seen->BytesHeld() / 1048576.0);
    std::printf("  reserved by the set (tables + pool capacity + free lists): %zu bytes (%.2f MiB)\n",
                seen->BytesReserved(), seen->BytesReserved() / 1048576.0);
    std::printf("  measured (mallinfo2 uordblks + hblkhd delta): %zu bytes (%.2f MiB), %.3f x formula\n",
                measured, measured / 1048576.0,
                static_cast<double>(measured) / static_cast<double>(seen->BytesHeld()));
    std::printf("  false positives among %d names never added: %d\n", kNames, falsePositives);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Names(); // built before any measurement
    benchmark::RunSpecifiedBenchmarks();
    ReportMemory();
    benchmark::Shutdown();
    return 0;
}
