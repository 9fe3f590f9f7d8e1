// The GET engine's calls into the cache, DNS-entry and cookie stores, gathered in one place: each
// forwards to the cache steps (http/HttpCacheSteps.h), the HttpCache member of the settings or the
// cookie store (http/CookieMgr.h).
#pragma once
#include <cstdint>
#include <string_view>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/CookieMgr.h"
#include "http/HttpCacheSteps.h"
#include "http/HttpControl.h"

namespace vantry {

class HttpResponseHeader;
class HttpResult;
class LogBase;

namespace enginecache {

inline void LookUp(const char *url, int32_t depth, HttpControl &control, DataBuffer &body, HttpResult &result,
                   bool &expired, StringBuffer &etag, double &expiry, LogBase &log,
                   const CachedRedirectFollower &followRedirect = nullptr) {
    LookUpCache(url, depth, control, body, result, expired, etag, expiry, log, followRedirect);
}
inline void UpdateFromResponse(const char *url, HttpControl &control, HttpResult &result,
                               const DataBuffer &body, const ExchangeTrust &trust, LogBase &log) {
    UpdateCacheFromResponse(url, control, result, body, trust, log);
}
inline void StoreNegative(const char *url, HttpControl &control, HttpResult &result, const DataBuffer &body,
                          LogBase &log) {
    StoreNegativeEntry(url, control, result, body, log);
}
inline void RenewEntry(const char *url, HttpControl &control, const HttpResponseHeader &notModified,
                       LogBase &log) {
    RenewCachedEntry(url, control, notModified, log);
}
inline bool DnsEntriesActive(const HttpControl &control) {
    return vantry::DnsEntriesActive(control);
}
inline bool DnsMarksActive(const HttpControl &control) {
    return vantry::DnsMarksActive(control);
}
inline void IsDomainInvalid(HttpControl &control, const char *host, bool &found, bool &invalid) {
    control.HttpStore.IsDomainInvalid(host, found, invalid);
}
inline void MarkDomainInvalid(HttpControl &control, const char *host) {
    control.HttpStore.MarkDomainInvalid(host);
}
inline void MarkDomainValid(HttpControl &control, const char *host) {
    control.HttpStore.MarkDomainValid(host);
}
// The cookies of a response's raw head, for the request it answered (origin: its URL's host and path,
// and whether it went over a verified TLS channel).
inline void SaveResponseCookies(HttpControl &control, std::string_view head, const CookieOrigin &origin,
                                LogBase &log) {
    CookieMgr::SaveResponseCookies(control.CookieDir.Text(), head, origin, log);
}

} // namespace enginecache

} // namespace vantry
