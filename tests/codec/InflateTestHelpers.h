// Helpers for the inflate and gzip tests: zlib as the reference coder, our decoder behind a plain
// memory sink, and sources of random and real test data.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "codec/InflateSink.h"
#include "codec/InflateState2.h"

namespace inflatetest {

// A sink that appends to a string, with an optional limit on what it accepts.
class StringSink : public vantry::InflateSink {
public:
    explicit StringSink(uint32_t limit = 0xFFFFFFFFu) : m_limit(limit) {}
    uint32_t SpaceAvailable() override { return m_limit - static_cast<uint32_t>(data.size()); }
    uint32_t Write(const uint8_t *bytes, uint32_t count) override {
        spans.push_back(count);
        data.append(reinterpret_cast<const char *>(bytes), count);
        return count;
    }
    std::string data;
    std::vector<uint32_t> spans;

private:
    uint32_t m_limit;
};

// zlib compression; windowBits -15 gives raw DEFLATE, 31 a gzip member.
inline std::string ZCompress(const std::string &in, int level, int strategy = Z_DEFAULT_STRATEGY,
                             int windowBits = -15, int memLevel = 8) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, windowBits, memLevel, strategy);
    std::string out(deflateBound(&zs, in.size()) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// zlib decompression: everything zlib produces before it stops (end, error or end of input).
// windowBits -15 raw, 31 gzip (first member only). *ok tells whether the stream ended properly.
inline std::string ZDecompress(const std::string &in, int windowBits = -15, bool *ok = nullptr) {
    z_stream zs{};
    inflateInit2(&zs, windowBits);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    std::string out;
    char buf[65536];
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef *>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    } while (rc == Z_OK && (zs.avail_out == 0 || zs.avail_in > 0));
    inflateEnd(&zs);
    if (ok)
        *ok = rc == Z_STREAM_END;
    return out;
}

// Our decoder over the whole input, fed in pieces of chunk bytes (0 = all at once). Each piece is
// copied into its own exactly-sized heap block so that ASan sees any read past it.
inline std::string OurInflate(const std::string &in, size_t chunk = 0,
                              vantry::InflateState2::Status *status = nullptr, StringSink *sink = nullptr) {
    StringSink own;
    StringSink &s = sink ? *sink : own;
    vantry::InflateState2 inf;
    inf.SetSink(&s);
    if (chunk == 0)
        chunk = in.size() ? in.size() : 1;
    size_t pos = 0;
    do {
        size_t n = std::min(chunk, in.size() - pos);
        std::vector<uint8_t> piece(in.begin() + pos, in.begin() + pos + n);
        inf.Inflate(piece.data(), static_cast<uint32_t>(n));
        pos += n;
    } while (pos < in.size() && inf.GetStatus() == vantry::InflateState2::Status::InProgress);
    if (status)
        *status = inf.GetStatus();
    return s.data;
}

inline std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(rng());
    return s;
}

// Text-like data: words from a small vocabulary with runs and repeats, so every code kind appears.
inline std::string RandomText(size_t n, uint32_t seed) {
    static const char *words[] = {"the ",     "quick ",     "brown ",  "fox ",  "<div class=\"x\">",
                                  "</div>\n", "jumps ",     "over ",   "lazy ", "dog. ",
                                  "\t",       "0123456789", "AAAAAAAA"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        uint32_t r = rng() % 100;
        if (r < 80)
            s += words[rng() % (sizeof words / sizeof *words)];
        else if (r < 90)
            s.append(1 + rng() % 300, static_cast<char>('a' + rng() % 26));
        else if (r < 95 && s.size() > 40000)
            s += s.substr(s.size() - 32768 + rng() % 1000, 20 + rng() % 300); // far back-references
        else
            s += static_cast<char>(rng());
    }
    s.resize(n);
    return s;
}

inline bool ReadWholeFile(const std::string &path, std::string &out) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

// Every regular file below dir whose name ends with suffix, in directory order, recursively.
inline void FindFiles(const std::string &dir, const std::string &suffix, std::vector<std::string> &out,
                      size_t maxFiles = SIZE_MAX) {
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent *e = readdir(d)) {
        if (out.size() >= maxFiles)
            break;
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            FindFiles(path, suffix, out, maxFiles);
        else if (S_ISREG(st.st_mode) && name.size() >= suffix.size() &&
                 name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(path);
    }
    closedir(d);
}

// Real text: installed manual pages, decompressed by zlib, up to about n bytes; falls back to
// generated text when none are installed.
inline std::string RealText(size_t n) {
    std::vector<std::string> files;
    FindFiles("/usr/share/man/man1", ".gz", files, 4000);
    std::string s, gz;
    for (const auto &f : files) {
        if (s.size() >= n)
            break;
        if (ReadWholeFile(f, gz))
            s += ZDecompress(gz, 31);
    }
    if (s.size() < n)
        s += RandomText(n - s.size(), 99);
    s.resize(n);
    return s;
}

} // namespace inflatetest
