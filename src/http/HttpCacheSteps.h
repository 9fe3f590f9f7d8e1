// The GET engine's cache steps: the look-up before any network work, the store after a response,
// negative entries after a failed request, the expiry rules and the 304 renewal, for both stores
// (HttpControl::UseHttpCache chooses the ".caf" store, else the ".dat" store).
#pragma once
#include <cstdint>
#include <functional>

namespace vantry {

class CacheControl;
class DataBuffer;
class HttpControl;
class HttpResponseHeader;
class HttpResult;
class LogBase;
class StringBuffer;

// What the cache keeps and checks of the exchange a response came from.
struct ExchangeTrust {
    bool OverVerifiedTls = false;    // over TLS, from a server whose certificate verified
    bool CarriedCredentials = false; // the request had an Authorization or a Cookie line
};

// Follows a redirect whose response is in result.Header (the engine's FollowRedirect); used for a
// 301/302 served from the ".caf" store.
using CachedRedirectFollower = std::function<bool(const char *url, int32_t depth, HttpControl &control,
                                                  DataBuffer &body, HttpResult &result, LogBase &log)>;

// Before any network work. Sets result.CacheStatus; on a hit fills body and result.Header; for an
// expired ".dat" entry sets expired with its entity tag and expiry (for If-None-Match or
// If-Modified-Since). A cached redirect of the ".caf" store is followed through followRedirect
// (when given); a failed one sets result.CachedRedirectFailed. An https entry that did not come over
// a verified channel is not used for a request that requires verification, nor is an entry whose
// body exceeds MaxContentLength (or, in the ".caf" store, 16 MiB when that is 0).
void LookUpCache(const char *url, int32_t depth, HttpControl &control, DataBuffer &body, HttpResult &result,
                 bool &expired, StringBuffer &etag, double &expiry, LogBase &log,
                 const CachedRedirectFollower &followRedirect = nullptr);

// The expiry (a local day count) for a response: Expires, else max-age, else a share of the age
// given by Last-Modified, else the default freshness (at least 600 seconds).
double ComputeExpiration(const CacheControl &policy, const HttpResponseHeader &header);
double ComputeExpirationAt(const CacheControl &policy, const HttpResponseHeader &header, double now);

// After a response was read (the engine's step for responses not carrying cookies to save). A
// response marked private or no-store to a request that carried credentials or cookies is not stored;
// a field (ETag and Last-Modified among them) whose value holds CR, LF or NUL is left out of the entry.
void UpdateCacheFromResponse(const char *url, HttpControl &control, HttpResult &result,
                             const DataBuffer &body, const ExchangeTrust &trust, LogBase &log);

// After a failed request: a negative ".caf" entry for the URL (only with UseHttpCache, UpdateCache
// and a root).
void StoreNegativeEntry(const char *url, HttpControl &control, HttpResult &result, const DataBuffer &body,
                        LogBase &log);

// The 304 path: a new expiry from the 304 response, UpdateExpiration of the URL's ".dat" entry,
// and the named value "NewExpiration". The engine logs "Updating cache entry with new expiration."
// and restores the cached header and body itself.
void RenewCachedEntry(const char *url, HttpControl &control, const HttpResponseHeader &notModified,
                      LogBase &log);

// The DNS-entry conditions of the engine and ConnectServer: UseHttpCache with at least one ".caf"
// root (and, for the marks, UpdateCache).
bool DnsEntriesActive(const HttpControl &control);
bool DnsMarksActive(const HttpControl &control);

} // namespace vantry
