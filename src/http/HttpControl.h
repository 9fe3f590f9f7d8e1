// HttpControl: the request settings of one facade object, read by every request it makes.
// Fields in their fixed order with their construction defaults.
#pragma once
#include <cstdint>

#include "core/StringBuffer.h"
#include "http/CacheControl.h"
#include "http/ClsCache2.h"
#include "http/HttpCache.h"
#include "http/MimeHeader.h"

namespace vantry {

class ProgressMonitor;

// The request method: GET, or HEAD (the response's head only; no body is read).
enum class HttpMethod { Get, Head };

class HttpControl {
public:
    HttpControl();
    virtual ~HttpControl() = default;

    CacheControl CachePolicy;      // cache switches and freshness numbers
    bool UseHttpCache = false;     // true: the ".caf" store (with DNS and negative entries); false: ".dat"
    ClsCache2 CacheStore;          // the ".dat" store, used when UseHttpCache is false
    HttpCache HttpStore;           // the ".caf" store, used when UseHttpCache is true; also the DNS entries
    bool SendHost = true;          // the generic profile sends a Host line
    StringBuffer UserAgent;        // the generic profile's User-Agent (default set by the constructor)
    StringBuffer Referer;          // Referer line when non-empty
    StringBuffer Accept;           // "*/*"
    StringBuffer Connection;       // "Keep-Alive"
    StringBuffer AcceptCharset;    // "ISO-8859-1,utf-8;q=0.7,*;q=0.7"
    StringBuffer AcceptLanguage;   // "en-us,en;q=0.5"
    MimeHeader ExtraHeaders;       // extra request lines of the generic profile
    bool MimicIE = false;          // the Internet Explorer request profile
    bool MimicFirefox = false;     // the Firefox request profile
    StringBuffer Login;            // Basic authorisation user
    StringBuffer Password;         // Basic authorisation password
    int ProxyPort = 80;            // port of the HTTP proxy
    StringBuffer ProxyDomain;      // host of the HTTP proxy; empty means no proxy
    StringBuffer CookieDir;        // directory of the cookie store; empty disables cookies
    bool SendCookies = true;       // add the Cookie line
    bool SaveCookies = true;       // store cookies from Set-Cookie
    int MaxUrlLen = 8000;          // longest URL accepted, in bytes
    uint64_t MaxContentLength = 0; // largest body accepted, in bytes; 0 means no limit
    int ConnectTimeout = 10;       // seconds
    int ReadTimeout = 20;          // seconds (the socket receives it times 1000 as milliseconds)
    bool FollowRedirects = true;   // follow 301, 302, 303, 307 and 308
    int MaxRedirects = 4;          // redirects followed in a row before the request fails
    HttpMethod Method = HttpMethod::Get;
    // A body whose first bytes are the gzip magic (1F 8B) is decoded even when no header says it is
    // gzip-encoded (a crawler's habit). Off: only a body the head announces as gzip is decoded, so a
    // .gz file arrives as it is stored.
    bool DecodeGzipByMagic = true;

    // A crawler's limits: it refuses URLs ending in a media file extension (.mp3, .avi, ...) and sets
    // MaxUrlLen to 800. A library user fetches any extension, and URLs up to 8000 bytes.
    bool RefuseMediaExtensions = false;

    // Overall deadline of one exchange (connect, send, head and body), in seconds; 0 means none.
    // Bounds a peer that drips its response a byte at a time, each within the read time-out.
    int MaxExchangeSeconds = 300;

    // TLS: trust anchors added to the system CA store (a PEM file of CA certificates; empty: none), and
    // whether a server certificate that fails verification (chain or host name) fails the connect. Off,
    // the failure is logged and the channel used, but no login or Secure cookie travels over it and
    // nothing it brings is served from the cache to a request that requires verification. A crawler
    // that fetches public pages and sends no secrets turns it off.
    StringBuffer TlsCaFile;
    bool RequireVerifiedServer = true;

    // Told of the bytes the request's socket sends and receives, and asked whether to abort; not owned,
    // null for none. Set by an application that shows progress (the library itself never sets it).
    ProgressMonitor *Progress = nullptr;
};

} // namespace vantry
