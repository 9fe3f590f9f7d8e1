// The GET engine's calls into the cache, DNS-entry and cookie stores, gathered in one place. Until the
// stores are part of the build these do nothing: no look-up hits, nothing is stored, no entry exists.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"

class HttpControl;
class HttpResponseHeader;
class HttpResult;
class LogBase;

namespace enginecache {

inline void LookUp(const char *, int32_t, HttpControl &, DataBuffer &, HttpResult &, bool &expired,
                   StringBuffer &, double &expiry, LogBase &) {
    expired = false;
    expiry = 0;
}
inline void UpdateFromResponse(const char *, HttpControl &, HttpResult &, const DataBuffer &, LogBase &) {}
inline void StoreNegative(const char *, HttpControl &, HttpResult &, const DataBuffer &, LogBase &) {}
inline void RenewEntry(const char *, HttpControl &, const HttpResponseHeader &, LogBase &) {}
inline bool DnsEntriesActive(const HttpControl &) {
    return false;
}
inline bool DnsMarksActive(const HttpControl &) {
    return false;
}
inline void IsDomainInvalid(HttpControl &, const char *, bool &found, bool &invalid) {
    found = false;
    invalid = false;
}
inline void MarkDomainInvalid(HttpControl &, const char *) {}
inline void MarkDomainValid(HttpControl &, const char *) {}
inline void SaveResponseCookies(HttpControl &, const HttpResponseHeader &, const char *, const char *) {}

} // namespace enginecache
