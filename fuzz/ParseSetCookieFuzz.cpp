// libFuzzer target for Set-Cookie parsing, matching and the cookie file name of any value.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/StringBuffer.h"
#include "http/Cookie.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    auto *cookie = new Cookie();
    cookie->ParseSetCookie(text.c_str());
    cookie->Matches("www.example.org", "/path");
    cookie->Matches(cookie->Domain.Text(), cookie->Path.Text());
    StringBuffer path;
    if (CookieMgr::CookieFilePath("/nonexistent-dir", cookie->Domain.Text(), path)) {
        // A file name never leaves the directory.
        const char *name = path.Text() + std::strlen("/nonexistent-dir/");
        if (std::strchr(name, '/') || std::strstr(name, ".."))
            __builtin_trap();
    }
    CookieJar jar;
    jar.Append(cookie);
    StringBuffer line;
    jar.BuildCookieHeader("www.example.org", "/", true, line);
    return 0;
}
