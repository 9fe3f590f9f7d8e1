// Fuzz target: ParseUrl (with the ASCII form of hosts) and the host helpers on arbitrary bytes (the text
// ends at the first zero byte).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/StringBuffer.h"
#include "url/KnownTlds.h"
#include "url/UrlUtil.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    StringBuffer host, user, password, path, query, fragment, base;
    int32_t port = 0;
    // A failure (a host without ASCII form) leaves every output empty; a success an ASCII host.
    if (!ParseUrl(text.c_str(), host, port, user, password, path, query, fragment)) {
        if (host.Length() != 0 || path.Length() != 0 || port != 80)
            std::abort();
    }
    if (port < 1 || port > 65535)
        std::abort();
    for (char c : host.View()) {
        if (static_cast<unsigned char>(c) >= 0x80)
            std::abort();
    }
    for (char c : {':', '%', '&', '?', '=', ' '}) {
        if (host.ContainsChar(c))
            std::abort();
    }
    GetBaseDomain(text.c_str(), base);
    GetBaseDomain(host.Text(), base);
    HasKnownTld(host.Text());
    AddWwwToBareDomain(host);
    IsOutbound(text.c_str(), base.Text());
    return 0;
}
