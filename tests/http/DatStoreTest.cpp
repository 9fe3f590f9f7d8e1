// Tests of ClsCache2, the ".dat" store: file names and levels, the byte layout, round trips, the
// expiry update, and files that are empty, short, foreign or marked wrongly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/DataBuffer.h"
#include "core/Md5.h"
#include "core/StringBuffer.h"
#include "http/CacheTestHelpers.h"
#include "http/ClsCache2.h"
#include "net/RecordingLog.h"
#include "support/TestSupport.h"

using namespace vantry;

using cachetest::Bytes;
using cachetest::SetBytes;

namespace {

constexpr const char *kNoRoots = "No cache roots have been set.  Need to call AddRoot at least once.";

std::string Md5Hex(const std::string &key) {
    uint8_t d[16];
    Md5::Digest(key.data(), key.size(), d);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02X", d[i]);
    return hex;
}

std::string LogText(ClsCache2 &store) {
    StringBuffer text;
    store.GetLogText(text);
    return text.Text();
}

} // namespace

TEST(DatStore, GetFilenameWithoutRootsLogsTheRootsEntryInItsOwnLog) {
    ClsCache2 store;
    StringBuffer path;
    EXPECT_FALSE(store.GetFilename("http://a.example/", path));
    EXPECT_NE(LogText(store).find(kNoRoots), std::string::npos);
    EXPECT_NE(LogText(store).find("GetFilename"), std::string::npos);
}

TEST(DatStore, GetFilenameIsTheUpperCaseMd5UnderTheRootAtEachLevelCount) {
    ClsCache2 store;
    store.AddRoot("/var/cache/v");
    const std::string key = "http://www.example.org/index.html";
    uint8_t d[16];
    Md5::Digest(key.data(), key.size(), d);
    StringBuffer path;

    ASSERT_TRUE(store.GetFilename(key.c_str(), path));
    EXPECT_EQ(std::string(path.Text()), "/var/cache/v/" + Md5Hex(key) + ".dat");

    store.SetLevels(1);
    ASSERT_TRUE(store.GetFilename(key.c_str(), path));
    EXPECT_EQ(std::string(path.Text()), "/var/cache/v/" + std::to_string(d[1]) + "/" + Md5Hex(key) + ".dat");

    store.SetLevels(2);
    ASSERT_TRUE(store.GetFilename(key.c_str(), path));
    EXPECT_EQ(std::string(path.Text()), "/var/cache/v/" + std::to_string(d[1]) + "/" + std::to_string(d[2]) +
                                            "/" + Md5Hex(key) + ".dat");
}

TEST(DatStore, GetFilenameChoosesTheRootByTheFirstDigestByte) {
    ClsCache2 store;
    store.AddRoot("/r0/");
    store.AddRoot("/r1/");
    store.AddRoot("/r2/");
    for (const char *key : {"a", "b", "c", "d", "e", "f"}) {
        uint8_t d[16];
        Md5::Digest(key, 1, d);
        StringBuffer path;
        ASSERT_TRUE(store.GetFilename(key, path));
        EXPECT_EQ(std::string(path.Text()).substr(0, 4), "/r" + std::to_string(d[0] % 3) + "/") << key;
    }
}

TEST(DatStore, SaveWritesTheHeaderLayoutByteForByte) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    store.SetLevels(2);
    DataBuffer payload;
    SetBytes(payload, "PAYLOAD");
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("k", 45000.5, "\"tag1\"", payload, log));
    EXPECT_TRUE(log.Has("data: ResourceName=k"));

    StringBuffer path;
    ASSERT_TRUE(store.GetFilename("k", path));
    std::string file = testsupport::ReadFileBytes(path.Text());
    ASSERT_EQ(file.size(), 20u + 6u + 7u);
    EXPECT_EQ(cachetest::Le32(file, 0), 26u);
    EXPECT_EQ(file.substr(4, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(file.substr(6, 2), std::string("\xFE\x9A", 2));
    EXPECT_EQ(file.substr(8, 2), std::string("\x00\x00", 2));
    double expiry = 0;
    std::memcpy(&expiry, file.data() + 10, 8);
    EXPECT_EQ(expiry, 45000.5);
    EXPECT_EQ(file.substr(18, 2), std::string("\x06\x00", 2));
    EXPECT_EQ(file.substr(20, 6), "\"tag1\"");
    EXPECT_EQ(file.substr(26), "PAYLOAD");
    // Nothing but the entry is left in the directory (the temporary file was renamed into place).
    int files = 0;
    for (auto &e : std::filesystem::recursive_directory_iterator(dir.Path()))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST(DatStore, ReadBackGivesPayloadTagAndExpiryAndLogsTheExpiration) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    store.SetLevels(1);
    DataBuffer payload;
    SetBytes(payload, std::string("abc\0def", 7));
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("http://x/", 45000.25, "W/\"e\"", payload, log));

    ClsCache2 reader;
    reader.AddRoot(dir.Path().c_str());
    reader.SetLevels(1);
    DataBuffer out;
    RecordingLog readLog;
    ASSERT_TRUE(reader.ReadCacheEntry("http://x/", out, readLog));
    EXPECT_EQ(Bytes(out), std::string("abc\0def", 7));
    StringBuffer tag;
    EXPECT_TRUE(reader.GetLastEtag(tag));
    EXPECT_STREQ(tag.Text(), "W/\"e\"");
    double expiry = 0;
    EXPECT_TRUE(reader.GetLastExpiry(expiry));
    EXPECT_EQ(expiry, 45000.25);
    bool loggedExpiration = false;
    for (auto &e : readLog.entries)
        loggedExpiration |= e.rfind("data: Expiration=", 0) == 0;
    EXPECT_TRUE(loggedExpiration);
    EXPECT_TRUE(reader.Exists("http://x/"));
    EXPECT_FALSE(reader.Exists("http://y/"));
}

TEST(DatStore, NothingFetchedMeansNoTagNoExpiryAndNotExpired) {
    ClsCache2 store;
    StringBuffer tag;
    double expiry = 1;
    EXPECT_FALSE(store.GetLastEtag(tag));
    EXPECT_FALSE(store.GetLastExpiry(expiry));
    EXPECT_EQ(expiry, 0);
    EXPECT_FALSE(store.IsExpiredAt(1e9));
}

TEST(DatStore, IsExpiredAtOrPastTheExpiryAndNeverWithoutOne) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    DataBuffer payload, out;
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("a", 100.0, "", payload, log));
    ASSERT_TRUE(store.SaveToCache("b", 0.0, "", payload, log));
    ASSERT_TRUE(store.ReadCacheEntry("a", out, log));
    EXPECT_FALSE(store.IsExpiredAt(99.999));
    EXPECT_TRUE(store.IsExpiredAt(100.0));
    ASSERT_TRUE(store.ReadCacheEntry("b", out, log));
    EXPECT_FALSE(store.IsExpiredAt(1e6));
}

TEST(DatStore, UpdateExpirationRewritesOnlyTheEightExpiryBytes) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    DataBuffer payload, out;
    SetBytes(payload, "body");
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("u", 10.0, "t", payload, log));
    StringBuffer path;
    store.GetFilename("u", path);
    std::string before = testsupport::ReadFileBytes(path.Text());
    ASSERT_TRUE(store.UpdateExpiration("u", 20.5, log));
    std::string after = testsupport::ReadFileBytes(path.Text());
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(before.substr(0, 10), after.substr(0, 10));
    EXPECT_EQ(before.substr(18), after.substr(18));
    ASSERT_TRUE(store.ReadCacheEntry("u", out, log));
    double expiry = 0;
    store.GetLastExpiry(expiry);
    EXPECT_EQ(expiry, 20.5);
}

TEST(DatStore, UpdateExpirationOfAMissingOrForeignFileFailsWithoutWriting) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    RecordingLog log;
    EXPECT_FALSE(store.UpdateExpiration("missing", 1.0, log));
    EXPECT_TRUE(log.Has("error: Failed to open file"));

    StringBuffer path;
    store.GetFilename("foreign", path);
    testsupport::WriteFileBytes(path.Text(), "short");
    RecordingLog log2;
    EXPECT_FALSE(store.UpdateExpiration("foreign", 1.0, log2));
    EXPECT_TRUE(log2.Has("error: Failed to seek to position in cache file."));
    EXPECT_EQ(testsupport::ReadFileBytes(path.Text()), "short");
}

TEST(DatStore, SaveAndReadWithoutRootsLogTheRootsEntry) {
    ClsCache2 store;
    DataBuffer payload;
    RecordingLog log;
    EXPECT_FALSE(store.SaveToCache("k", 0, "", payload, log));
    EXPECT_FALSE(store.ReadCacheEntry("k", payload, log));
    EXPECT_EQ(std::count(log.entries.begin(), log.entries.end(), std::string("error: ") + kNoRoots), 2);
}

TEST(DatStore, DamagedFilesAreRefusedAndForgetTheLastEntry) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    DataBuffer payload, out;
    SetBytes(payload, "good");
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("k", 5.0, "tag", payload, log));
    StringBuffer path;
    store.GetFilename("k", path);
    std::string good = testsupport::ReadFileBytes(path.Text());

    std::string wrongMark = good;
    wrongMark[6] = 0;
    std::string tagPastHeader = good;
    tagPastHeader[18] = 100; // tag length beyond the header
    std::string hugeHeader = good;
    hugeHeader.replace(0, 4, cachetest::Le32Bytes(1u << 30));
    struct Case {
        const char *name;
        std::string bytes;
        const char *entry;
    } cases[] = {
        {"empty", "", "error: Not a valid cache file."},
        {"three bytes", "abc", "error: Not a valid cache file."},
        {"header only partly there", good.substr(0, 12), "error: Failed to load cache file"},
        {"wrong mark", wrongMark, "error: Not a valid cache file."},
        {"tag past the header", tagPastHeader, "error: Not a valid cache file."},
        {"header size absurd", hugeHeader, "error: Failed to load cache file"},
        {"foreign text", "<html>this is not a cache file at all</html>", "error: Failed to load cache file"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(store.ReadCacheEntry("k", out, log)); // a good entry is remembered first
        testsupport::WriteFileBytes(path.Text(), c.bytes);
        RecordingLog bad;
        EXPECT_FALSE(store.ReadCacheEntry("k", out, bad)) << c.name;
        EXPECT_TRUE(bad.Has(c.entry)) << c.name << "\n" << bad.Dump();
        EXPECT_EQ(out.Length(), 0u) << c.name;
        StringBuffer tag;
        EXPECT_FALSE(store.GetLastEtag(tag)) << c.name;
        EXPECT_FALSE(store.IsExpiredAt(1e9)) << c.name;
        testsupport::WriteFileBytes(path.Text(), good);
    }
}

TEST(DatStore, ALongTagIsStoredAndReadBack) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    std::string tag(7000, 'x');
    DataBuffer payload, out;
    RecordingLog log;
    ASSERT_TRUE(store.SaveToCache("k", 1.0, tag.c_str(), payload, log));
    ASSERT_TRUE(store.ReadCacheEntry("k", out, log));
    StringBuffer got;
    store.GetLastEtag(got);
    EXPECT_EQ(std::string(got.Text()), tag);
}
