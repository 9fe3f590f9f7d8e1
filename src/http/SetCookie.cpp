// Set-Cookie parsing: the name/value pair up to the first ";", then ";"-separated attributes, each
// trimmed of spaces and tabs; and the raw Set-Cookie values of a response head.
#include "http/SetCookie.h"

#include "core/AsciiText.h"
#include "http/CookieDate.h"
#include "http/CookieDomain.h"

namespace vantry {

namespace {

using ascii::EqualsNoCase;

std::string_view TrimSpaceAndTab(std::string_view s) {
    while (!s.empty() && ascii::IsSpaceOrTab(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ascii::IsSpaceOrTab(s.back()))
        s.remove_suffix(1);
    return s;
}

bool HasControlByte(std::string_view text) {
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return true;
    }
    return false;
}

// Max-Age: an optional "-" and digits only; anything else leaves the attribute unused.
bool ParseMaxAge(std::string_view text, int64_t &seconds) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty())
        return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (value < 1000000000000LL) // far beyond any cap; larger numbers stay here
            value = value * 10 + (c - '0');
    }
    seconds = negative ? -value : value;
    return true;
}

void ApplyAttribute(std::string_view name, std::string_view value, SetCookie &out) {
    if (EqualsNoCase(name, "expires")) {
        int64_t seconds = 0;
        if (ParseCookieDate(value, seconds)) {
            out.HasExpires = true;
            out.ExpiresSeconds = seconds;
        }
    } else if (EqualsNoCase(name, "max-age")) {
        int64_t seconds = 0;
        if (ParseMaxAge(value, seconds)) {
            out.HasMaxAge = true;
            out.MaxAgeSeconds = seconds;
        }
    } else if (EqualsNoCase(name, "domain")) {
        if (value.empty())
            return; // an empty Domain is left unused: the cookie stays with its host
        if (value.front() == '.')
            value.remove_prefix(1);
        out.HasDomain = true;
        out.Domain = ascii::Lowered(value);
    } else if (EqualsNoCase(name, "path")) {
        out.HasPath = true;
        if (!value.empty() && value.front() == '/')
            out.Path.assign(value);
        else
            out.Path.clear();
    } else if (EqualsNoCase(name, "secure")) {
        out.Secure = true;
    } else if (EqualsNoCase(name, "httponly")) {
        out.HttpOnly = true;
    } else if (EqualsNoCase(name, "samesite")) {
        if (EqualsNoCase(value, "strict"))
            out.SameSite = "Strict";
        else if (EqualsNoCase(value, "lax"))
            out.SameSite = "Lax";
        else if (EqualsNoCase(value, "none"))
            out.SameSite = "None";
        else
            out.SameSite = "Default";
    }
}

} // namespace

bool ParseSetCookie(std::string_view text, SetCookie &out) {
    out = SetCookie();
    if (HasControlByte(text))
        return false;
    size_t semicolon = text.find(';');
    std::string_view pair = text.substr(0, semicolon);
    std::string_view attributes =
        semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon);
    size_t equals = pair.find('=');
    std::string_view name = equals == std::string_view::npos ? std::string_view() : pair.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? pair : pair.substr(equals + 1);
    name = TrimSpaceAndTab(name);
    value = TrimSpaceAndTab(value);
    if (name.empty() && value.empty())
        return false;
    if (name.size() + value.size() > kMaxCookieNameValueBytes)
        return false;
    out.Name.assign(name);
    out.Value.assign(value);

    while (!attributes.empty()) {
        attributes.remove_prefix(1); // the ";"
        size_t next = attributes.find(';');
        std::string_view av = attributes.substr(0, next);
        attributes = next == std::string_view::npos ? std::string_view() : attributes.substr(next);
        size_t eq = av.find('=');
        std::string_view avName = TrimSpaceAndTab(av.substr(0, eq));
        std::string_view avValue =
            eq == std::string_view::npos ? std::string_view() : TrimSpaceAndTab(av.substr(eq + 1));
        if (avValue.size() > kMaxCookieAttributeBytes)
            continue;
        ApplyAttribute(avName, avValue, out);
    }
    return true;
}

void CollectSetCookieValues(std::string_view head, std::vector<std::string> &out) {
    std::string field;
    bool haveField = false;
    auto finish = [&]() {
        if (!haveField)
            return;
        haveField = false;
        size_t colon = field.find(':');
        if (colon == std::string::npos)
            return;
        if (!EqualsNoCase(TrimSpaceAndTab(std::string_view(field).substr(0, colon)), "set-cookie"))
            return;
        out.emplace_back(TrimSpaceAndTab(std::string_view(field).substr(colon + 1)));
    };
    bool statusLine = true;
    size_t pos = 0;
    while (pos < head.size()) {
        size_t lf = head.find('\n', pos);
        std::string_view line =
            head.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        pos = lf == std::string_view::npos ? head.size() : lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (statusLine) {
            statusLine = false;
            continue;
        }
        if (line.empty())
            break; // the end of the head
        if (ascii::IsSpaceOrTab(line.front())) {
            if (haveField) { // a folded line continues the field with one space
                field.push_back(' ');
                field.append(TrimSpaceAndTab(line));
            }
            continue;
        }
        finish();
        field.assign(line);
        haveField = true;
    }
    finish();
}

} // namespace vantry
