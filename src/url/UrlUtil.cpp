// URL and host-name utilities: URL splitting, host and base domain, escapes, absolute links and
// the outbound test, all on 8-bit text.
#include "url/UrlUtil.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "url/HostToAscii.h"
#include "url/UrlResolver.h"

namespace vantry {

namespace {

size_t FindFirstOf(std::string_view s, const char *set) {
    size_t i = s.find_first_of(set);
    return i == std::string_view::npos ? s.size() : i;
}

// Lower-cases the ASCII letters only: bytes beyond ASCII are UTF-8, whose lead bytes a Latin-1 rule
// would change.
void LowerAscii(StringBuffer &text) {
    char *p = text.MutableText();
    for (int32_t i = 0; i < text.Length(); ++i) {
        p[i] = ascii::ToLower(p[i]);
    }
}

// Trims, cuts at the first ':', '%', '&', '?', '=' or space, and trims again.
void CleanHostText(StringBuffer &host) {
    host.Trim();
    for (char c : {':', '%', '&', '?', '=', ' '})
        host.TruncateAtChar(c);
    host.Trim();
}

// Reads the decimal port right after a ':'; anything but a number in 1..65535 leaves the port alone.
void ReadPort(std::string_view digits, int32_t &port) {
    int32_t value = 0;
    size_t i = 0;
    while (i < digits.size() && digits[i] >= '0' && digits[i] <= '9' && value <= 65535) {
        value = value * 10 + (digits[i] - '0');
        ++i;
    }
    if (i > 0 && value >= 1 && value <= 65535)
        port = value;
}

} // namespace

bool ParseUrl(const char *url, StringBuffer &host, int32_t &port, StringBuffer &user, StringBuffer &password,
              StringBuffer &path, StringBuffer &query, StringBuffer &fragment) {
    host.Clear();
    user.Clear();
    password.Clear();
    path.Clear();
    query.Clear();
    fragment.Clear();
    port = 80;
    if (url == nullptr)
        return false;

    std::string copy(url);
    for (char &c : copy) {
        if (c == '\\')
            c = '/';
    }
    std::string_view rest(copy);
    if (ascii::StartsWithNoCase(rest, "http://")) {
        rest.remove_prefix(7);
    } else if (ascii::StartsWithNoCase(rest, "https://")) {
        rest.remove_prefix(8);
        port = 443;
    } else if (ascii::StartsWithNoCase(rest, "file:///")) {
        rest.remove_prefix(8);
    } else if (ascii::StartsWithNoCase(rest, "ftp://")) {
        rest.remove_prefix(6);
    }

    // The authority ends at the first '/', '?' or '#'; an '@' or ':' after it belongs to the path,
    // the query or the fragment and never makes credentials or a port.
    std::string_view credentials;
    size_t at = rest.substr(0, FindFirstOf(rest, "/?#")).find('@');
    if (at != std::string_view::npos) {
        credentials = rest.substr(0, at);
        rest.remove_prefix(at + 1);
    }
    size_t hostEnd = FindFirstOf(rest, "/?#");
    std::string_view authority = rest.substr(0, hostEnd);
    size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        host.Append(authority.substr(0, colon));
        ReadPort(authority.substr(colon + 1), port);
    } else {
        host.Append(authority);
    }

    size_t credColon = credentials.find(':');
    if (credColon != std::string_view::npos) {
        user.Append(credentials.substr(0, credColon));
        password.Append(credentials.substr(credColon + 1));
    }

    std::string_view tail = rest.substr(hostEnd);
    if (tail.empty()) {
        path.Append("/");
    } else if (tail[0] == '#') {
        path.Append("/");
        fragment.Append(tail.substr(tail.rfind('#') + 1));
    } else {
        // From the first '/' (or a '?' right after the host, which gives the path "/").
        size_t q = tail.find('?');
        StringBuffer *fragmentHolder = &path;
        if (q != std::string_view::npos) {
            if (q == 0)
                path.Append("/");
            else
                path.Append(tail.substr(0, q));
            query.Append(tail.substr(q + 1));
            fragmentHolder = &query;
        } else {
            path.Append(tail);
        }
        std::string_view holder = fragmentHolder->View();
        size_t hash = holder.rfind('#');
        if (hash != std::string_view::npos) {
            fragment.Append(holder.substr(hash + 1));
            fragmentHolder->Shorten(static_cast<int32_t>(holder.size() - hash));
        }
    }

    LowerAscii(host);
    CleanHostText(host);
    // A host beyond ASCII goes on in its ASCII form; one without such a form makes the URL unusable.
    if (!HostToAscii(host)) {
        host.Clear();
        path.Clear();
        query.Clear();
        fragment.Clear();
        user.Clear();
        password.Clear();
        port = 80;
        return false;
    }
    return true;
}

bool GetUrlHost(const char *url, StringBuffer &host) {
    StringBuffer user, password, path, query, fragment;
    int32_t port = 80;
    return ParseUrl(url, host, port, user, password, path, query, fragment);
}

bool GetUrlPath(const char *url, StringBuffer &path) {
    StringBuffer host, user, password, query, fragment;
    int32_t port = 80;
    return ParseUrl(url, host, port, user, password, path, query, fragment);
}

void GetBaseDomain(const char *host, StringBuffer &baseDomain) {
    baseDomain.Clear();
    StringBuffer clean(host);
    CleanHostText(clean);
    std::string_view name = clean.View();
    if (name.find('.') == std::string_view::npos) {
        baseDomain.AppendBuffer(clean);
        return;
    }

    // Only the last three labels matter; empty labels are kept.
    size_t lastDot = name.rfind('.');
    std::string_view last = name.substr(lastDot + 1);
    std::string_view front = name.substr(0, lastDot);
    size_t secondDot = front.rfind('.');
    bool twoLabels = secondDot == std::string_view::npos;
    std::string_view second = twoLabels ? front : front.substr(secondDot + 1);
    auto secondDotLast = [&]() {
        baseDomain.Append(second);
        baseDomain.AppendChar('.');
        baseDomain.Append(last);
    };
    static constexpr std::string_view kGeneric[] = {"com",  "org",  "edu",  "net",  "mil",   "biz",
                                                    "info", "coop", "name", "aero", "museum"};
    bool generic = false;
    for (std::string_view g : kGeneric)
        generic = generic || last == g;
    if (twoLabels || generic) {
        secondDotLast();
        return;
    }

    std::string_view beforeSecond = front.substr(0, secondDot);
    size_t thirdDot = beforeSecond.rfind('.');
    std::string_view third =
        thirdDot == std::string_view::npos ? beforeSecond : beforeSecond.substr(thirdDot + 1);
    if (last == "us") {
        if (second.size() == 2 || second == "dni" || second == "fed") {
            baseDomain.Append(name.starts_with("www.") ? name.substr(4) : name);
        } else {
            secondDotLast();
        }
        return;
    }
    bool secondLevel =
        second == "co" || second == "com" || second == "edu" || second == "org" || second == "net";
    if ((secondLevel || (last == "gov" && second == "ca")) && !third.empty()) {
        baseDomain.Append(third);
        baseDomain.AppendChar('.');
        secondDotLast();
        return;
    }
    secondDotLast();
}

bool AddWwwToBareDomain(StringBuffer &name) {
    if (name.CountChar('.') != 1)
        return false;
    name.Prepend("www.");
    return true;
}

void UrlDecode(const char *text, DataBuffer &out) {
    if (text == nullptr)
        return;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == '+') {
            out.AppendByte(' ');
        } else if (*p == '%') {
            if (p[1] == '\0' || p[2] == '\0')
                return;
            // A byte that is not a hex digit counts as 0.
            const int high = ascii::HexValue(p[1]), low = ascii::HexValue(p[2]);
            out.AppendByte(static_cast<uint8_t>((high < 0 ? 0 : high) * 16 + (low < 0 ? 0 : low)));
            p += 2;
        } else {
            out.AppendByte(static_cast<uint8_t>(*p));
        }
    }
}

bool MakeAbsolute(StringBuffer &link, const char *baseUrl, LogBase &log) {
    std::string_view text(link.Text());
    if (ascii::StartsWithNoCase(text, "http:") || ascii::StartsWithNoCase(text, "https:"))
        return true;
    StringBuffer resolved;
    if (baseUrl == nullptr || !ResolveUrlReference(baseUrl, text, resolved)) {
        log.LogError("Cannot make the link absolute without an absolute base URL.");
        log.LogData("url", link.Text());
        log.LogData("baseUrl", baseUrl == nullptr ? "" : baseUrl);
        return false;
    }
    // Spaces and control bytes cannot stand in a request line: they are sent percent-encoded.
    StringBuffer encoded;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : resolved.View()) {
        if (c <= 0x20 || c == 0x7F) {
            encoded.AppendChar('%');
            encoded.AppendChar(kHex[c >> 4]);
            encoded.AppendChar(kHex[c & 15]);
        } else {
            encoded.AppendChar(static_cast<char>(c));
        }
    }
    if (encoded.Length() > kMaxAbsoluteUrlLength) {
        log.LogError("The absolute URL is too long.");
        log.LogDataInt("maxUrlLen", kMaxAbsoluteUrlLength);
        return false;
    }
    link.SetBuffer(encoded);
    return true;
}

bool IsOutbound(const char *url, const char *domain) {
    if (url == nullptr)
        return false;
    std::string_view text(url);
    if (!ascii::StartsWithNoCase(text, "http"))
        return false;
    std::string_view dom(domain == nullptr ? "" : domain);
    if (!ascii::ContainsNoCase(text, dom))
        return true;
    size_t slashes = text.find("//");
    if (slashes == std::string_view::npos)
        return true;
    size_t slash = text.find('/', slashes + 2);
    if (slash == std::string_view::npos) {
        // Nothing after the host but perhaps a query or fragment: judged by the host like any other.
        slash = text.find_first_of("?#", slashes + 2);
        if (slash == std::string_view::npos)
            slash = text.size();
    }
    return !ascii::ContainsNoCase(text.substr(0, slash), dom);
}

} // namespace vantry
