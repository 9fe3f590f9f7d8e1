// Fuzz target: MakeAbsolute (length limit kept) and the reference resolver; the input is a base URL,
// a newline, a link.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "url/UrlResolver.h"
#include "url/UrlUtil.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(std::char_traits<char>::length(text.c_str()));
    size_t nl = text.find('\n');
    std::string base = nl == std::string::npos ? "http://a/b/c/d;p?q" : text.substr(0, nl);
    std::string ref = nl == std::string::npos ? text : text.substr(nl + 1);

    LogNull log;
    StringBuffer link(ref.c_str());
    bool absoluteAlready = link.BeginsWith("http:") || link.BeginsWith("https:") ||
                           link.BeginsWith("HTTP:") || link.BeginsWith("HTTPS:") ||
                           link.BeginsWith("Http:") || link.BeginsWith("Https:");
    if (MakeAbsolute(link, base.c_str(), log) && !absoluteAlready && link.Length() > kMaxAbsoluteUrlLength)
        std::abort();
    StringBuffer resolved;
    ResolveUrlReference(base, ref, resolved);
    DataBuffer decoded;
    UrlDecode(text.c_str(), decoded);
    return 0;
}
