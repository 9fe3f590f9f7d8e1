// Cookie: the store's rules for one cookie: making it from a Set-Cookie and its origin, matching a
// request's host and path, and writing its pair on the Cookie line.
#include "http/Cookie.h"

#include <limits>

#include "core/AsciiText.h"
#include "http/CookieDomain.h"
#include "http/SetCookie.h"

namespace vantry {

namespace {

// The domain the cookie belongs to; false when the Set-Cookie must be ignored. A Domain attribute
// must domain-match the host and lie within the host's registrable domain, so no public suffix and
// no parent of the host's own registrable domain ("amazonaws.com" for "x.s3.amazonaws.com") qualifies.
// An IP address, or a host that is itself a public suffix, only ever names itself: a Domain equal
// to it gives a host-only cookie.
bool ChooseDomain(const SetCookie &fields, const std::string &host, Cookie &out) {
    if (host.empty())
        return false;
    std::string domain = fields.HasDomain ? fields.Domain : std::string();
    if (!domain.empty()) {
        std::string registrable = RegistrableDomain(host);
        if (registrable.empty()) {
            if (domain != host)
                return false;
            domain.clear();
        } else if (!DomainMatches(host, domain) || !DomainMatches(domain, registrable)) {
            return false;
        }
    }
    out.HostOnly = domain.empty();
    out.Domain = domain.empty() ? host : domain;
    return true;
}

void ChooseExpiry(const SetCookie &fields, int64_t nowMs, Cookie &out) {
    const int64_t latest = nowMs + Cookie::kMaxLifetimeSeconds * 1000;
    if (fields.HasMaxAge) {
        out.Persistent = true;
        if (fields.MaxAgeSeconds <= 0)
            out.ExpiryMs = std::numeric_limits<int64_t>::min(); // expired at once: a deletion
        else
            out.ExpiryMs = fields.MaxAgeSeconds >= Cookie::kMaxLifetimeSeconds
                               ? latest
                               : nowMs + fields.MaxAgeSeconds * 1000;
    } else if (fields.HasExpires) {
        out.Persistent = true;
        out.ExpiryMs = fields.ExpiresSeconds >= latest / 1000 ? latest : fields.ExpiresSeconds * 1000;
    }
}

// The "__Secure-" and "__Host-" prefixes promise a Secure cookie (and for "__Host-" one bound to
// its host with the path "/"); a nameless cookie may not pose as one through its value.
bool PrefixesHold(const SetCookie &fields, const Cookie &cookie) {
    if (cookie.Name.empty())
        return !ascii::StartsWithNoCase(cookie.Value, "__Secure-") &&
               !ascii::StartsWithNoCase(cookie.Value, "__Host-");
    if (ascii::StartsWithNoCase(cookie.Name, "__Secure-") && !cookie.Secure)
        return false;
    if (ascii::StartsWithNoCase(cookie.Name, "__Host-"))
        return cookie.Secure && cookie.HostOnly && fields.HasPath && cookie.Path == "/";
    return true;
}

bool IsControlByte(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

} // namespace

bool Cookie::FromSetCookie(const SetCookie &fields, const CookieOrigin &origin, int64_t nowMs, Cookie &out) {
    out = Cookie();
    out.Name = fields.Name;
    out.Value = fields.Value;
    if (!out.IsWellFormed())
        return false;
    if (!ChooseDomain(fields, ascii::Lowered(origin.Host), out))
        return false;
    out.Path = fields.HasPath && !fields.Path.empty() ? fields.Path : DefaultCookiePath(origin.Path);
    // Only a secure origin may set a Secure cookie.
    if (fields.Secure && !origin.Secure)
        return false;
    out.Secure = fields.Secure;
    out.HttpOnly = fields.HttpOnly;
    out.SameSite = fields.SameSite;
    ChooseExpiry(fields, nowMs, out);
    out.CreationMs = nowMs;
    out.LastAccessMs = nowMs;
    return PrefixesHold(fields, out);
}

bool Cookie::MatchesHost(std::string_view host) const {
    return HostOnly ? host == Domain : DomainMatches(host, Domain);
}

bool Cookie::Matches(std::string_view host, std::string_view path, bool secureChannel, int64_t nowMs) const {
    if (Secure && !secureChannel)
        return false;
    return !IsExpired(nowMs) && MatchesHost(host) && CookiePathMatches(path, Path);
}

bool Cookie::SameIdentity(const Cookie &other) const {
    return Name == other.Name && Domain == other.Domain && HostOnly == other.HostOnly && Path == other.Path;
}

bool Cookie::IsWellFormed() const {
    if (Name.empty() && Value.empty())
        return false;
    if (Name.size() + Value.size() > kMaxCookieNameValueBytes)
        return false;
    for (char c : Name)
        if (IsControlByte(static_cast<unsigned char>(c)) || c == ';' || c == '=')
            return false;
    for (char c : Value)
        if (IsControlByte(static_cast<unsigned char>(c)) || c == ';')
            return false;
    return true;
}

void Cookie::AppendPair(std::string &out) const {
    if (!Name.empty()) {
        out.append(Name);
        out.push_back('=');
    }
    out.append(Value);
}

bool CookiePathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath == cookiePath)
        return true;
    if (cookiePath.empty() || requestPath.size() < cookiePath.size() ||
        requestPath.substr(0, cookiePath.size()) != cookiePath)
        return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string DefaultCookiePath(std::string_view requestPath) {
    if (requestPath.empty() || requestPath.front() != '/')
        return "/";
    size_t last = requestPath.rfind('/');
    if (last == 0)
        return "/";
    return std::string(requestPath.substr(0, last));
}

} // namespace vantry
