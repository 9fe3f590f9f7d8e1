// HttpResult: what one request left behind (redirect, cache and connection flags, the parsed header).
#pragma once

#include "core/StringBuffer.h"
#include "http/HttpResponseHeader.h"

namespace vantry {

class HttpResult {
public:
    virtual ~HttpResult() = default;

    // All flags false, CacheStatus 0, FinalUrl empty, Header cleared (done before each request).
    void Reset();

    bool WasRedirected = false;        // a 301/302 with a usable Location was met
    StringBuffer FinalUrl;             // the absolute URL built from the last Location
    StringBuffer EffectiveUrl;         // the URL whose response is the result: the one requested, or the
                                       // last redirect target followed (without its fragment)
    bool CachedRedirectFailed = false; // a redirect stored in the cache could not be followed
    int CacheStatus = 0;               // 0 nothing in the cache, 1 a stored response, 2 a negative entry
    bool FromCache = false;            // the body and header come from the cache
    bool ConnectionBroken = false;     // the request could not be written; the pool reconnects and retries
    HttpResponseHeader Header;         // the parsed response header
};

} // namespace vantry
