// CookieMgr: the cookie store on disk: one XML file per base domain in the cookie directory,
// loaded for a request and merged into after a response. Nothing stays in memory between requests.
#pragma once

namespace vantry {

class Cookie;
class CookieJar;
class HttpControl;
class HttpResponseHeader;
class StringBuffer;

class CookieMgr {
public:
    // The domain file for a domain or host: directory + "/" + base domain with "." made "_" + ".xml".
    // False (no file) for an empty result or a name with any byte other than letters, digits, '-'
    // and the '_' that replaces '.' (so nothing is ever written outside the directory).
    static bool CookieFilePath(const char *directory, const char *domain, StringBuffer &path);
    // The stored cookies of the host's domain file; null when the file is missing, unreadable or
    // holds no usable cookie. The caller owns the jar.
    static CookieJar *LoadJar(const char *directory, const char *host, const char *path);
    // Merges one cookie into its domain file; true when the file path could be built.
    static bool SaveCookie(const char *directory, const Cookie &cookie);

    // The engine's halves. The Cookie line's value (empty when none) for a request to host and path;
    // secureChannel says whether it goes over https.
    static void BuildRequestCookies(const char *directory, const char *host, const char *path,
                                    bool secureChannel, StringBuffer &out);
    // Saves every cookie of a response: the default domain is "." + the base domain of
    // connectionHost; responseHost is the host that answered (cookies for other domains are dropped).
    static void SaveResponseCookies(const char *directory, const HttpResponseHeader &header,
                                    const char *connectionHost, const char *responseHost);
};

} // namespace vantry
