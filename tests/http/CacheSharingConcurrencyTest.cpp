// Two facades sharing a cache root: a reader never takes a half-written file for an entry, and a
// save interrupted before its rename leaves the previous entry readable.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/CacheTestHelpers.h"
#include "http/ClsCache2.h"
#include "http/HttpCache.h"
#include "support/TestSupport.h"

using namespace vantry;

using cachetest::Bytes;
using cachetest::SetBytes;

namespace {

// A whole payload is one byte repeated; a torn file would mix bytes or be short.
bool Whole(const std::string &s, size_t size) {
    return s.size() == size && s.find_first_not_of(s[0]) == std::string::npos;
}

} // namespace

TEST(CacheSharing, ADatReaderSeesEitherTheOldOrTheNewEntryNeverAPart) {
    testsupport::TempDir dir;
    const size_t size = 256 * 1024;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        ClsCache2 store;
        store.AddRoot(dir.Path().c_str());
        LogNull log;
        DataBuffer a, b;
        SetBytes(a, std::string(size, 'a'));
        SetBytes(b, std::string(size, 'b'));
        for (int i = 0; i < 60; ++i)
            store.SaveToCache("shared", 1.0, "t", i % 2 ? a : b, log);
        done = true;
    });
    ClsCache2 reader;
    reader.AddRoot(dir.Path().c_str());
    LogNull log;
    int reads = 0, torn = 0;
    while (!done || reads == 0) {
        DataBuffer payload;
        if (reader.ReadCacheEntry("shared", payload, log)) {
            ++reads;
            torn += Whole(Bytes(payload), size) ? 0 : 1;
        }
        if (reads > 5000)
            break;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << reads << " reads";
}

TEST(CacheSharing, ACafReaderNeverFetchesADamagedEntryWhileAnotherFacadeWrites) {
    testsupport::TempDir dir;
    const size_t size = 64 * 1024;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        HttpCache cache;
        cache.AddRoot(dir.Path().c_str());
        DataBuffer a, b;
        SetBytes(a, std::string(size, 'a'));
        SetBytes(b, std::string(size, 'b'));
        for (int i = 0; i < 40; ++i)
            cache.SaveReplacing("http://shared/", "HTTP/1.1 200 OK\r\n", i % 2 ? a : b, false, 0, 0, 2,
                                "Nothing");
        done = true;
    });
    HttpCache reader;
    reader.AddRoot(dir.Path().c_str());
    int fetched = 0, torn = 0;
    for (int i = 0; (!done || fetched == 0) && i < 5000; ++i) {
        bool negative = false;
        std::unique_ptr<CacheEntry> entry(reader.FetchEntry("http://shared/", negative));
        if (entry) {
            ++fetched;
            torn += Whole(Bytes(entry->Body), size) ? 0 : 1;
        }
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}

TEST(CacheSharing, ASaveThatDiedBeforeItsRenameLeavesThePreviousEntry) {
    testsupport::TempDir dir;
    ClsCache2 store;
    store.AddRoot(dir.Path().c_str());
    LogNull log;
    DataBuffer payload;
    SetBytes(payload, "previous");
    ASSERT_TRUE(store.SaveToCache("k", 1.0, "", payload, log));
    StringBuffer path;
    store.GetFilename("k", path);
    // What a writer killed mid-save leaves: a partial temporary file beside the entry.
    testsupport::WriteFileBytes(std::string(path.Text()) + "_ABCD.tmp", "\x30\x00\x00\x00\x01");
    DataBuffer out;
    ASSERT_TRUE(store.ReadCacheEntry("k", out, log));
    EXPECT_EQ(Bytes(out), "previous");
    SetBytes(payload, "next");
    ASSERT_TRUE(store.SaveToCache("k", 1.0, "", payload, log));
    ASSERT_TRUE(store.ReadCacheEntry("k", out, log));
    EXPECT_EQ(Bytes(out), "next");
}
