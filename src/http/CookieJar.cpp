// CookieJar: the storage rules over the cookies of one domain file and the order of the Cookie line.
#include "http/CookieJar.h"

#include <algorithm>

#include "core/StringBuffer.h"
#include "http/CookieDomain.h"

namespace vantry {

namespace {

// A Secure cookie that a new insecure one of the same name would shadow: the domains match one way
// or the other and the new path lies under the stored one.
bool ShadowsSecureCookie(const Cookie &stored, const Cookie &incoming) {
    return stored.Secure && stored.Name == incoming.Name &&
           (DomainMatches(stored.Domain, incoming.Domain) || DomainMatches(incoming.Domain, stored.Domain)) &&
           CookiePathMatches(incoming.Path, stored.Path);
}

} // namespace

bool CookieJar::Store(Cookie *cookie, bool secureOrigin, int64_t nowMs) {
    std::unique_ptr<Cookie> incoming(cookie);
    if (!incoming)
        return false;
    if (!incoming->Secure && !secureOrigin) {
        for (const auto &stored : Cookies)
            if (ShadowsSecureCookie(*stored, *incoming))
                return false;
    }
    for (size_t i = 0; i < Cookies.size(); ++i) {
        if (!Cookies[i]->SameIdentity(*incoming))
            continue;
        if (incoming->IsExpired(nowMs)) {
            Cookies.erase(Cookies.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            incoming->CreationMs = Cookies[i]->CreationMs;
            Cookies[i] = std::move(incoming);
        }
        return true;
    }
    if (incoming->IsExpired(nowMs))
        return false;
    Cookies.push_back(std::move(incoming));
    return true;
}

bool CookieJar::RemoveExpired(int64_t nowMs) {
    size_t before = Cookies.size();
    std::erase_if(Cookies, [nowMs](const std::unique_ptr<Cookie> &c) { return c->IsExpired(nowMs); });
    return Cookies.size() != before;
}

bool CookieJar::EvictLeastRecentlyUsed(int32_t maxCount) {
    bool removed = false;
    while (NumCookies() > maxCount && maxCount >= 0) {
        auto oldest = std::min_element(Cookies.begin(), Cookies.end(), [](const auto &a, const auto &b) {
            if (a->LastAccessMs != b->LastAccessMs)
                return a->LastAccessMs < b->LastAccessMs;
            return a->CreationMs < b->CreationMs;
        });
        Cookies.erase(oldest);
        removed = true;
    }
    return removed;
}

void CookieJar::CollectMatching(std::string_view host, std::string_view path, bool secureChannel,
                                int64_t nowMs, std::vector<Cookie *> &out) const {
    for (const auto &cookie : Cookies)
        if (cookie->Matches(host, path, secureChannel, nowMs) && cookie->IsWellFormed())
            out.push_back(cookie.get());
}

void CookieJar::WriteCookieLine(std::vector<Cookie *> &cookies, std::string &out) {
    out.clear();
    std::stable_sort(cookies.begin(), cookies.end(), [](const Cookie *a, const Cookie *b) {
        if (a->Path.size() != b->Path.size())
            return a->Path.size() > b->Path.size();
        return a->CreationMs < b->CreationMs;
    });
    for (const Cookie *cookie : cookies) {
        if (!out.empty())
            out.append("; ");
        cookie->AppendPair(out);
    }
}

void CookieJar::BuildCookieHeader(std::string_view host, std::string_view path, bool secureChannel,
                                  int64_t nowMs, StringBuffer &out) const {
    std::vector<Cookie *> matching;
    CollectMatching(host, path, secureChannel, nowMs, matching);
    std::string line;
    WriteCookieLine(matching, line);
    out.SetString(line.c_str());
}

void CookieJar::Append(Cookie *cookie) {
    if (cookie)
        Cookies.emplace_back(cookie);
}

void CookieJar::RemoveAt(int32_t index) {
    if (index >= 0 && index < NumCookies())
        Cookies.erase(Cookies.begin() + index);
}

Cookie *CookieJar::CookieAt(int32_t index) const {
    return index >= 0 && index < NumCookies() ? Cookies[static_cast<size_t>(index)].get() : nullptr;
}

} // namespace vantry
