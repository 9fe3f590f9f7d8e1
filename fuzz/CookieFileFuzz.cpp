// libFuzzer target for the cookie store's domain-file reader and merge: any file content gives a
// Cookie line without line breaks or NUL; a file that cannot be read is never overwritten, and any
// other file is merged into one that holds the newly saved cookie.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "FuzzTempDir.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/Cookie.h"
#include "http/CookieFile.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"

using namespace vantry;

namespace {

std::string ReadAll(const char *path) {
    std::string bytes;
    if (FILE *f = std::fopen(path, "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

bool HoldsSavedCookie(const CookieJar &jar) {
    for (int32_t i = 0; i < jar.NumCookies(); ++i)
        if (jar.CookieAt(i)->Name == "n" && jar.CookieAt(i)->Value == "v")
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &dir = FuzzTempDir();
    StringBuffer path;
    CookieMgr::CookieFilePath(dir.c_str(), "www.fuzz.example", path);
    const std::string written(reinterpret_cast<const char *>(data), size);
    if (FILE *f = std::fopen(path.Text(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    CookieJar before;
    bool unreadable = CookieFile::Load(path.Text(), before) == CookieFile::LoadStatus::Unreadable;

    LogNull log;
    StringBuffer line;
    CookieMgr::BuildRequestCookies(dir.c_str(), "www.fuzz.example", "/a/b", size % 2 == 0, line, log);
    if (std::string(line.Text(), line.Length()).find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        __builtin_trap();

    CookieOrigin origin{"www.fuzz.example", "/", false};
    CookieMgr::SaveSetCookies(dir.c_str(), {"n=v; domain=.fuzz.example; path=/"}, origin, log);
    if (unreadable) {
        if (ReadAll(path.Text()) != written)
            __builtin_trap(); // left in place
    } else {
        std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.c_str(), "www.fuzz.example"));
        if (!jar || !HoldsSavedCookie(*jar))
            __builtin_trap();
    }
    return 0;
}
