// CookieMgr: the cookie store on disk: one XML file per registrable domain in the cookie directory,
// read for each request and merged into after each response. Nothing stays in memory between
// requests; one lock serialises the store's read-modify-write steps within the process.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "http/Cookie.h"

namespace vantry {

class CookieJar;
class LogBase;
class StringBuffer;

class CookieMgr {
public:
    // Limits as browsers have them; the least recently used cookies go first.
    static constexpr int32_t kMaxCookiesPerFile = 50;
    static constexpr int32_t kMaxCookiesInAll = 3000;
    // A sent cookie's last-access stamp is written back at most this often.
    static constexpr int64_t kLastAccessGranularityMs = 60 * 1000;

    // The domain file for a domain or host: directory + "/" + its registrable domain (the name itself
    // for IP addresses and public suffixes) with "." made "_" + ".xml". Every cookie a host may see
    // lies within its registrable domain, so one file holds them all. False (no file) for an empty
    // result or a name with any byte other than letters, digits, '-' and '.' (so nothing is ever
    // written outside the directory).
    static bool CookieFilePath(const char *directory, const char *domain, StringBuffer &path);

    // The value of the Cookie line (empty when none) for a request to host and path; secureChannel:
    // the request goes over TLS to a verified server. Sent cookies get a new last-access stamp.
    static void BuildRequestCookies(const char *directory, const char *host, const char *path,
                                    bool secureChannel, StringBuffer &out, LogBase &log);
    // Stores the cookies of the Set-Cookie fields of a raw response head; origin is the request that
    // the response answered (its host, not that of an earlier hop or of the pooled connection).
    static void SaveResponseCookies(const char *directory, std::string_view head, const CookieOrigin &origin,
                                    LogBase &log);
    // The same for Set-Cookie values already taken from a head.
    static void SaveSetCookies(const char *directory, const std::vector<std::string> &values,
                               const CookieOrigin &origin, LogBase &log);

    // The cookies of the one domain file for a domain or host; null when the file is missing,
    // unreadable or empty. The caller owns the jar.
    static CookieJar *LoadJar(const char *directory, const char *domain);
};

} // namespace vantry
