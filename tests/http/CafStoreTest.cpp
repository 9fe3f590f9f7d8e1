// Tests of HttpCache, the ".caf" store: paths, the directory and entry layout, round trips with
// bzip2 and the ".gif"/".pdf" rule, the ten-entry restart, negative entries, CRC collisions, DNS
// entries, and damaged files that must read as misses.
#include <gtest/gtest.h>

#include <bzlib.h>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "core/Crc32.h"
#include "core/DataBuffer.h"
#include "core/Md5.h"
#include "core/StringBuffer.h"
#include "http/CacheEntry.h"
#include "http/CacheFileDir.h"
#include "http/CacheTestHelpers.h"
#include "http/HttpCache.h"
#include "support/TestSupport.h"

using namespace vantry;

using cachetest::Bytes;
using cachetest::Le32;
using cachetest::SetBytes;

namespace {

class CafStore : public ::testing::Test {
protected:
    CafStore() { cache.AddRoot(dir.Path().c_str()); }

    bool Save(const char *key, const char *header, const std::string &body, bool negative = false,
              bool replace = false) {
        DataBuffer b;
        SetBytes(b, body);
        return replace ? cache.SaveReplacing(key, header, b, negative, 0, 0, 2, "Nothing")
                       : cache.SaveAppending(key, header, b, negative, 0, 0, 2, "Nothing");
    }
    std::string FileOf(const char *key) {
        StringBuffer path;
        cache.CafPath(key, path);
        return path.Text();
    }
    std::unique_ptr<CacheEntry> Fetch(const char *key, bool &negative) {
        return std::unique_ptr<CacheEntry>(cache.FetchEntry(key, negative));
    }

    cachetest::FixedClock clock;
    testsupport::TempDir dir;
    HttpCache cache;
};

// Keys that share one ".caf" file (file count 1 and the same two digest bytes are rare, so the
// tests use a single file: same root, and only digest bytes 1 and 2 pick directories).
std::string SameFileKey(const HttpCache &cache, const std::string &like, int n) {
    StringBuffer want, got;
    cache.CafPath(like.c_str(), want);
    for (int i = 0;; ++i) {
        std::string key = "http://k/" + std::to_string(n) + "/" + std::to_string(i);
        cache.CafPath(key.c_str(), got);
        if (std::strcmp(got.Text(), want.Text()) == 0)
            return key;
    }
}

// Four bytes that, appended to prefix, give a text whose CRC-32 is target: the CRC of the appended
// bits is affine over GF(2), so one Gaussian elimination over the 32 unit vectors solves it.
std::string ForgeCrc(const std::string &prefix, uint32_t target) {
    auto crcWith = [&](uint32_t x) {
        std::string t = prefix + cachetest::Le32Bytes(x);
        return Crc32::Compute(t.data(), t.size());
    };
    uint32_t base = crcWith(0);
    uint32_t col[32];
    for (int i = 0; i < 32; ++i)
        col[i] = crcWith(1u << i) ^ base;
    // Rows of the augmented system: row r says bit r of the result, as a mask over the 32 unknowns.
    uint64_t rows[32];
    uint32_t want = target ^ base;
    for (int r = 0; r < 32; ++r) {
        uint64_t mask = 0;
        for (int i = 0; i < 32; ++i)
            mask |= static_cast<uint64_t>((col[i] >> r) & 1u) << i;
        rows[r] = mask | (static_cast<uint64_t>((want >> r) & 1u) << 32);
    }
    for (int c = 0, r = 0; c < 32 && r < 32; ++c) {
        int pivot = r;
        while (pivot < 32 && !((rows[pivot] >> c) & 1u))
            ++pivot;
        if (pivot == 32)
            continue;
        std::swap(rows[r], rows[pivot]);
        for (int k = 0; k < 32; ++k)
            if (k != r && ((rows[k] >> c) & 1u))
                rows[k] ^= rows[r];
        ++r;
    }
    uint32_t x = 0;
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 32; ++c)
            if (rows[r] & (1ull << c)) {
                x |= static_cast<uint32_t>((rows[r] >> 32) & 1u) << c;
                break;
            }
    return prefix + cachetest::Le32Bytes(x);
}

} // namespace

TEST_F(CafStore, CafPathIsBuiltFromTheDigestBytesAndTheFileCount) {
    HttpCache c;
    StringBuffer path;
    EXPECT_FALSE(c.CafPath("k", path));
    c.AddRoot("/cache/");
    c.SetFileCount(7);
    const char *key = "http://www.example.org/";
    uint8_t d[16];
    Md5::Digest(key, std::strlen(key), d);
    ASSERT_TRUE(c.CafPath(key, path));
    uint32_t v =
        static_cast<uint32_t>(d[3]) | (d[4] << 8) | (d[5] << 16) | (static_cast<uint32_t>(d[6]) << 24);
    EXPECT_EQ(std::string(path.Text()), "/cache/" + std::to_string(d[1]) + "/" + std::to_string(d[2]) + "/" +
                                            std::to_string(v % 7) + ".caf");
}

TEST_F(CafStore, FirstEntryWritesTheDirectoryAndEntryLayout) {
    ASSERT_TRUE(Save("http://a/page", "HTTP/1.1 200 OK\r\n", "hello"));
    std::string f = testsupport::ReadFileBytes(FileOf("http://a/page"));
    ASSERT_GT(f.size(), 88u + 32u);
    EXPECT_EQ(Le32(f, 0), 10u);
    EXPECT_EQ(Le32(f, 4), 1u);
    EXPECT_EQ(Le32(f, 8), 88u);
    EXPECT_EQ(Le32(f, 12), Crc32::Compute("http://a/page", 13));
    for (size_t at = 16; at < 88; ++at)
        EXPECT_EQ(f[at], 0) << at;
    const size_t e = 88;
    EXPECT_EQ(Le32(f, e), Crc32::Compute("Nothing", 7));
    EXPECT_EQ(Le32(f, e + 4), Crc32::Compute("hello", 5));
    EXPECT_EQ(f[e + 8], 0);                                             // not negative
    EXPECT_EQ(f[e + 9], 2);                                             // body compressed
    EXPECT_EQ(f.substr(e + 12, 4), std::string("\x18\x03\x01\x0c", 4)); // 2024-03-01 12h
    EXPECT_EQ(f.substr(e + 16, 4), f.substr(e + 12, 4));
    EXPECT_EQ(Le32(f, e + 20), 14u);
    uint32_t ch = Le32(f, e + 24), dl = Le32(f, e + 28);
    EXPECT_EQ(f.substr(e + 32, 14), std::string("http://a/page\0", 14));
    EXPECT_EQ(f.size(), e + 32 + 14 + ch + dl);

    // The header stream unpacks to the text and one zero byte.
    std::string header(64, '\0');
    unsigned int hl = 64;
    ASSERT_EQ(BZ2_bzBuffToBuffDecompress(header.data(), &hl, f.data() + e + 46, ch, 0, 0), BZ_OK);
    EXPECT_EQ(header.substr(0, hl), std::string("HTTP/1.1 200 OK\r\n\0", 18));
}

TEST_F(CafStore, EntriesRoundTripAndGifAndPdfBodiesAreStoredAsTheyAre) {
    std::string big(100000, 'z');
    ASSERT_TRUE(Save("http://a/x.html", "HTTP/1.1 200 OK\r\nA: b\r\n", big));
    ASSERT_TRUE(Save("http://a/Pic.GIF", "HTTP/1.1 200 OK\r\n", "GIF89a-bytes"));
    ASSERT_TRUE(Save("http://a/doc.pdf?x=1", "HTTP/1.1 200 OK\r\n", "%PDF-1.4"));
    for (auto [key, body, compressed] :
         {std::tuple{"http://a/x.html", big, true},
          std::tuple{"http://a/Pic.GIF", std::string("GIF89a-bytes"), false},
          std::tuple{"http://a/doc.pdf?x=1", std::string("%PDF-1.4"), false}}) {
        bool negative = true;
        auto entry = Fetch(key, negative);
        ASSERT_TRUE(entry) << key;
        EXPECT_FALSE(negative);
        EXPECT_EQ(Bytes(entry->Body), body) << key;
        EXPECT_STREQ(entry->Url.Text(), key);
        EXPECT_EQ((entry->Fields.Flags & 2) != 0, compressed) << key;
        if (!compressed) {
            EXPECT_EQ(entry->Fields.BodyLength, body.size());
        }
    }
    bool negative = false;
    auto entry = Fetch("http://a/x.html", negative);
    EXPECT_STREQ(entry->HeaderText.Text(), "HTTP/1.1 200 OK\r\nA: b\r\n");
    EXPECT_LT(entry->Fields.BodyLength, 1000u);
}

TEST_F(CafStore, AppendingAddsSlotsInOrderAndTheEleventhEntryRestartsTheFile) {
    cache.SetFileCount(1);
    std::string first = SameFileKey(cache, "http://k/0", 0);
    std::vector<std::string> keys;
    for (int i = 0; i < 10; ++i) {
        keys.push_back(SameFileKey(cache, first, i));
        ASSERT_TRUE(Save(keys.back().c_str(), "HTTP/1.1 200 OK\r\n", "body" + std::to_string(i)));
    }
    std::string f = testsupport::ReadFileBytes(FileOf(first.c_str()));
    EXPECT_EQ(Le32(f, 4), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Le32(f, 12 + 8 * i), Crc32::Compute(keys[i].data(), keys[i].size()));
        bool negative = false;
        auto entry = Fetch(keys[i].c_str(), negative);
        ASSERT_TRUE(entry) << i;
        EXPECT_EQ(Bytes(entry->Body), "body" + std::to_string(i));
    }
    std::string eleventh = SameFileKey(cache, first, 10);
    ASSERT_TRUE(Save(eleventh.c_str(), "HTTP/1.1 200 OK\r\n", "new"));
    f = testsupport::ReadFileBytes(FileOf(first.c_str()));
    EXPECT_EQ(Le32(f, 4), 1u);
    EXPECT_EQ(Le32(f, 8), 88u);
    EXPECT_TRUE(cache.Exists(eleventh.c_str()));
    for (const std::string &k : keys)
        EXPECT_FALSE(cache.Exists(k.c_str()));
}

TEST_F(CafStore, SaveReplacingLeavesOnlyThatEntry) {
    cache.SetFileCount(1);
    std::string a = SameFileKey(cache, "http://k/0", 1);
    std::string b = SameFileKey(cache, a, 2);
    ASSERT_TRUE(Save(a.c_str(), "HTTP/1.1 200 OK\r\n", "a1"));
    ASSERT_TRUE(Save(b.c_str(), "HTTP/1.1 200 OK\r\n", "b1"));
    ASSERT_TRUE(Save(a.c_str(), "HTTP/1.1 200 OK\r\n", "a2", false, true));
    bool negative = false;
    auto entry = Fetch(a.c_str(), negative);
    ASSERT_TRUE(entry);
    EXPECT_EQ(Bytes(entry->Body), "a2");
    EXPECT_FALSE(cache.Exists(b.c_str()));
}

TEST_F(CafStore, NegativeEntriesExistButFetchNothing) {
    ASSERT_TRUE(Save("http://gone/", "", "", true));
    EXPECT_TRUE(cache.Exists("http://gone/"));
    bool negative = false;
    EXPECT_FALSE(Fetch("http://gone/", negative));
    EXPECT_TRUE(negative);
    uint32_t offset = 0;
    CacheEntryFields fields;
    ASSERT_TRUE(cache.LookUp("http://gone/", offset, fields));
    EXPECT_EQ(fields.Negative, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(fields.StampValid), 4), std::string(4, '\0'));
}

TEST_F(CafStore, ACrcCollisionIsAMissNotAnotherUrlsEntry) {
    // Two keys with the same CRC-32: the entry of the first is never served for the second.
    ASSERT_TRUE(Save("http://a/one", "HTTP/1.1 200 OK\r\n", "one"));
    std::string f = testsupport::ReadFileBytes(FileOf("http://a/one"));
    // Rewrite the stored URL of the entry in place to another one of the same length: its slot's CRC
    // now belongs to a URL that is not stored.
    size_t urlAt = 88 + 32;
    f.replace(urlAt, 12, "http://a/two");
    testsupport::WriteFileBytes(FileOf("http://a/one"), f);
    bool negative = false;
    EXPECT_FALSE(Fetch("http://a/one", negative));
    EXPECT_FALSE(cache.Exists("http://a/one"));
}

TEST_F(CafStore, TwoUrlsWithOneCrcInOneFileEachGetTheirOwnEntry) {
    cache.SetFileCount(1);
    const std::string a = "http://c/one";
    const uint32_t crc = Crc32::Compute(a.data(), a.size());
    // A second URL with the same CRC in the same file (the file depends on the MD5 digest bytes 1 and 2).
    StringBuffer fileA, fileB;
    cache.CafPath(a.c_str(), fileA);
    std::string b;
    for (int i = 0;; ++i) {
        b = ForgeCrc("http://c/" + std::to_string(i) + "?", crc);
        cache.CafPath(b.c_str(), fileB);
        if (b.find('\0') == std::string::npos && std::strcmp(fileA.Text(), fileB.Text()) == 0)
            break;
    }
    ASSERT_EQ(Crc32::Compute(b.data(), b.size()), crc);
    ASSERT_TRUE(Save(a.c_str(), "HTTP/1.1 200 OK\r\n", "body of one"));
    bool negative = false;
    EXPECT_FALSE(Fetch(b.c_str(), negative)) << "another URL's entry served";
    EXPECT_FALSE(cache.Exists(b.c_str()));
    ASSERT_TRUE(Save(b.c_str(), "HTTP/1.1 200 OK\r\n", "body of two"));
    auto one = Fetch(a.c_str(), negative);
    auto two = Fetch(b.c_str(), negative);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(Bytes(one->Body), "body of one");
    EXPECT_EQ(Bytes(two->Body), "body of two");
}

TEST_F(CafStore, DamagedFilesReadAsMisses) {
    ASSERT_TRUE(Save("http://a/p", "HTTP/1.1 200 OK\r\n", std::string(5000, 'q')));
    const std::string path = FileOf("http://a/p");
    const std::string good = testsupport::ReadFileBytes(path);
    auto with = [&](size_t at, const std::string &bytes) {
        std::string f = good;
        f.replace(at, bytes.size(), bytes);
        return f;
    };
    const uint32_t ch = Le32(good, 88 + 24);
    const size_t bodyAt = 88 + 32 + 11 + ch;
    struct Case {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"shorter than the directory", good.substr(0, 40)},
        {"truncated in the entry", good.substr(0, 100)},
        {"truncated in the body", good.substr(0, good.size() - 10)},
        {"capacity not ten", with(0, cachetest::Le32Bytes(11))},
        {"count past the capacity", with(4, cachetest::Le32Bytes(0xFFFFFFF0u))},
        {"slot offset past the end", with(8, cachetest::Le32Bytes(0x7FFFFFFFu))},
        {"slot offset inside the directory", with(8, cachetest::Le32Bytes(4))},
        {"url length huge", with(88 + 20, cachetest::Le32Bytes(0xFFFFFFFFu))},
        {"header length huge", with(88 + 24, cachetest::Le32Bytes(0xFFFFFFF0u))},
        {"body length huge", with(88 + 28, cachetest::Le32Bytes(0xFFFFFFF0u))},
        {"header stream damaged", with(88 + 32 + 11 + 4, "\xFF\xFF\xFF\xFF")},
        {"body stream damaged", with(bodyAt + 10, std::string(6, '\0'))},
        {"body crc wrong", with(88 + 4, "\x01\x02\x03\x04")},
        {"foreign", std::string(200, 'A')},
    };
    for (const Case &c : cases) {
        testsupport::WriteFileBytes(path, c.bytes);
        bool negative = true;
        EXPECT_FALSE(Fetch("http://a/p", negative)) << c.name;
        EXPECT_FALSE(negative) << c.name;
    }
    // A damaged file is restarted by the next save.
    testsupport::WriteFileBytes(path, std::string(200, 'A'));
    ASSERT_TRUE(Save("http://a/p", "HTTP/1.1 200 OK\r\n", "again"));
    bool negative = false;
    auto entry = Fetch("http://a/p", negative);
    ASSERT_TRUE(entry);
    EXPECT_EQ(Bytes(entry->Body), "again");
}

TEST_F(CafStore, DnsEntriesMarkInvalidStayInvalidUntilTheyGoAndMarkValidOnlyRenewsValidOnes) {
    bool found = true, invalid = true;
    cache.IsDomainInvalid("Bad.Example", found, invalid);
    EXPECT_FALSE(found);
    cache.MarkDomainValid("bad.example"); // nothing to renew: still no entry
    cache.IsDomainInvalid("bad.example", found, invalid);
    EXPECT_FALSE(found);

    cache.MarkDomainInvalid("Bad.Example");
    cache.IsDomainInvalid("bad.example", found, invalid);
    EXPECT_TRUE(found);
    EXPECT_TRUE(invalid);
    EXPECT_TRUE(cache.Exists("dns://bad.example"));
    cache.MarkDomainValid("bad.example"); // an invalid entry is not made valid
    cache.IsDomainInvalid("bad.example", found, invalid);
    EXPECT_TRUE(invalid);

    // A host known to resolve keeps its valid entry when marked invalid later.
    HttpCache other;
    other.AddRoot(dir.Path().c_str());
    DataBuffer empty;
    ASSERT_TRUE(other.SaveAppending("dns://good.example", "", empty, false, 0, 0, 0, ""));
    other.MarkDomainInvalid("good.example");
    other.IsDomainInvalid("GOOD.example", found, invalid);
    EXPECT_TRUE(found);
    EXPECT_FALSE(invalid);
}

TEST(CacheFileDirLayout, EncodeDecodeAndSlotSearchInSlotOrder) {
    CacheFileDir dir;
    dir.Count = 3;
    dir.Slots[0] = {88, 7};
    dir.Slots[1] = {200, 9};
    dir.Slots[2] = {300, 7};
    uint8_t bytes[CacheFileDir::kSize];
    dir.Encode(bytes);
    CacheFileDir back;
    ASSERT_TRUE(back.Decode(bytes, sizeof bytes));
    EXPECT_EQ(back.Count, 3u);
    EXPECT_EQ(back.FindSlot(7), 0);
    EXPECT_EQ(back.FindSlot(7, 1), 2);
    EXPECT_EQ(back.FindSlot(8), -1);
    EXPECT_FALSE(back.Decode(bytes, CacheFileDir::kSize - 1));
}
