// Tests of Gzip::Decompress: the member header and its failure table, the edge cases of a body as the
// GET engine sees it, the size limit, and every installed gzip file against zlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "InflateTestHelpers.h"
#include "codec/Gzip.h"
#include "codec/InflateBufferSink.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/LogNull.h"

using namespace vantry;

using namespace inflatetest;

namespace {

// Records what Decompress writes into its log, one line per entry.
class RecordingLog : public LogBase {
public:
    bool LogError(const char *text) override { return Add("error: ", text); }
    bool LogInfo(const char *text) override { return Add("info: ", text); }
    bool LogData(const char *name, const char *value) override {
        return Add("data: ", std::string(name) + "=" + value);
    }
    bool LogDataInt(const char *name, int32_t value) override {
        return Add("data: ", std::string(name) + "=" + std::to_string(value));
    }
    bool Has(const std::string &line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> lines;

private:
    bool Add(const char *kind, const std::string &text) {
        lines.push_back(kind + text);
        return true;
    }
};

struct Member {
    uint8_t flags = 0;
    std::string extra, name, comment;
    bool nameTerminated = true;
};

uint32_t Crc(const std::string &s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(s.data()), static_cast<uInt>(s.size())));
}

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>(v >> (8 * i));
    return s;
}

std::string Header(const Member &m) {
    std::string h = {'\x1f', '\x8b', '\x08', static_cast<char>(m.flags), 0, 0, 0, 0, 0, 3};
    if (m.flags & 0x04) {
        h += static_cast<char>(m.extra.size() & 0xFF);
        h += static_cast<char>(m.extra.size() >> 8);
        h += m.extra;
    }
    if (m.flags & 0x08) {
        h += m.name;
        if (m.nameTerminated)
            h += '\0';
    }
    if (m.flags & 0x10)
        h += m.comment + '\0';
    if (m.flags & 0x02) {
        const uint32_t crc = Crc(h);
        h += static_cast<char>(crc);
        h += static_cast<char>(crc >> 8);
    }
    return h;
}

std::string GzipOf(const std::string &data, const Member &m = {}, int level = 6) {
    return Header(m) + ZCompress(data, level) + Le32(Crc(data)) + Le32(static_cast<uint32_t>(data.size()));
}

struct Result {
    bool ok;
    std::string out;
    RecordingLog log;
    bool limitHit = false;
};

Result Gunzip(const std::string &body, uint32_t limit = 0, const char *prefill = "old contents") {
    DataBuffer in, out;
    in.Append(body.data(), static_cast<uint32_t>(body.size()));
    out.Append(prefill, static_cast<uint32_t>(strlen(prefill)));
    Result r;
    Gzip gz;
    r.ok = limit ? gz.Decompress(in, out, limit, &r.limitHit, r.log) : gz.Decompress(in, out, r.log);
    r.out.assign(reinterpret_cast<const char *>(out.Data()), out.Length());
    return r;
}

} // namespace

TEST(Gzip, RejectsBadHeadersWithTheirLogEntries) {
    const std::string good = GzipOf("payload");
    struct Case {
        std::string body, error;
    };
    Member name;
    name.flags = 0x08;
    name.name = "index.html";
    name.nameTerminated = false;
    Member comment;
    comment.flags = 0x10;
    const std::vector<Case> cases = {
        {good.substr(0, 9), "Gzip data too small"},
        {"\x1f\x8c" + good.substr(2), "Invalid GZip ID"},
        {good.substr(0, 2) + '\x07' + good.substr(3), "Invalid GZip compression method"},
        {std::string("\x1f\x8b\x08\x04", 4) + std::string(6, '\0'), "Buffer would have been overrun"},
        {std::string("\x1f\x8b\x08\x04", 4) + std::string(6, '\0') + "\x05",
         "Buffer would have been overrun"},
        {std::string("\x1f\x8b\x08\x04", 4) + std::string(6, '\0') + std::string("\xff\x00", 2) + "abc",
         "Buffer would have been overrun"},
        {Header(name), "Buffer would have been overrun"},
        {Header(name) + std::string(1, '\0'), "Buffer would have been overrun"}, // zero is the last byte
        {std::string("\x1f\x8b\x08\x10", 4) + std::string(6, '\0') + "comment",
         "Buffer would have been overrun"},
        {std::string("\x1f\x8b\x08\x02", 4) + std::string(6, '\0') + "\x01",
         "Buffer would have been overrun"},
        {std::string("\x1f\x8b\x08\x00", 4) + std::string(6, '\0') + "1234567",
         "Not enough data for trailing CRC32 or ISIZE"},
    };
    for (const auto &c : cases) {
        const Result r = Gunzip(c.body);
        EXPECT_FALSE(r.ok) << c.error;
        EXPECT_EQ(r.out, "") << c.error;
        EXPECT_TRUE(r.log.Has("error: " + c.error)) << c.error;
    }
}

TEST(Gzip, SkipsOptionalHeaderFieldsAndLogsThem) {
    const std::string data = RandomText(50000, 1);
    Member m;
    m.flags = 0x02 | 0x04 | 0x08 | 0x10 | 0x01;
    m.extra = std::string("AB\x04\x00xyzw", 8);
    m.name = "page.html";
    m.comment = "a comment";
    const std::string body = GzipOf(data, m);
    const Result r = Gunzip(body);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.out == data);
    for (const char *line : {"info: Skipping extra data", "data: extraSize=8", "info: Skipping filename",
                             "data: filename=page.html", "info: Skipping comment", "data: comment=a comment"})
        EXPECT_TRUE(r.log.Has(line)) << line;
    const size_t compressed = body.size() - Header(m).size() - 8;
    EXPECT_TRUE(r.log.Has("data: CompressedSize=" + std::to_string(compressed)));
    EXPECT_TRUE(r.log.Has("data: UncompressedSize=50000"));
}

TEST(Gzip, EmptyMemberGivesTrueAndNoOutput) {
    const Result r = Gunzip(std::string("\x1f\x8b\x08\x00", 4) + std::string(6, '\0') + std::string(8, '\0'));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, "");
    // zlib's own empty member (an empty final block) as well.
    const Result z = Gunzip(GzipOf(""));
    EXPECT_TRUE(z.ok);
    EXPECT_EQ(z.out, "");
}

TEST(Gzip, TrailerIsNotCheckedAndOnlyTheFirstMemberIsDecoded) {
    const std::string a = RandomText(70000, 2), b = RandomText(5000, 3);
    std::string wrongCrc = GzipOf(a);
    wrongCrc[wrongCrc.size() - 8] ^= 0x55;
    wrongCrc[wrongCrc.size() - 2] ^= 0x55; // ISIZE wrong too
    Result r = Gunzip(wrongCrc);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.out == a);

    r = Gunzip(GzipOf(a) + GzipOf(b));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.out == a);
}

TEST(Gzip, FirstBlockOfTypeThreeGivesTrueAndNoOutput) {
    const std::string body =
        Header({}) + std::string("\x07", 1) + std::string(30, '\0') + std::string(8, '\0');
    const Result r = Gunzip(body);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, "");
}

// Mended: truncated or corrupt DEFLATE data delivers every byte decoded before the fault, not only
// whole 32768-byte windows; the result stays true.
TEST(Gzip, TruncatedBodyKeepsEveryByteDecodedBeforeTheCut) {
    const std::string data = RandomText(200000, 4);
    const std::string full = GzipOf(data, {}, 6);
    for (uint32_t decodedTarget : {40000u, 20000u, 300u}) {
        // Find a cut at which zlib decodes a little more than the target from the span we inflate.
        const std::string deflate = full.substr(10, full.size() - 18);
        size_t cut = 1;
        while (ZDecompress(deflate.substr(0, cut)).size() < decodedTarget)
            cut += 16;
        const std::string body = full.substr(0, 10 + cut + 8); // 8 more bytes taken as the trailer
        const Result r = Gunzip(body);
        EXPECT_TRUE(r.ok);
        EXPECT_GE(r.out.size(), decodedTarget);
        EXPECT_TRUE(r.out == ZDecompress(deflate.substr(0, cut))) << decodedTarget;
        EXPECT_TRUE(r.out == data.substr(0, r.out.size()));
    }
    // Corruption after 40000 decoded bytes: everything before it is kept.
    std::string corrupt = full;
    const std::string deflate = full.substr(10, full.size() - 18);
    size_t at = 1;
    while (ZDecompress(deflate.substr(0, at)).size() < 40000)
        at += 16;
    corrupt.replace(10 + at, 64, std::string(64, '\xff'));
    const Result r = Gunzip(corrupt);
    EXPECT_TRUE(r.ok);
    EXPECT_GE(r.out.size(), 39000u);
    EXPECT_TRUE(r.out == ZDecompress(corrupt.substr(10, corrupt.size() - 18)));
}

// Mended: the reservation made from the announced size (ISIZE) is capped; a forged ISIZE does not
// make the buffer huge, and the data still decodes.
TEST(Gzip, ForgedSizeDoesNotReserveGigabytes) {
    const std::string data = "small body, giant claim";
    std::string body = GzipOf(data);
    body.replace(body.size() - 4, 4, Le32(0xFFFFFFF0u));
    DataBuffer in, out;
    in.Append(body.data(), static_cast<uint32_t>(body.size()));
    LogNull log;
    ASSERT_TRUE(Gzip().Decompress(in, out, log));
    EXPECT_LE(out.Capacity(), (16u << 20) + 200);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.Data()), out.Length()), data);
}

TEST(Gzip, OutputLimitStopsTheDecode) {
    const std::string data = RandomText(300000, 5);
    const std::string body = GzipOf(data);
    Result r = Gunzip(body, 100000);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.limitHit);
    EXPECT_LE(r.out.size(), 100000u);
    EXPECT_TRUE(r.log.Has("error: Decoded data exceeds the size limit"));
    EXPECT_TRUE(r.log.Has("data: maxDecodedSize=100000"));

    r = Gunzip(body, 300000); // exactly the decoded size: accepted
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.limitHit);
    EXPECT_TRUE(r.out == data);

    r = Gunzip(body, 299999);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.limitHit);
}

TEST(Gzip, InstalledGzipFilesDecodeAsZlibDecodesThem) {
    std::vector<std::string> files;
    FindFiles("/usr/share/man", ".gz", files);
    FindFiles("/usr/share/doc", ".gz", files);
    if (files.empty())
        GTEST_SKIP() << "no gzip files installed under /usr/share/man or /usr/share/doc";
    std::sort(files.begin(), files.end());
    // Every file up to a total of compressed bytes (VANTRY_GZIP_TEST_BYTES, default 24 MiB); files are
    // taken in an even stride so that a cap still samples the whole tree.
    uint64_t cap = 24u << 20;
    if (const char *env = std::getenv("VANTRY_GZIP_TEST_BYTES"))
        cap = std::strtoull(env, nullptr, 10);
    uint64_t total = 0;
    for (const auto &f : files) {
        struct stat st;
        if (stat(f.c_str(), &st) == 0)
            total += st.st_size;
    }
    const size_t stride = total > cap ? static_cast<size_t>((total + cap - 1) / cap) : 1;
    size_t checked = 0;
    for (size_t i = 0; i < files.size(); i += stride) {
        std::string body;
        if (!ReadWholeFile(files[i], body) || body.size() <= 10)
            continue;
        bool zok = false;
        const std::string expected = ZDecompress(body, 31, &zok);
        const Result r = Gunzip(body);
        ASSERT_TRUE(r.ok) << files[i];
        ASSERT_TRUE(r.out == expected) << files[i] << " ours " << r.out.size() << " zlib " << expected.size();
        ++checked;
    }
    std::printf("checked %zu of %zu installed gzip files\n", checked, files.size());
    EXPECT_GT(checked, 0u);
}

TEST(Gzip, BufferSinkGrowthFollowsTheDataNotTheClaim) {
    DataBuffer out;
    InflateBufferSink sink(out);
    sink.SetSizeHint(0xFFFFFFF0u);
    const std::string chunk = RandomBytes(32768, 9);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(sink.Write(reinterpret_cast<const uint8_t *>(chunk.data()), 32768), 32768u);
        EXPECT_LE(out.Capacity(), 4u * out.Length());
    }
    EXPECT_EQ(out.Length(), 40u * 32768);
    EXPECT_FALSE(sink.WriteFailed());
    EXPECT_EQ(sink.SpaceAvailable(), 999999999u);
}
