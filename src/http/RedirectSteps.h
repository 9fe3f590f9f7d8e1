// The GET engine's redirect rules: which statuses are followed, how a Location becomes the next URL
// (RFC 3986 section 5, with the fragment rule of RFC 9110 section 10.2.2), and which credentials stay
// behind when a redirect leaves the origin they were set for.
#pragma once
#include <string_view>

#include "core/StringBuffer.h"
#include "http/LoginOverride.h"
#include "http/MimeHeader.h"

namespace vantry {

class HttpControl;

namespace redirect {

// 301, 302, 303, 307 and 308: each is a new GET of the Location's target (the engine only sends GET).
bool IsFollowedStatus(int status);

// The URL up to its first '#': the fragment is the client's own and never goes to a server.
std::string_view WithoutFragment(std::string_view url);

// The Location, trimmed, with the bytes a URI cannot hold (blanks, control bytes, DEL, bytes beyond
// ASCII) percent-encoded, resolved against base. A reference naming base's own scheme without an
// authority ("http:next.html") is relative, the non-strict reading of RFC 3986 section 5.2.2. A target
// without a fragment of its own keeps base's. out is empty when base is not an absolute URL.
void ResolveLocation(const char *base, const char *location, StringBuffer &out);

// Whether the URL's scheme is http or https (letter case ignored).
bool IsHttpUrl(std::string_view url);
// Whether the authority after "scheme://" names a host ("http:///x" does not).
bool HasHost(std::string_view url);
// Same scheme, host and port.
bool SameOrigin(const char *a, const char *b);

// While a redirected request goes to another origin, the credentials set for the first one are not
// sent there (RFC 9110 section 15.4): the Basic login, and any Authorization or Cookie field of
// ExtraHeaders. The settings are whole again when this object goes.
class CredentialsWithheld {
public:
    CredentialsWithheld(HttpControl &control, bool withhold);
    ~CredentialsWithheld();
    CredentialsWithheld(const CredentialsWithheld &) = delete;
    CredentialsWithheld &operator=(const CredentialsWithheld &) = delete;

private:
    HttpControl &m_control;
    bool m_active;
    LoginOverride m_noLogin;
    MimeHeader m_extra;
};

} // namespace redirect

} // namespace vantry
