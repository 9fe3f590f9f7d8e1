// Charset conversion throughput side by side with glibc iconv (ratios printed at the end), and the
// memory and program size of the code-page tables.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <iconv.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "codec/CodePageData.h"
#include "codec/CodePageTables.h"
#include "codec/EncodingConvert.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {
const size_t kCorpusSize = 4u << 20;

// The text of the gzipped manual pages of one language (real prose in UTF-8), repeated to the size.
std::string ManualText(const std::string &lang) {
    std::string text;
    std::vector<std::string> dirs = {"/usr/share/man/" + lang};
    while (!dirs.empty() && text.size() < kCorpusSize) {
        std::string dir = dirs.back();
        dirs.pop_back();
        DIR *d = opendir(dir.c_str());
        if (d == nullptr)
            continue;
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "/" + name;
            if (e->d_type == DT_DIR) {
                dirs.push_back(path);
            } else if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) {
                gzFile f = gzopen(path.c_str(), "rb");
                if (f == nullptr)
                    continue;
                char buf[65536];
                int n;
                while ((n = gzread(f, buf, sizeof(buf))) > 0)
                    text.append(buf, static_cast<size_t>(n));
                gzclose(f);
            }
        }
        closedir(d);
    }
    if (text.empty()) // no manual pages installed: a fixed sample
        text = "Fallback sample \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
               "\xE4\xB8\xAD\xE6\x96\x87\n";
    std::string out;
    while (out.size() < kCorpusSize)
        out += text;
    out.resize(kCorpusSize);
    return out;
}

std::string Convert(int32_t from, int32_t to, const std::string &in) {
    EncodingConvert c;
    DataBuffer out;
    LogNull log;
    c.Convert(from, to, in.data(), static_cast<uint32_t>(in.size()), out, log);
    return std::string(reinterpret_cast<const char *>(out.Data()), out.Length());
}

struct Case {
    const char *label;
    int32_t from, to;
    const char *iconvFrom, *iconvTo;
    std::string input;
};

std::vector<Case> &Cases() {
    static std::vector<Case> cases;
    if (cases.empty()) {
        std::string western = ManualText("fr") + ManualText("de");
        western.resize(kCorpusSize);
        std::string japanese = ManualText("ja");
        std::string chinese = ManualText("zh_CN");
        std::string w1252 = Convert(65001, 1252, western);
        std::string westernUtf8 = Convert(1252, 65001, w1252); // only what 1252 can hold
        cases.push_back({"windows-1252->UTF-8", 1252, 65001, "CP1252", "UTF-8", w1252});
        cases.push_back({"UTF-8->windows-1252", 65001, 1252, "UTF-8", "CP1252", westernUtf8});
        cases.push_back(
            {"UTF-16LE->UTF-8", 1200, 65001, "UTF-16LE", "UTF-8", Convert(65001, 1200, japanese + western)});
        cases.push_back({"Shift_JIS->UTF-8", 932, 65001, "CP932", "UTF-8", Convert(65001, 932, japanese)});
        cases.push_back({"GB2312->UTF-8", 936, 65001, "CP936", "UTF-8", Convert(65001, 936, chinese)});
    }
    return cases;
}

void Ours(benchmark::State &state, size_t index) {
    const Case &c = Cases()[index];
    EncodingConvert converter;
    LogNull log;
    DataBuffer out;
    for (auto _ : state) {
        out.Clear();
        converter.Convert(c.from, c.to, c.input.data(), static_cast<uint32_t>(c.input.size()), out, log);
        benchmark::DoNotOptimize(out.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.input.size()));
}

void Iconv(benchmark::State &state, size_t index) {
    const Case &c = Cases()[index];
    iconv_t cd = iconv_open(c.iconvTo, c.iconvFrom);
    std::vector<char> out(c.input.size() * 4 + 16);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = const_cast<char *>(c.input.data());
        size_t il = c.input.size();
        char *op = out.data();
        size_t ol = out.size();
        while (il > 0) {
            if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) {
                if (il == 0)
                    break;
                ++ip, --il; // skip what iconv cannot convert, as our mode 0 drops it
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.input.size()));
}

// Keeps the throughput of every run so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end())
                rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

void PrintTableFootprint() {
    // Use every page once so that every table is built.
    EncodingConvert c;
    DataBuffer out;
    LogNull log;
    for (int i = 0; i < codepage_data::kSingleBytePageCount; ++i)
        c.Convert(1200, codepage_data::kSingleBytePages[i].codePage, "A\0", 2, out, log);
    size_t stored = 0;
    for (int i = 0; i < codepage_data::kMultiBytePageCount; ++i) {
        c.Convert(1200, codepage_data::kMultiBytePages[i].codePage, "A\0", 2, out, log);
        stored += std::strlen(codepage_data::kMultiBytePages[i].stored) + 1;
    }
    size_t single =
        sizeof(codepage_data::SingleBytePage) * static_cast<size_t>(codepage_data::kSingleBytePageCount);
    std::printf("\nCode-page tables, every page used: %.1f KiB of heap\n",
                CodePageTables::MemoryUsed() / 1024.0);
    std::printf("Table data in the program: %.1f KiB single-byte (%d pages) + %.1f KiB stored multi-byte (%d "
                "pages) = %.1f KiB\n",
                single / 1024.0, codepage_data::kSingleBytePageCount, stored / 1024.0,
                codepage_data::kMultiBytePageCount, (single + stored) / 1024.0);
}
} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    for (size_t i = 0; i < Cases().size(); ++i) {
        std::string label = Cases()[i].label;
        benchmark::RegisterBenchmark(("ours/" + label).c_str(), Ours, i)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("iconv/" + label).c_str(), Iconv, i)->Unit(benchmark::kMillisecond);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-24s %12s %12s %8s\n", "conversion", "ours MB/s", "iconv MB/s", "ratio");
    for (const Case &c : Cases()) {
        double ours = reporter.rates["ours/" + std::string(c.label)];
        double peer = reporter.rates["iconv/" + std::string(c.label)];
        if (ours > 0 && peer > 0)
            std::printf("%-24s %12.1f %12.1f %7.2fx\n", c.label, ours / 1e6, peer / 1e6, ours / peer);
    }
    PrintTableFootprint();
    benchmark::Shutdown();
    return 0;
}
