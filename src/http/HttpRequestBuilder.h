// The request texts of the three profiles (generic, Internet Explorer 6, Firefox 1.0.3) and the
// Cookie, Authorization and extra lines they share. Each text ends with an empty line.
#pragma once

namespace vantry {

struct CalendarTime;
class HttpControl;
class LogBase;
class StringBuffer;

class HttpRequestBuilder {
public:
    // url: as the caller gave it (the target when a proxy is set); host: lower-cased, no port;
    // path: never empty; query: without "?", null or empty when there is none. out is cleared first.
    // The generic profile adds If-None-Match (etag non-empty) or If-Modified-Since (expiry non-null)
    // when expired is set.
    static void BuildRequest(const char *url, const char *host, const char *path, const char *query,
                             const HttpControl &control, bool expired, const char *etag,
                             const CalendarTime *expiry, StringBuffer &out, LogBase &log);
    static void BuildMsieRequest(const char *url, const char *host, const char *path, const char *query,
                                 const HttpControl &control, StringBuffer &out, LogBase &log);
    static void BuildFirefoxRequest(const char *url, const char *host, const char *path, const char *query,
                                    const HttpControl &control, StringBuffer &out, LogBase &log);

    // "Cookie: ..." from the cookie store when cookies are configured and the host has any; cookies
    // marked secure take part only when secureChannel is set (the request goes over https).
    static void AddCookieLine(const HttpControl &control, const char *host, const char *path,
                              bool secureChannel, StringBuffer &out, LogBase &log);
    // "Authorization: Basic ..." when Login and Password are both set.
    static void AddAuthorization(const HttpControl &control, StringBuffer &out);
    // The ExtraHeaders fields, each line ended by CR LF.
    static void AddExtraHeaders(const HttpControl &control, StringBuffer &out);
    // "GET target HTTP/1.1\r\n"; spaces and control bytes of the target are percent-encoded.
    static void AddRequestLine(const char *url, const char *path, const char *query,
                               const HttpControl &control, StringBuffer &out);
};

} // namespace vantry
