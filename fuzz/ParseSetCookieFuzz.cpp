// libFuzzer target for Set-Cookie parsing and the storage rules: any value, taken alone or from a
// response head, gives a cookie whose name and value can go on a Cookie line (never a line break or
// NUL), a domain the answering host may set, a path starting with "/", and a file name that stays in
// its directory. A value that parses as a cookie date reads back the same from its file form.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/StringBuffer.h"
#include "http/Cookie.h"
#include "http/CookieDate.h"
#include "http/CookieDomain.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"
#include "http/SetCookie.h"

using namespace vantry;

namespace {

constexpr int64_t kNowMs = 1709294400000; // 2024-03-01 12:00:00 UTC

bool HasLineBreakOrNul(const std::string &s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

void CheckCookie(const Cookie &c, const CookieOrigin &origin) {
    if (!c.IsWellFormed() || c.Path.empty() || c.Path[0] != '/' || c.Domain.empty())
        __builtin_trap();
    if (HasLineBreakOrNul(c.Name) || HasLineBreakOrNul(c.Value))
        __builtin_trap();
    // The answering host lies in the cookie's domain, or the cookie is the host's alone.
    if (c.HostOnly ? c.Domain != origin.Host : !DomainMatches(origin.Host, c.Domain))
        __builtin_trap();
    if (c.Secure && !origin.Secure)
        __builtin_trap();
    StringBuffer path;
    if (CookieMgr::CookieFilePath("/nonexistent-dir", c.Domain.c_str(), path)) {
        const char *name = path.Text() + std::strlen("/nonexistent-dir/");
        if (std::strchr(name, '/') || std::strstr(name, ".."))
            __builtin_trap();
    }
}

void StoreAndSend(const std::string &value, CookieJar &jar) {
    SetCookie fields;
    if (!ParseSetCookie(value, fields))
        return;
    for (bool secure : {false, true}) {
        for (const char *host : {"www.example.org", "127.0.0.1", "github.io"}) {
            CookieOrigin origin{host, "/a/b", secure};
            auto *cookie = new Cookie();
            if (!Cookie::FromSetCookie(fields, origin, kNowMs, *cookie)) {
                delete cookie;
                continue;
            }
            CheckCookie(*cookie, origin);
            jar.Store(cookie, secure, kNowMs);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    CookieJar jar;
    StoreAndSend(text, jar);
    std::vector<std::string> values;
    CollectSetCookieValues("HTTP/1.1 200 OK\r\nSet-Cookie: " + text + "\r\n\r\n", values);
    for (const std::string &value : values)
        StoreAndSend(value, jar);
    jar.EvictLeastRecentlyUsed(CookieMgr::kMaxCookiesPerFile);
    for (const char *host : {"www.example.org", "example.org", "127.0.0.1"}) {
        StringBuffer line;
        jar.BuildCookieHeader(host, "/a/b/c", size % 2 == 0, kNowMs, line);
        if (HasLineBreakOrNul(std::string(line.Text(), line.Length())))
            __builtin_trap();
    }
    int64_t seconds = 0;
    if (ParseCookieDate(text, seconds)) {
        int64_t again = 0;
        if (!ParseCookieDate(FormatCookieDate(seconds), again) || again != seconds)
            __builtin_trap();
    }
    return 0;
}
