// libFuzzer target for the cookie store's domain-file reader: any file content gives a jar of
// cookies or none, a Cookie line, and a merge that leaves a readable file.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "FuzzTempDir.h"
#include "core/StringBuffer.h"
#include "http/Cookie.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &dir = FuzzTempDir();
    StringBuffer path;
    CookieMgr::CookieFilePath(dir.c_str(), "www.fuzz.example", path);
    if (FILE *f = std::fopen(path.Text(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.c_str(), "www.fuzz.example", "/a"));
    if (jar) {
        StringBuffer line;
        jar->BuildCookieHeader("www.fuzz.example", "/a/b", size % 2 == 0, line);
    }
    Cookie cookie;
    cookie.ParseSetCookie("n=v; domain=.fuzz.example; path=/");
    CookieMgr::SaveCookie(dir.c_str(), cookie);
    jar.reset(CookieMgr::LoadJar(dir.c_str(), "www.fuzz.example", "/"));
    if (!jar) // the merge always leaves a file holding at least the saved cookie
        __builtin_trap();
    return 0;
}
