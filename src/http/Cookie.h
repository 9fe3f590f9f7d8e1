// Cookie: one cookie as received in a Set-Cookie or Set-Cookie2 value (its name/value pairs and
// attributes), the host and path matching, and the collection of a response's cookies.
#pragma once
#include <cstdint>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class HttpResponseHeader;
class StringPair;

class Cookie : public VantryObject {
public:
    Cookie();
    ~Cookie() override;

    // Fills the cookie from one header value (the cookie is reset first).
    void ParseSetCookie(const char *value);
    void Reset();

    // The host belongs to the domain (equal to it without its leading dot, or ending with "." and
    // it; an empty domain matches every host) and, when a path is given and the cookie's path is
    // neither empty nor "/", the path begins with the cookie's path.
    bool Matches(const char *host, const char *path) const;

    // Sets the value of a pair (names compared ignoring case) or appends a new pair.
    void SetPair(const char *name, const char *value);
    int32_t NumPairs() const { return Pairs.Count(); }
    const StringPair *PairAt(int32_t index) const;
    // The value of a pair by name (ignoring case); null when there is none.
    const char *PairValue(const char *name) const;

    ExtPtrArray Pairs; // owned StringPairs, in order
    int32_t Version = 0;
    bool Secure = false;
    StringBuffer Domain;
    StringBuffer Path;
    StringBuffer Expire; // the raw "expires" value, never interpreted
    bool Discard = false;
    int32_t MaxAge = 0; // stored, never interpreted
};

// Whether a host lies within a cookie domain by the label rule of Cookie::Matches.
bool HostInCookieDomain(const char *host, const char *domain);

// One cookie per "Set-Cookie"/"Set-Cookie2" field. A cookie without a domain takes defaultDomain
// (null: it is dropped). A cookie whose domain responseHost (when given) does not belong to is
// dropped, so one site cannot set cookies for another. New Cookies are appended to out.
void CollectResponseCookies(const HttpResponseHeader &header, const char *defaultDomain,
                            const char *responseHost, ExtPtrArray &out);

} // namespace vantry
