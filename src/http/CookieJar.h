// CookieJar: the cookies of one domain file, and the Cookie request line built from them.
#pragma once

#include "core/ExtPtrArray.h"
#include "core/VantryObject.h"

namespace vantry {

class Cookie;
class StringBuffer;

class CookieJar : public VantryObject {
public:
    CookieJar() = default;
    ~CookieJar() override = default;

    // The value of the Cookie line for host and path: name="value" pairs of the matching cookies,
    // separated by "; ", each name once (the first cookie defining it wins). Cookies marked secure
    // take part only when secureChannel is set (the request goes over https).
    void BuildCookieHeader(const char *host, const char *path, bool secureChannel, StringBuffer &out) const;

    void Append(Cookie *cookie);
    int32_t NumCookies() const { return Cookies.Count(); }
    Cookie *CookieAt(int32_t index) const;

    ExtPtrArray Cookies; // owned Cookies, in file order
};

} // namespace vantry
