// SetCookie: one Set-Cookie header value taken apart (name, value and the attributes a cookie store
// recognises), and the collection of the raw Set-Cookie values of a response head. Parsing does no
// decoding of any kind: the bytes of name and value are kept exactly as received.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

struct SetCookie {
    std::string Name;  // may be empty (a value without "=" is a nameless cookie)
    std::string Value; // quotes, commas and blanks inside kept as they are
    bool HasExpires = false;
    int64_t ExpiresSeconds = 0; // seconds since 1970 UTC
    bool HasMaxAge = false;
    int64_t MaxAgeSeconds = 0; // <= 0 deletes the cookie
    bool HasDomain = false;
    std::string Domain; // lower-cased, one leading "." removed
    bool HasPath = false;
    std::string Path; // empty: the default path of the request (no Path, or one not starting with "/")
    bool Secure = false;
    bool HttpOnly = false;
    std::string SameSite; // "Strict", "Lax", "None", "Default" for another value, empty when absent
};

// The longest name plus value, and the longest attribute value, that a Set-Cookie may carry.
constexpr size_t kMaxCookieNameValueBytes = 4096;
constexpr size_t kMaxCookieAttributeBytes = 1024;

// Parses one header value. False when the whole value is to be ignored: a control byte anywhere
// (0x00-0x1F other than tab, and 0x7F), name and value both empty, or name and value together longer
// than kMaxCookieNameValueBytes. Attributes are recognised by name in any letter case; an unknown one
// is skipped, and the last occurrence of each counts.
bool ParseSetCookie(std::string_view text, SetCookie &out);

// The values of the "Set-Cookie" fields of a raw response head, in order (the status line skipped;
// lines end at LF, a CR before it dropped; continuation lines joined with one space). Nothing is
// decoded, so a value holds exactly the bytes the server sent.
void CollectSetCookieValues(std::string_view head, std::vector<std::string> &out);

} // namespace vantry
