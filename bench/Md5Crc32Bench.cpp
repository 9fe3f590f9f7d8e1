// Benchmark: our MD5 against OpenSSL's, and our CRC-32 against zlib's crc32, on 1 MiB inputs,
// side by side in one run; prints each throughput ratio (ours / peer) at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/Crc32.h"
#include "core/Md5.h"

using namespace vantry;

namespace {

const std::vector<uint8_t> &Input() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> v(1 << 20);
        std::mt19937 rng(42);
        for (auto &b : v)
            b = static_cast<uint8_t>(rng());
        return v;
    }();
    return data;
}

void BM_Md5_Ours(benchmark::State &state) {
    const auto &in = Input();
    uint8_t out[16];
    for (auto _ : state) {
        Md5::Digest(in.data(), in.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void BM_Md5_OpenSSL(benchmark::State &state) {
    const auto &in = Input();
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_Digest(in.data(), in.size(), out, &len, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void BM_Crc32_Ours(benchmark::State &state) {
    const auto &in = Input();
    for (auto _ : state)
        benchmark::DoNotOptimize(Crc32::Compute(in.data(), in.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void BM_Crc32_OursTablesOnly(benchmark::State &state) {
    const auto &in = Input();
    for (auto _ : state)
        benchmark::DoNotOptimize(Crc32::UpdatePortable(0, in.data(), in.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

void BM_Crc32_Zlib(benchmark::State &state) {
    const auto &in = Input();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32_z(0, in.data(), in.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

BENCHMARK(BM_Md5_Ours)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Md5_OpenSSL)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Crc32_Ours)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Crc32_OursTablesOnly)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Crc32_Zlib)->Repetitions(3)->ReportAggregatesOnly(true);

// Keeps the median throughput of every benchmark so the ratios can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_rate[run.run_name.function_name] = it->second.value;
            else if (run.run_type == Run::RT_Iteration && !m_rate.count(run.run_name.function_name))
                m_rate[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Rate(const std::string &name) const {
        auto it = m_rate.find(name);
        return it == m_rate.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> m_rate;
};

void PrintRatio(const RatioReporter &r, const char *label, const char *ours, const char *peer) {
    const double a = r.Rate(ours), b = r.Rate(peer);
    if (a > 0 && b > 0)
        std::printf("%-34s %8.1f MiB/s vs %8.1f MiB/s  ratio %.2f (target >= 0.80)\n", label, a / 1048576.0,
                    b / 1048576.0, a / b);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    PrintRatio(reporter, "MD5 ours / OpenSSL", "BM_Md5_Ours", "BM_Md5_OpenSSL");
    PrintRatio(reporter, "CRC-32 ours / zlib", "BM_Crc32_Ours", "BM_Crc32_Zlib");
    PrintRatio(reporter, "CRC-32 tables only / zlib", "BM_Crc32_OursTablesOnly", "BM_Crc32_Zlib");
    benchmark::Shutdown();
    return 0;
}
