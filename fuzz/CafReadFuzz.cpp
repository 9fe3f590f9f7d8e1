// libFuzzer target for the ".caf" store's reader: the directory, every slot's entry read from
// memory, the look-up and fetch from the file, and an append onto whatever the file holds.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "FuzzTempDir.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/CacheEntry.h"
#include "http/CacheFileDir.h"
#include "http/HttpCache.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static HttpCache *cache = [] {
        auto *c = new HttpCache();
        c->AddRoot(FuzzTempDir().c_str());
        c->SetFileCount(1);
        return c;
    }();
    static const char *kKey = "http://fuzz.example/";

    CacheFileDir dir;
    if (dir.Decode(data, static_cast<uint32_t>(size))) {
        for (uint32_t i = 0; i < dir.Count; ++i) {
            CacheEntry entry;
            entry.Load(data, static_cast<uint32_t>(size), dir.Slots[i].Offset, 1u << 20);
        }
    }

    StringBuffer path;
    cache->CafPath(kKey, path);
    static bool made = false;
    if (!made) {
        DataBuffer empty;
        cache->SaveAppending(kKey, "", empty, false, 0, 0, 2, "Nothing"); // makes the directories
        made = true;
    }
    if (FILE *f = std::fopen(path.Text(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    bool negative = false;
    std::unique_ptr<CacheEntry> entry(cache->FetchEntry(kKey, negative));
    bool found = false, invalid = false;
    cache->IsDomainInvalid("fuzz.example", found, invalid);
    if (size % 3 == 0) {
        DataBuffer body;
        body.Append(data, static_cast<uint32_t>(size > 64 ? 64 : size));
        cache->SaveAppending("http://other.example/", "HTTP/1.1 200 OK\r\n", body, false, 0, 0, 2, "Nothing");
        entry.reset(cache->FetchEntry("http://other.example/", negative));
    }
    return 0;
}
