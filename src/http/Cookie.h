// Cookie: one stored cookie (name, value, the domain and path it belongs to, its flags, expiry and
// time stamps), the rules that decide where it is sent, and its making from a parsed Set-Cookie and
// the request whose response carried it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/VantryObject.h"

namespace vantry {

struct SetCookie;

// The request a response answered: the host that answered (lower-case), the path of its URL, and
// whether it went over TLS to a server whose certificate verified.
struct CookieOrigin {
    std::string Host;
    std::string Path;
    bool Secure = false;
};

class Cookie : public VantryObject {
public:
    Cookie() = default;
    ~Cookie() override = default;

    // Makes the cookie a Set-Cookie asks for, by the rules of the store: the domain (host-only
    // without a Domain attribute; a Domain must domain-match the host and lie within its registrable
    // domain, so public suffixes are refused; IP hosts and hosts that are public suffixes only ever
    // get host-only cookies), the default path, the expiry from Max-Age (preferred) or Expires capped
    // at kMaxLifetimeSeconds, Secure only from a secure origin, and the "__Secure-" and "__Host-" name
    // prefixes. False: the Set-Cookie is ignored. Creation and last-access stamps are set to nowMs.
    static bool FromSetCookie(const SetCookie &fields, const CookieOrigin &origin, int64_t nowMs,
                              Cookie &out);

    // The longest a cookie lives: 400 days from when it was set.
    static constexpr int64_t kMaxLifetimeSeconds = 400LL * 24 * 3600;

    bool IsExpired(int64_t nowMs) const { return Persistent && ExpiryMs <= nowMs; }
    // Host-only: the host equals the domain; otherwise the host domain-matches it.
    bool MatchesHost(std::string_view host) const;
    // Whether the cookie goes with a request for host and path: host and path match, not expired, and
    // a Secure cookie only over a secure channel.
    bool Matches(std::string_view host, std::string_view path, bool secureChannel, int64_t nowMs) const;
    // Same name, domain, host-only flag and path: a new cookie of the same identity replaces this one.
    bool SameIdentity(const Cookie &other) const;
    // Name and value can go on a Cookie line: no control byte (tab aside), no ";", no "=" in the
    // name, not both empty, and within kMaxCookieNameValueBytes together.
    bool IsWellFormed() const;
    // "name=value", or just the value for a nameless cookie.
    void AppendPair(std::string &out) const;

    std::string Name;
    std::string Value;
    std::string Domain; // lower-case, no leading dot; for a host-only cookie the host itself
    std::string Path;   // begins with "/"
    bool HostOnly = false;
    bool Secure = false;
    bool HttpOnly = false;
    std::string SameSite;    // "Strict", "Lax", "None", "Default" or empty, as received; kept, not enforced
    bool Persistent = false; // false: a session cookie, kept until replaced or evicted
    int64_t ExpiryMs = 0;    // for a persistent cookie, milliseconds since 1970 UTC
    int64_t CreationMs = 0;
    int64_t LastAccessMs = 0;
};

// The request path falls under the cookie path: equal, or the cookie path is a prefix ending in "/",
// or the prefix is followed by "/" in the request path ("/app" covers "/app/x", not "/application").
bool CookiePathMatches(std::string_view requestPath, std::string_view cookiePath);

// The default cookie path of a request path: up to (not including) its last "/", or "/" when that
// would be empty or the path does not begin with "/".
std::string DefaultCookiePath(std::string_view requestPath);

} // namespace vantry
