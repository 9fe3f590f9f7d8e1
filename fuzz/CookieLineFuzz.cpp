// libFuzzer target for the Cookie line: the first line of the input is a request URL, the rest the
// domain file of its host. Whatever the file says, the Cookie line never holds CR, LF or NUL, and
// every pair on it is made of bytes a Set-Cookie could have delivered.
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzTempDir.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/CookieMgr.h"

using namespace vantry;

namespace {

// Host and path of "scheme://host[:port]/path[?query]"; false when there is no host.
bool SplitUrl(const std::string &url, std::string &host, std::string &path) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of(":/?#", start);
    host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t slash = url.find('/', start);
    path = slash == std::string::npos ? "/" : url.substr(slash, url.find_first_of("?#", slash) - slash);
    return !host.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t lineEnd = input.find('\n');
    if (lineEnd == std::string::npos)
        return 0;
    std::string host, path;
    if (!SplitUrl(input.substr(0, lineEnd), host, path))
        return 0;
    const std::string &dir = FuzzTempDir();
    StringBuffer file;
    if (!CookieMgr::CookieFilePath(dir.c_str(), host.c_str(), file))
        return 0;
    if (FILE *f = std::fopen(file.Text(), "wb")) {
        std::fwrite(input.data() + lineEnd + 1, 1, input.size() - lineEnd - 1, f);
        std::fclose(f);
    }
    LogNull log;
    for (bool secure : {false, true}) {
        StringBuffer line;
        CookieMgr::BuildRequestCookies(dir.c_str(), host.c_str(), path.c_str(), secure, line, log);
        for (int32_t i = 0; i < line.Length(); ++i) {
            unsigned char c = static_cast<unsigned char>(line.Text()[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                __builtin_trap();
        }
    }
    std::remove(file.Text());
    return 0;
}
