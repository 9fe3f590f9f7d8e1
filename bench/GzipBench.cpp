// Gzip decoding speed: Gzip::Decompress (our own inflater) side by side with zlib's inflate and
// libdeflate, on installed manual pages, on real HTML compressed page by page, and on random bytes.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "codec/Gzip.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {

struct Corpus {
    std::string title;
    std::vector<std::string> bodies; // gzip members
    uint64_t decodedBytes = 0;
    std::string note;
};

bool ReadWholeFile(const std::string &path, std::string &out) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

void FindFiles(const std::string &dir, const std::vector<std::string> &suffixes,
               std::vector<std::string> &out) {
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            FindFiles(path, suffixes, out);
            continue;
        }
        if (!S_ISREG(st.st_mode))
            continue;
        for (const auto &s : suffixes)
            if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) {
                out.push_back(path);
                break;
            }
    }
    closedir(d);
}

std::string GzipCompress(const std::string &data, int level) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string GzipDecompress(const std::string &body) {
    z_stream zs{};
    inflateInit2(&zs, 31);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
    zs.avail_in = static_cast<uInt>(body.size());
    std::string out;
    char buf[65536];
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef *>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&zs);
    return out;
}

uint32_t Isize(const std::string &body) {
    const auto *p = reinterpret_cast<const uint8_t *>(body.data() + body.size() - 4);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

constexpr size_t kManPageCap = 64u << 20;
constexpr size_t kHtmlTarget = 20u << 20;

// (a) Installed manual pages, decompressed and concatenated (up to 64 MiB), as one level-6 body.
Corpus ManPages() {
    Corpus c;
    c.title = "man pages";
    std::vector<std::string> files;
    FindFiles("/usr/share/man", {".gz"}, files);
    std::sort(files.begin(), files.end());
    std::string text, gz;
    size_t used = 0;
    for (const auto &f : files) {
        if (text.size() >= kManPageCap)
            break;
        if (ReadWholeFile(f, gz)) {
            text += GzipDecompress(gz);
            ++used;
        }
    }
    if (text.size() > kManPageCap)
        text.resize(kManPageCap);
    if (text.empty())
        return c;
    c.bodies.push_back(GzipCompress(text, 6));
    c.decodedBytes = text.size();
    c.note = std::to_string(used) + " of " + std::to_string(files.size()) + " pages, " +
             std::to_string(text.size() >> 20) + " MiB";
    return c;
}

// (b) Real HTML pages under /usr/share/doc, each compressed on its own at level 6; repeated when the
// installed pages come to less than 20 MiB.
Corpus HtmlPages() {
    Corpus c;
    c.title = "html pages";
    std::vector<std::string> files;
    FindFiles("/usr/share/doc", {".html", ".htm"}, files);
    std::sort(files.begin(), files.end());
    std::vector<std::string> pages;
    uint64_t distinct = 0;
    std::string page;
    for (const auto &f : files)
        if (ReadWholeFile(f, page) && !page.empty()) {
            distinct += page.size();
            pages.push_back(GzipCompress(page, 6));
        }
    if (pages.empty())
        return c;
    size_t rounds = 0;
    while (c.decodedBytes < kHtmlTarget) {
        for (const auto &p : pages) {
            c.bodies.push_back(p);
            c.decodedBytes += Isize(p);
        }
        ++rounds;
    }
    c.note = std::to_string(pages.size()) + " pages, " + std::to_string(distinct >> 20) + " MiB distinct" +
             (rounds > 1 ? ", repeated " + std::to_string(rounds) + " times to reach 20 MiB" : "");
    return c;
}

// (c) Incompressible data: 16 MiB of random bytes (zlib stores them).
Corpus RandomData() {
    Corpus c;
    c.title = "random bytes";
    std::string data(16u << 20, '\0');
    std::mt19937_64 rng(42);
    for (size_t i = 0; i + 8 <= data.size(); i += 8) {
        const uint64_t v = rng();
        std::memcpy(&data[i], &v, 8);
    }
    c.bodies.push_back(GzipCompress(data, 6));
    c.decodedBytes = data.size();
    c.note = "16 MiB";
    return c;
}

std::vector<Corpus> &Corpora() {
    static std::vector<Corpus> corpora = {ManPages(), HtmlPages(), RandomData()};
    return corpora;
}

// Each decoder writes into a fresh output block per body, sized from the trailer as a client would.
// The peers decode the raw DEFLATE data between the 10-byte header and the trailer, as ours does:
// in gzip mode they would also compute the CRC-32, which Gzip::Decompress does not check.
constexpr size_t kHeaderSize = 10;
uint64_t DecodeOurs(const Corpus &c) {
    uint64_t total = 0;
    LogNull log;
    Gzip gz;
    for (const auto &body : c.bodies) {
        DataBuffer in, out;
        in.Borrow(body.data(), static_cast<uint32_t>(body.size()));
        gz.Decompress(in, out, log);
        total += out.Length();
    }
    return total;
}

uint64_t DecodeZlib(const Corpus &c) {
    uint64_t total = 0;
    for (const auto &body : c.bodies) {
        const uint32_t size = Isize(body);
        auto *out = static_cast<uint8_t *>(std::malloc(size + 1));
        z_stream zs{};
        inflateInit2(&zs, 31);
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
        zs.avail_in = static_cast<uInt>(body.size());
        zs.next_out = out;
        zs.avail_out = size + 1;
        inflate(&zs, Z_FINISH);
        total += zs.total_out;
        inflateEnd(&zs);
        std::free(out);
    }
    return total;
}

uint64_t DecodeLibdeflate(const Corpus &c) {
    uint64_t total = 0;
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    for (const auto &body : c.bodies) {
        const uint32_t size = Isize(body);
        auto *out = static_cast<uint8_t *>(std::malloc(size + 1));
        size_t n = 0;
        libdeflate_deflate_decompress(d, body.data() + kHeaderSize, body.size() - kHeaderSize - 8, out,
                                      size + 1, &n);
        total += n;
        std::free(out);
    }
    libdeflate_free_decompressor(d);
    return total;
}

using Decoder = uint64_t (*)(const Corpus &);

void BM_Decode(benchmark::State &state, Decoder decoder, size_t corpus) {
    const Corpus &c = Corpora()[corpus];
    if (c.bodies.empty()) {
        state.SkipWithError("no data installed for this corpus");
        return;
    }
    uint64_t got = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(got = decoder(c));
    if (got != c.decodedBytes)
        state.SkipWithError("decoded size differs from the data");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.decodedBytes));
    state.SetLabel(c.note);
}

// Records each run's time per iteration so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const auto &r : runs)
            if (!r.error_occurred) {
                const std::string name = r.benchmark_name();
                times[name.substr(0, name.find("/min_time"))] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv) {
    const char *names[] = {"man_pages", "html_pages", "random"};
    for (size_t i = 0; i < 3; ++i) {
        for (auto [who, fn] : {std::pair<const char *, Decoder>{"vantry", DecodeOurs},
                               std::pair<const char *, Decoder>{"zlib", DecodeZlib},
                               std::pair<const char *, Decoder>{"libdeflate", DecodeLibdeflate}}) {
            benchmark::RegisterBenchmark((std::string("Gunzip/") + names[i] + "/" + who).c_str(), BM_Decode,
                                         fn, i)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nOutput throughput ratios from CPU time (higher is faster for vantry):\n");
    for (const char *name : names) {
        const std::string base = std::string("Gunzip/") + name + "/";
        auto &t = reporter.times;
        if (!t.count(base + "vantry") || !t.count(base + "zlib") || !t.count(base + "libdeflate"))
            continue;
        std::printf("  %-11s vantry/zlib %.2fx   vantry/libdeflate %.2fx\n", name,
                    t[base + "zlib"] / t[base + "vantry"], t[base + "libdeflate"] / t[base + "vantry"]);
    }
    benchmark::Shutdown();
    return 0;
}
