// HttpClient: the GET engine. HttpGet runs the steps of one request in their fixed order, each a
// helper below; redirects and the retry after an invalid head are nested calls on one-shot connections.
#include "http/HttpClient.h"

#include <cstring>

#include "codec/Gzip.h"
#include "core/AsciiText.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "http/DateParser.h"
#include "http/EngineCacheSeam.h"
#include "http/HttpControl.h"
#include "http/HttpRequestBuilder.h"
#include "http/HttpResponseHeader.h"
#include "http/HttpResult.h"
#include "http/LoginOverride.h"
#include "http/RedirectSteps.h"
#include "http/ServerConnect.h"
#include "http/SocketByteSource.h"
#include "platform/Clock.h"
#include "url/UrlCredentials.h"
#include "url/UrlUtil.h"

namespace vantry {

// Everything one HttpGet call carries from step to step.
struct HttpClient::Exchange {
    Exchange(const char *u, int d, bool r, HttpControl &c, DataBuffer &b, HttpResult &res)
        : given(u ? u : ""), url(given), depth(d), reuse(r), control(c), body(b), result(res) {}

    const char *given; // the URL as the caller gave it, without user information; a redirect target
                       // inherits its fragment
    const char *url;   // the URL without its fragment: what is requested, cached and refused
    StringBuffer bareGiven, withoutFragment;
    int depth;
    bool reuse;
    HttpControl &control;
    DataBuffer &body;
    HttpResult &result;

    StringBuffer lower; // the URL lowercased for the extension and about:blank tests
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    bool tls = false;

    // Step 5: an expired cache entry, its validators, and the copies restored on a 304.
    bool expired = false;
    StringBuffer etag;
    double expiry = 0;
    bool keptCached = false;
    HttpResponseHeader cachedHeader;
    DataBuffer cachedBody;

    bool dnsFound = false, dnsInvalid = false;

    // The connection in use: the client's own (reuse) or one living only for this call.
    VantrySocket localSocket;
    ResponseFraming localFraming;
    SChannel localChannel;
    ChannelByteSource localChannelSource{localChannel};
    VantrySocket *socket = nullptr;
    SChannel *channel = nullptr; // TLS requests only
    ResponseFraming *framing = nullptr;
    ByteSource *source = nullptr;
    std::unique_ptr<SocketByteSource> socketSource;

    bool wasOpen = false;            // the request went out on a kept connection opened by an earlier call
    bool carriedCredentials = false; // the request sent had an Authorization or a Cookie line
    bool headInvalid = false;        // the bytes received are not a valid response head
};

static_assert(ResponseFraming::kMaxBodyBytes == VantrySocket::kMaxReceiveCount,
              "bodies without a configured limit are bounded by the socket's largest counted receive");

namespace {

constexpr const char *kRefusedExtensions[] = {".asf", ".mp3", ".rm",  ".mpeg", ".mpg", ".avi",
                                              ".mov", ".mp4", ".wmv", ".pps",  ".wma", ".wvx",
                                              ".wax", ".asx", ".wms", ".wmz",  ".wmd"};

// ASCII letters, and the bytes 0xC0-0xDF raised by 32 as the Latin-1 rule does.
void LowerUrl(const char *url, StringBuffer &out) {
    out.SetString(url);
    out.ToLower();
}

bool WantNegativeEntry(const HttpControl &control) {
    return control.UseHttpCache && control.CachePolicy.UpdateCache;
}

} // namespace

HttpClient::HttpClient() {
    m_host.Clear();
}

HttpClient::~HttpClient() {
    CloseConnections();
}

void HttpClient::CloseConnections() {
    LogNull discard;
    m_channel.Close(discard);
    m_channelSource.Reset();
    m_socket.Close();
    m_framing.Reset();
}

void HttpClient::SetEndpoint(const char *host, int port) {
    m_host.SetString(host ? host : "");
    m_port = port;
}

bool HttpClient::IsRefusedExtension(const char *lowercasedUrl) {
    if (!lowercasedUrl)
        return false;
    size_t n = std::strlen(lowercasedUrl);
    for (const char *ext : kRefusedExtensions) {
        size_t e = std::strlen(ext);
        if (n >= e && std::memcmp(lowercasedUrl + n - e, ext, e) == 0)
            return true;
    }
    return false;
}

HttpClient::CallScope::CallScope(HttpClient &client, const HttpControl &control) : m_client(client) {
    if (client.m_callNesting++ > 0)
        return;
    int seconds = control.MaxExchangeSeconds > 0 ? control.MaxExchangeSeconds : 0;
    client.m_hasDeadline = seconds > 0;
    client.m_deadlineSeconds = seconds;
    client.m_deadlineTick = platform::GetTickCount() + static_cast<uint32_t>(seconds) * 1000u;
}

HttpClient::CallScope::~CallScope() {
    if (--m_client.m_callNesting == 0)
        m_client.m_hasDeadline = false;
}

bool HttpClient::DeadlinePassed() const {
    return m_hasDeadline && static_cast<int32_t>(m_deadlineTick - platform::GetTickCount()) <= 0;
}

void HttpClient::LogDeadline(LogBase &log) const {
    log.LogError("The exchange took longer than MaxExchangeSeconds allows.");
    log.LogDataInt("MaxExchangeSeconds", m_deadlineSeconds);
}

bool HttpClient::HttpGet(const char *url, int depth, bool reuse, HttpControl &control, DataBuffer &body,
                         HttpResult &result, LogBase &log) {
    CallScope scope(*this, control);
    Exchange ex(url, depth, reuse, control, body, result);
    bool answered = false;
    if (!CheckUrl(ex, answered, log)) // steps 1-4: extension, about:blank, length
        return false;
    if (answered)
        return true;
    LookUpCacheStep(ex, answered, log); // step 5
    if (answered)
        return true;
    if (!SplitUrl(ex, log)) // steps 6-7
        return false;
    if (!HttpRequestBuilder::CheckFieldValues(control, ex.host.Text(), log)) // a request never sent
        return false;
    if (!CheckDnsEntry(ex, log)) // step 8
        return false;
    if (!ConnectStep(ex, log)) // steps 9-11
        return false;
    if (!CheckWritable(ex, log)) // steps 12-13
        return false;
    if (!SendRequest(ex, log)) // steps 14-15
        return false;
    if (!ReadHead(ex, log)) // step 16
        return false;
    bool retried = false;
    bool parsed = ParseHead(ex, retried, log); // step 17 (an invalid head is retried on a new connection)
    if (retried || !parsed)
        return parsed;
    if (!ReadBodyStep(ex, log)) // step 18
        return false;
    if (!DecodeGzip(ex, log)) // step 19
        return false;
    if (!CheckFinalSize(ex, log)) // step 20
        return false;
    CookiesOrCache(ex, log); // step 21
    KeepAlive(ex, log);      // step 22
    int status = result.Header.StatusCode;
    if (redirect::IsFollowedStatus(status)) // step 23
        return FollowRedirect(ex.given, depth, control, body, result, log);
    if (status == 304) // step 24
        return Handle304(ex, log);
    return true; // step 25: every other status; the caller inspects the header
}

// Steps 1-4, on the URL without its fragment (which is never sent). Media extensions are refused only
// when the settings ask for it (a crawler's choice).
bool HttpClient::CheckUrl(Exchange &ex, bool &answered, LogBase &log) {
    ex.result.ConnectionBroken = false;
    ex.result.CacheStatus = 0;
    ex.result.FromCache = false;
    ex.body.Clear();
    // Credentials in the URL never reach a cache key, a log value or a redirect target; the pool has
    // made them the request's login already.
    StringBuffer user, password;
    SplitUrlCredentials(ex.given, ex.bareGiven, user, password);
    ex.given = ex.bareGiven.Text();
    ex.withoutFragment.Clear();
    ex.withoutFragment.Append(redirect::WithoutFragment(ex.given));
    ex.url = ex.withoutFragment.Text();
    LowerUrl(ex.url, ex.lower);
    if (ex.control.RefuseMediaExtensions && IsRefusedExtension(ex.lower.Text())) {
        log.LogError("Does not support URLs with this file extension");
        log.LogData("url", ex.given);
        return false;
    }
    if (ex.lower.Contains("about:blank")) {
        log.LogInfo("Skipping about:blank");
        log.LogData("url", ex.given);
        ex.body.Clear();
        answered = true;
        return true;
    }
    if (static_cast<int64_t>(std::strlen(ex.url)) > ex.control.MaxUrlLen) {
        log.LogError("URL is longer than the maximum allowed length.");
        log.LogDataInt("maxUrlLen", ex.control.MaxUrlLen);
        log.LogData("url", ex.given);
        return false;
    }
    return true;
}

// Step 5.
void HttpClient::LookUpCacheStep(Exchange &ex, bool &answered, LogBase &log) {
    // A redirect served from the ".caf" store is followed like a fresh one.
    auto follow = [this](const char *url, int32_t depth, HttpControl &control, DataBuffer &body,
                         HttpResult &result, LogBase &followLog) {
        return FollowRedirect(url, depth, control, body, result, followLog);
    };
    enginecache::LookUp(ex.url, ex.depth, ex.control, ex.body, ex.result, ex.expired, ex.etag, ex.expiry, log,
                        follow);
    bool fetching = ex.control.CachePolicy.FetchFromCache;
    if (!ex.expired && fetching && ex.result.CacheStatus == 1) {
        ex.result.FromCache = true;
        answered = true;
        return;
    }
    if (ex.expired && fetching && ex.result.CacheStatus == 1) {
        ex.cachedHeader.CopyFrom(ex.result.Header);
        ex.cachedBody.Clear();
        ex.cachedBody.AppendData(ex.body);
        ex.keptCached = true;
        // The network's answer takes the place of the cached one; a 304 brings the copy back.
        ex.body.Clear();
    }
}

// Steps 6-7.
bool HttpClient::SplitUrl(Exchange &ex, LogBase &log) {
    if (!ParseUrl(ex.url, ex.host, ex.port, ex.user, ex.password, ex.path, ex.query, ex.fragment)) {
        log.LogError("Failed to parse URL");
        log.LogData("url", ex.url);
        return false;
    }
    ex.tls = ascii::StartsWithNoCase(ex.url, "https:");
    if (ex.tls && ex.control.ProxyDomain.Length() > 0) {
        log.LogError("Proxies for SSL are not yet supported.");
        return false;
    }
    return true;
}

// Step 8.
bool HttpClient::CheckDnsEntry(Exchange &ex, LogBase &log) {
    if (!enginecache::DnsEntriesActive(ex.control))
        return true;
    enginecache::IsDomainInvalid(ex.control, ex.host.Text(), ex.dnsFound, ex.dnsInvalid);
    if (ex.control.CachePolicy.SkipInvalidDomains && ex.dnsFound && ex.dnsInvalid) {
        log.LogError("Domain name is marked as invalid in the cache.");
        log.LogData("domain", ex.host.Text());
        return false;
    }
    return true;
}

// Step 9: the client's own connection (reuse) or one for this call; the channel for TLS.
void HttpClient::ChooseConnection(Exchange &ex, LogBase &log) {
    ex.framing = ex.reuse ? &m_framing : &ex.localFraming;
    if (ex.tls) {
        ex.channel = ex.reuse ? &m_channel : &ex.localChannel;
        ex.socket = &ex.channel->Socket();
        ChannelByteSource *source = ex.reuse ? &m_channelSource : &ex.localChannelSource;
        source->SetCloseLog(&log);
        source->SetMonitor(ex.control.Progress);
        ex.source = source;
        // The connect and the handshake wait on the socket too: an abort ends them.
        ex.socket->SetAbortMonitor(ex.control.Progress);
        return;
    }
    ex.socket = ex.reuse ? &m_socket : &ex.localSocket;
    ex.socketSource = std::make_unique<SocketByteSource>(*ex.socket, ex.control.Progress);
    ex.source = ex.socketSource.get();
    ex.socket->SetAbortMonitor(ex.control.Progress);
}

// Step 10, sub-steps 1-3: a new connection to the proxy or the server, plain or TLS.
bool HttpClient::OpenConnection(Exchange &ex, bool &lookupFailed, LogBase &log) {
    HttpControl &c = ex.control;
    ex.framing->Reset();
    lookupFailed = false;
    // The connect waits no longer than the exchange's deadline leaves.
    int connectTimeout = c.ConnectTimeout;
    if (m_hasDeadline) {
        int32_t leftMs = static_cast<int32_t>(m_deadlineTick - platform::GetTickCount());
        int left = leftMs <= 1000 ? 1 : (leftMs + 999) / 1000;
        if (connectTimeout <= 0 || left < connectTimeout)
            connectTimeout = left;
    }
    if (ex.tls) {
        // Proxies were refused for TLS requests before (step 7).
        SChannel &ch = *ex.channel;
        ch.SetConnectTimeout(connectTimeout);
        ch.SetDeadline(m_hasDeadline, m_deadlineTick);
        ch.SetRenegotiationLimit(c.MaxContentLength ? c.MaxContentLength : ResponseFraming::kMaxBodyBytes);
        ch.SetReadTimeout(c.ReadTimeout);
        static_cast<ChannelByteSource *>(ex.source)->Reset();
        log.LogData("httpServer", ex.host.Text());
        log.LogDataInt("port", ex.port);
        log.LogInfo("Using HTTPS.");
        ch.SetHost(ex.host.Text());
        ch.SetPort(ex.port);
        ch.SetCaFile(c.TlsCaFile.Text());
        ch.SetRequireVerifiedServer(c.RequireVerifiedServer);
        bool ok = ch.Connect(log);
        lookupFailed = !ok && ch.LookupFailed();
        if (!ok) {
            log.LogError("Failed to connect to HTTP server");
            return false;
        }
        // The handshake leaves its own read time-out; the response is read with the request's.
        ch.SetReadTimeout(c.ReadTimeout);
        return true;
    }
    const serverconnect::Target target = serverconnect::TargetFor(c, ex.host.Text(), ex.port);
    log.LogData(target.viaProxy ? "proxyDomain" : "httpServer", target.host);
    log.LogDataInt("port", target.port);
    const bool ok = serverconnect::Connect(*ex.socket, c, target, connectTimeout, lookupFailed, log);
    if (!ok)
        log.LogError(target.viaProxy ? "Failed to connect to proxy server"
                                     : "Failed to connect to HTTP server");
    return ok;
}

// Steps 9-11, with the start of the exchange's overall deadline.
bool HttpClient::ConnectStep(Exchange &ex, LogBase &log) {
    HttpControl &c = ex.control;
    ChooseConnection(ex, log);
    ex.framing->SetDeadline(m_hasDeadline, m_deadlineTick, m_deadlineSeconds);
    if (DeadlinePassed()) {
        LogDeadline(log);
        return false;
    }

    bool open = ex.reuse &&
                (ex.tls ? ex.channel->IsConnected() && ex.channel->HasContext() : ex.socket->IsConnected());
    if (open && ex.tls && c.RequireVerifiedServer && !ex.channel->ServerVerified()) {
        // A session kept from a request that did not require verification is not this request's.
        log.LogInfo("The kept-alive TLS connection's server is not verified; opening a new one.");
        CloseExchange(ex);
        open = false;
    }
    if (open && !ConnectionStillAlive(ex, log))
        open = false;
    ex.wasOpen = open;
    bool marksActive = enginecache::DnsMarksActive(c);
    if (!open) {
        bool lookupFailed = false;
        if (!OpenConnection(ex, lookupFailed, log)) {
            if (lookupFailed)
                log.LogError(ex.reuse ? "Domain name lookup failed.." : "Domain name lookup failed.");
            if (marksActive) {
                if (lookupFailed)
                    enginecache::MarkDomainInvalid(c, ex.host.Text());
                else if (ex.dnsInvalid)
                    enginecache::MarkDomainValid(c, ex.host.Text());
            }
            CloseExchange(ex);
            return false;
        }
    }
    if (marksActive && ex.dnsInvalid)
        enginecache::MarkDomainValid(c, ex.host.Text());
    if (!open && ex.reuse) {
        const serverconnect::Target target = serverconnect::TargetFor(c, ex.host.Text(), ex.port);
        SetEndpoint(target.host, target.port);
    }
    if (!ex.socket->IsConnected()) {
        log.LogError("Unable to connect to HTTP server.");
        return false;
    }
    if (EndIfDeadlinePassed(ex, log))
        return false;
    return true;
}

// A kept connection is used again only when nothing waits on it: a server that closed it while it was
// idle (or sent bytes no request asked for) gets a new connection instead.
bool HttpClient::ConnectionStillAlive(Exchange &ex, LogBase &log) {
    if (ex.framing->Buffered() == 0) {
        if (ex.tls) {
            LogNull quiet;
            if (ex.channel->IdleAndAlive(quiet))
                return true;
        } else if (ex.socket->IdleAndAlive()) {
            return true;
        }
    }
    log.LogInfo("The kept-alive connection was closed by the server; opening a new one.");
    CloseExchange(ex);
    return false;
}

// Steps 12-13.
bool HttpClient::CheckWritable(Exchange &ex, LogBase &log) {
    if (ex.path.Length() == 0)
        ex.path.SetString("/");
    if (ex.tls) // the writability check is for plain connections only
        return true;
    if (!ex.socket->WaitWritable(1, log)) {
        log.LogError("Socket connection to HTTP server is not writeable.");
        ex.result.ConnectionBroken = true;
        return false;
    }
    return true;
}

// Steps 14-15.
bool HttpClient::SendRequest(Exchange &ex, LogBase &log) {
    HttpControl &c = ex.control;
    const char *query = ex.query.Length() ? ex.query.Text() : nullptr;
    // The login goes only to a server whose certificate verified when the request is over TLS.
    bool withholdLogin = ex.tls && !SecureChannel(ex) && c.Login.Length() > 0 && c.Password.Length() > 0;
    if (withholdLogin)
        log.LogInfo("The login is not sent over a TLS channel whose server is not verified.");
    LoginOverride noLogin(c, withholdLogin);
    StringBuffer request;
    if (c.MimicIE)
        HttpRequestBuilder::BuildMsieRequest(ex.url, ex.host.Text(), ex.port, ex.path.Text(), query, c,
                                             request, log, SecureChannel(ex));
    else if (c.MimicFirefox)
        HttpRequestBuilder::BuildFirefoxRequest(ex.url, ex.host.Text(), ex.port, ex.path.Text(), query, c,
                                                request, log, SecureChannel(ex));
    else {
        CalendarTime expiry;
        bool haveExpiry = ex.expired && ex.expiry != 0;
        if (haveExpiry)
            DateParser().DaysToTime(ex.expiry, expiry);
        HttpRequestBuilder::BuildRequest(ex.url, ex.host.Text(), ex.port, ex.path.Text(), query, c,
                                         ex.expired, ex.etag.Text(), haveExpiry ? &expiry : nullptr, request,
                                         log, SecureChannel(ex));
    }
    ex.carriedCredentials = HttpRequestBuilder::CarriesCredentials(request.View());
    uint32_t length = static_cast<uint32_t>(request.Length());
    bool sent = ex.tls ? ex.channel->SendData(request.Text(), length, log)
                       : ex.socket->SendBytes(request.Text(), length, c.Progress, log);
    if (!sent) {
        ex.result.ConnectionBroken = true;
        CloseExchange(ex);
        return false;
    }
    if (EndIfDeadlinePassed(ex, log))
        return false;
    return true;
}

// Step 16: the head of the final response (interim 1xx heads are passed over by the framing).
bool HttpClient::ReadHead(Exchange &ex, LogBase &log) {
    ResponseFraming::HeadResult r = ex.framing->ReadHead(*ex.source, log);
    if (r == ResponseFraming::HeadResult::Ok)
        return true;
    if (r == ResponseFraming::HeadResult::Invalid) {
        ex.headInvalid = true; // step 17 reports it and retries
        return true;
    }
    CloseExchange(ex);
    log.LogError("Failed to get response header");
    if (r == ResponseFraming::HeadResult::NoResponse && ex.wasOpen) {
        // The kept connection died before any byte of the answer came: the pool retries once on a new one.
        ex.result.ConnectionBroken = true;
        return false;
    }
    if (WantNegativeEntry(ex.control))
        enginecache::StoreNegative(ex.url, ex.control, ex.result, ex.body, log);
    return false;
}

// Step 17. retried is set when the result is that of the repeated request.
bool HttpClient::ParseHead(Exchange &ex, bool &retried, LogBase &log) {
    const ResponseParser &parser = ex.framing->Parser();
    if (!ex.headInvalid) {
        std::string_view head = parser.HeadText();
        StringBuffer text;
        text.Append(head);
        ex.result.Header.Parse(text.Text());
        ex.result.Header.ReceivedHead.Clear();
        ex.result.Header.ReceivedHead.Append(parser.RawHeads());
        if (ex.result.Header.StatusCode != 0)
            return true;
    }
    log.LogError("Invalid response header received");
    // What came: the head bytes the parser took, then those it stopped before.
    std::string raw(parser.RawHeads().substr(0, 500));
    raw.append(ex.framing->Unread().substr(0, 500 - raw.size()));
    StringBuffer received;
    received.Append(raw);
    log.LogData("received", received.Text());
    CloseExchange(ex);
    if (ex.depth >= 5)
        return false;
    if (DeadlinePassed()) {
        LogDeadline(log);
        return false;
    }
    retried = true;
    bool ok = HttpGet(ex.given, ex.depth + 1, false, ex.control, ex.body, ex.result, log);
    if (!ok && WantNegativeEntry(ex.control))
        enginecache::StoreNegative(ex.url, ex.control, ex.result, ex.body, log);
    return ok;
}

// Whether this response is a redirect that will be followed (its body is then not the result).
bool HttpClient::WillFollow(const Exchange &ex) const {
    return redirect::IsFollowedStatus(ex.result.Header.StatusCode) && ex.control.FollowRedirects &&
           ex.result.Header.HasField("Location");
}

// Step 18: every response with a body has it read to its end, so a kept connection starts the next
// response clean.
bool HttpClient::ReadBodyStep(Exchange &ex, LogBase &log) {
    if (ex.framing->ReadBody(*ex.source, ex.control.MaxContentLength, ex.body, log))
        return true;
    // Whatever stopped the body leaves unread bytes behind: the connection is out of step, so it goes.
    CloseExchange(ex);
    if (ex.framing->BodyOverLimit() && WillFollow(ex)) {
        // A redirect's body is not kept: too large to read, it costs only the connection.
        log.LogInfo("The redirect's body is too large to read; the connection is closed instead.");
        ex.body.Clear();
        return true;
    }
    return false;
}

// Step 19: a body starting with the gzip magic is decoded, whatever the head says. A body the head
// announces as gzip must then decode whole; one that does not start with the magic is kept as it is.
bool HttpClient::DecodeGzip(Exchange &ex, LogBase &log) {
    const DataBuffer &body = ex.body;
    if (body.Length() < 2 || body.Data()[0] != 0x1F || body.Data()[1] != 0x8B)
        return true;
    bool announced = false;
    for (const std::string &coding : ex.framing->Parser().TransferCodings())
        announced |= coding == "gzip";
    StringBuffer encoding;
    if (ex.result.Header.GetField("Content-Encoding", encoding)) {
        encoding.ToLower();
        announced |= encoding.Contains("gzip");
    }
    if (body.Length() <= 10 && !announced)
        return true;
    uint32_t limit =
        ex.control.MaxContentLength ? ex.control.MaxContentLength : ResponseFraming::kMaxBodyBytes;
    DataBuffer plain;
    bool overLimit = false;
    bool intact = false;
    bool ok = Gzip().Decompress(ex.body, plain, limit, &overLimit, &intact, log);
    if (overLimit) {
        log.LogError("Content length more than the maximum allowed...");
        log.LogDataInt("maxContentLength", static_cast<int32_t>(limit));
        return false;
    }
    if (announced && !(ok && intact)) {
        log.LogError("The gzip-encoded body is damaged and cannot be decoded.");
        return false;
    }
    if (ok)
        ex.body.TakeOver(&plain);
    return true;
}

// Step 20.
bool HttpClient::CheckFinalSize(Exchange &ex, LogBase &log) {
    uint32_t max = ex.control.MaxContentLength;
    if (max != 0 && ex.body.Length() > max) {
        log.LogError("Content length more than the maximum allowed...");
        log.LogDataInt("maxContentLength", static_cast<int32_t>(max));
        return false;
    }
    return true;
}

// Step 21: cookies to save, or else the cache. The cookies belong to this request's own host (a
// redirect hop's, not the one the pooled connection was first opened for).
void HttpClient::CookiesOrCache(Exchange &ex, LogBase &log) {
    HttpControl &c = ex.control;
    if (c.CookieDir.Length() > 0 && c.SaveCookies && ex.result.Header.HasField("Set-Cookie")) {
        CookieOrigin origin;
        origin.Host = ex.host.Text();
        origin.Path = ex.path.Text();
        origin.Secure = SecureChannel(ex);
        enginecache::SaveResponseCookies(c, ex.framing->Parser().HeadText(), origin, log);
    } else {
        ExchangeTrust trust;
        trust.OverVerifiedTls = SecureChannel(ex);
        trust.CarriedCredentials = ex.carriedCredentials;
        enginecache::UpdateFromResponse(ex.url, c, ex.result, ex.body, trust, log);
    }
}

// Step 22. A connection is kept only when the response was read whole, the head allows it and the
// server neither closed it nor sent more than the response.
void HttpClient::KeepAlive(Exchange &ex, LogBase &log) {
    if (!ex.reuse) {
        CloseExchange(ex);
        return;
    }
    if (ex.framing->Parser().ConnectionClose()) {
        log.LogInfo("Got connection:close header");
        CloseExchange(ex);
        return;
    }
    if (ex.framing->EndedUncleanly())
        log.LogInfo("The TLS session ended without close_notify; the connection is not kept.");
    if (!ex.framing->Reusable())
        CloseExchange(ex);
}

// Step 24: the cached response stays valid; only its expiry is renewed.
bool HttpClient::Handle304(Exchange &ex, LogBase &log) {
    log.LogInfo("Updating cache entry with new expiration.");
    enginecache::RenewEntry(ex.url, ex.control, ex.result.Header, log);
    ex.result.Header.Clear();
    if (ex.keptCached)
        ex.result.Header.CopyFrom(ex.cachedHeader);
    ex.body.Clear();
    ex.body.AppendData(ex.cachedBody);
    ex.result.FromCache = true;
    return true;
}

bool HttpClient::SecureChannel(const Exchange &ex) {
    return ex.tls && ex.channel && ex.channel->ServerVerified();
}

void HttpClient::CloseExchange(Exchange &ex) {
    if (ex.source)
        ex.source->Close();
    else if (ex.socket)
        ex.socket->Close();
    if (ex.framing)
        ex.framing->Reset();
}

// When the exchange's deadline has passed: logs it and closes the exchange.
bool HttpClient::EndIfDeadlinePassed(Exchange &ex, LogBase &log) {
    if (!ex.framing->DeadlinePassed())
        return false;
    ex.framing->LogDeadline(log);
    CloseExchange(ex);
    return true;
}

// Step 23, for 301, 302, 303, 307 and 308. url may carry a fragment, which the target inherits.
bool HttpClient::FollowRedirect(const char *url, int depth, HttpControl &control, DataBuffer &body,
                                HttpResult &result, LogBase &log) {
    StringBuffer location;
    result.Header.GetField("Location", location);
    location.Trim();
    if (location.Length() == 0) {
        // Nothing to follow: the redirect response is the answer.
        log.LogInfo("Got a redirect without a Location; the redirect response is the result.");
        return true;
    }
    StringBuffer shown;
    MaskUrlCredentials(location.Text(), shown);
    log.LogData("redirectUrl", shown.Text());
    // User information in a Location is not taken up: the target is requested without it.
    StringBuffer combined, target, user, password;
    CombineUrl(url, location.Text(), combined);
    if (redirect::IsHttpUrl(combined.View()))
        SplitUrlCredentials(combined.Text(), target, user, password);
    else
        target.SetBuffer(combined);
    bool httpTarget = redirect::IsHttpUrl(target.View());
    if (target.Length() == 0 || (httpTarget && !redirect::HasHost(target.View()))) {
        if (!control.FollowRedirects) {
            log.LogInfo("Failed to construct new URL");
            return true;
        }
        log.LogError("Failed to construct new URL");
        log.LogData("location", shown.Text());
        log.LogData("url", url ? url : "");
        return false;
    }
    result.WasRedirected = true;
    result.FinalUrl.SetString(target.Text());
    if (!control.FollowRedirects)
        return true; // the redirect response's own header and body stay in place
    if (!httpTarget) {
        log.LogError("Not following a redirect to a URL scheme other than http and https.");
        MaskUrlCredentials(target.Text(), shown);
        log.LogData("url", shown.Text());
        return false;
    }
    if (depth >= 4) {
        log.LogError("Aborted to avoid infinite redirects.");
        return false;
    }
    result.Header.Clear();
    body.Clear();
    bool ok;
    {
        redirect::CredentialsWithheld withheld(control, !redirect::SameOrigin(url, target.Text()));
        ok = HttpGet(target.Text(), depth + 1, false, control, body, result, log);
    }
    if (!ok && control.CachePolicy.UpdateCache) {
        StringBuffer requested;
        requested.Append(redirect::WithoutFragment(target.View()));
        enginecache::StoreNegative(requested.Text(), control, result, body, log);
    }
    return ok;
}

void HttpClient::CombineUrl(const char *base, const char *location, StringBuffer &out) {
    redirect::ResolveLocation(base, location, out);
}

} // namespace vantry
