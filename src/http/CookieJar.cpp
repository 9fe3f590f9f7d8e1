// The jar of one domain file and the Cookie line built from its matching cookies.
#include "http/CookieJar.h"

#include <string>
#include <unordered_set>

#include "core/StringBuffer.h"
#include "core/StringPair.h"
#include "http/Cookie.h"

namespace vantry {

void CookieJar::Append(Cookie *cookie) {
    Cookies.Append(cookie);
}

Cookie *CookieJar::CookieAt(int32_t index) const {
    return Cookies.ElementAs<Cookie>(index);
}

void CookieJar::BuildCookieHeader(const char *host, const char *path, bool secureChannel,
                                  StringBuffer &out) const {
    out.Clear();
    std::unordered_set<std::string> written(400);
    for (int32_t i = 0; i < Cookies.Count(); ++i) {
        const Cookie *cookie = CookieAt(i);
        if (!cookie || !cookie->Matches(host, path))
            continue;
        // A secure cookie never travels in clear text.
        if (cookie->Secure && !secureChannel)
            continue;
        for (int32_t p = 0; p < cookie->NumPairs(); ++p) {
            const StringPair *pair = cookie->PairAt(p);
            if (!pair || !written.insert(pair->Name()).second)
                continue;
            if (out.Length())
                out.Append("; ");
            out.Append(pair->Name());
            out.Append("=\"");
            out.Append(pair->Value());
            out.AppendChar('"');
        }
    }
}

} // namespace vantry
