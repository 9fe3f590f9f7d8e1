// libFuzzer target for the ".dat" store's reader and the look-up over it: any file content must give
// a hit or a miss without touching memory outside its buffers.
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzTempDir.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/ClsCache2.h"
#include "http/HttpCacheSteps.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static HttpControl *control = [] {
        auto *c = new HttpControl();
        c->CacheStore.AddRoot(FuzzTempDir().c_str());
        return c;
    }();
    static std::string path = [] {
        StringBuffer p;
        control->CacheStore.GetFilename("http://fuzz.example/", p);
        return std::string(p.Text());
    }();
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    LogNull log;
    DataBuffer payload;
    if (control->CacheStore.ReadCacheEntry("http://fuzz.example/", payload, log)) {
        StringBuffer tag;
        double expiry = 0;
        control->CacheStore.GetLastEtag(tag);
        control->CacheStore.GetLastExpiry(expiry);
        control->CacheStore.IsExpired();
    }
    HttpResult result;
    DataBuffer body;
    bool expired = false;
    StringBuffer etag;
    double expiry = 0;
    LookUpCache("http://fuzz.example/", 0, *control, body, result, expired, etag, expiry, log);
    control->CacheStore.UpdateExpiration("http://fuzz.example/", 45000.0, log);
    return 0;
}
