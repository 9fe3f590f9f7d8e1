// CookieJar: the cookies of one domain file in memory: storing a new cookie by the replacement and
// Secure rules, dropping expired ones, evicting the least recently used beyond a limit, and the
// cookies (in Cookie line order) that go with a request.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/VantryObject.h"
#include "http/Cookie.h"

namespace vantry {

class StringBuffer;

class CookieJar : public VantryObject {
public:
    CookieJar() = default;
    ~CookieJar() override = default;

    // Stores a cookie made from a Set-Cookie (the jar takes it in every case). A cookie of the same
    // identity is replaced in its place and lends the new one its creation time; an expired cookie
    // only removes that one. From an insecure origin, a cookie is refused when a Secure cookie of the
    // same name is stored whose domain and path it would shadow. True when the jar changed.
    bool Store(Cookie *cookie, bool secureOrigin, int64_t nowMs);

    // Removes the expired cookies; true when there were any.
    bool RemoveExpired(int64_t nowMs);
    // Removes the least recently used cookies (oldest creation first on a tie) until at most
    // maxCount remain; true when any went.
    bool EvictLeastRecentlyUsed(int32_t maxCount);

    // Appends the cookies that go with a request for host and path (see Cookie::Matches).
    void CollectMatching(std::string_view host, std::string_view path, bool secureChannel, int64_t nowMs,
                         std::vector<Cookie *> &out) const;
    // The Cookie line's value for the cookies (reordered: longer paths first, then older first, then
    // as given): their pairs joined by "; ".
    static void WriteCookieLine(std::vector<Cookie *> &cookies, std::string &out);
    // CollectMatching and WriteCookieLine over this jar alone.
    void BuildCookieHeader(std::string_view host, std::string_view path, bool secureChannel, int64_t nowMs,
                           StringBuffer &out) const;

    // Takes ownership.
    void Append(Cookie *cookie);
    void RemoveAt(int32_t index);
    int32_t NumCookies() const { return static_cast<int32_t>(Cookies.size()); }
    Cookie *CookieAt(int32_t index) const;

    std::vector<std::unique_ptr<Cookie>> Cookies; // in file order
};

} // namespace vantry
