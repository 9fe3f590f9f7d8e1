// The request texts of the three profiles (generic, Internet Explorer 6, Firefox 1.0.3) and the
// Cookie, Authorization and extra lines they share. Each text ends with an empty line; no line is folded.
#pragma once
#include <string_view>

namespace vantry {

struct CalendarTime;
class HttpControl;
class LogBase;
class StringBuffer;

class HttpRequestBuilder {
public:
    // url: as the caller gave it (the target when a proxy is set, without its fragment); host:
    // lower-cased, no port; port: the URL's port, which the Host line carries when it is not the
    // scheme's default (80, or 443 for https); path: never empty; query: without "?", null or empty when
    // there is none. out is cleared first. The generic profile adds If-None-Match (etag non-empty; never
    // one holding CR, LF or NUL) or If-Modified-Since (expiry non-null) when expired is set, and an
    // ExtraHeaders field takes the place of its own line of that name (an empty value leaves the line out).
    // secureChannel: the request goes over TLS to a server whose certificate verified (only then do Secure
    // cookies go on the Cookie line).
    static void BuildRequest(const char *url, const char *host, int port, const char *path, const char *query,
                             const HttpControl &control, bool expired, const char *etag,
                             const CalendarTime *expiry, StringBuffer &out, LogBase &log,
                             bool secureChannel = false);
    static void BuildMsieRequest(const char *url, const char *host, int port, const char *path,
                                 const char *query, const HttpControl &control, StringBuffer &out,
                                 LogBase &log, bool secureChannel = false);
    static void BuildFirefoxRequest(const char *url, const char *host, int port, const char *path,
                                    const char *query, const HttpControl &control, StringBuffer &out,
                                    LogBase &log, bool secureChannel = false);

    // Whether every header line a request would carry can be sent as it stands: no value (the settings,
    // ExtraHeaders, the host) holds a CR, LF or NUL, and every ExtraHeaders name is a token. False with
    // an error entry naming the field otherwise; such a request is never sent.
    static bool CheckFieldValues(const HttpControl &control, const char *host, LogBase &log);

    // "Cookie: ..." from the cookie store when cookies are configured and the host has any; Secure
    // cookies take part only when secureChannel is set.
    static void AddCookieLine(const HttpControl &control, const char *host, const char *path,
                              bool secureChannel, StringBuffer &out, LogBase &log);
    // Whether a request text carries an Authorization or a Cookie line (letter case ignored): what
    // identifies its sender to the server.
    static bool CarriesCredentials(std::string_view request);
    // "Authorization: Basic ..." when Login and Password are both set.
    static void AddAuthorization(const HttpControl &control, StringBuffer &out);
    // The ExtraHeaders fields with a value, each as "Name: value" and CR LF, the value's bytes as they are.
    static void AddExtraHeaders(const HttpControl &control, StringBuffer &out);
    // "GET target HTTP/1.1\r\n" (HEAD when the control's Method says so); spaces and control bytes of the
    // target are percent-encoded, and the fragment of a proxy target is left out.
    static void AddRequestLine(const char *url, const char *path, const char *query,
                               const HttpControl &control, StringBuffer &out);
};

} // namespace vantry
