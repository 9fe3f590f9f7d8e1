// HttpClient: the GET engine. HttpGet runs the steps of one request in their fixed order, each a
// helper below; redirects and the retry after an invalid head are nested calls on one-shot connections.
#include "http/HttpClient.h"

#include <cstring>

#include "core/AsciiText.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "http/BodyPipe.h"
#include "http/DataBufferSink.h"
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

namespace {

// A sink that drops the body: a followed redirect's, or a restored 304's (which has none of its own).
class DiscardSink : public BodySink {
public:
    bool Write(const uint8_t *, size_t) override { return true; }
};

} // namespace

// Everything one HttpGet call carries from step to step.
struct HttpClient::Exchange {
    Exchange(const char *u, int d, bool r, HttpControl &c, BodySink &b, HttpResult &res)
        : given(u ? u : ""), url(given), depth(d), reuse(r), control(c), sink(b), result(res) {}

    const char *given; // the URL as the caller gave it, without user information; a redirect target
                       // inherits its fragment
    const char *url;   // the URL without its fragment: what is requested, cached and refused
    StringBuffer bareGiven, withoutFragment;
    int depth;
    bool reuse;
    HttpControl &control;
    BodySink &sink;
    HttpResult &result;
    bool head = false; // a HEAD request: no body, and the cache is neither read nor written

    StringBuffer lower; // the URL lowercased for the extension and about:blank tests
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    bool tls = false;

    // Step 5: what the cache holds for the URL; an expired entry, its validators, and the copies restored
    // on a 304.
    DataBuffer looked;
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

    std::unique_ptr<BodyPipe> pipe; // the body's way to the sink (decoding, limit, cache copy)
    DiscardSink nowhere;
};

static_assert(ResponseFraming::kMaxBodyBytes == VantrySocket::kMaxReceiveCount,
              "bodies without a configured limit are bounded by the socket's largest counted receive");
static_assert(DataBufferSink::kDefaultCeiling == ResponseFraming::kMaxBodyBytes,
              "a body held in memory has the ceiling of the framing's in-memory road");

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

// Whether the store the settings choose has a root, so a response could be kept.
bool CacheStoreActive(const HttpControl &control) {
    return control.UseHttpCache ? control.HttpStore.NumRoots() > 0 : control.CacheStore.NumRoots() > 0;
}

const char *const kSinkStopped = "The receiver of the response body stopped the transfer.";

// Passes everything on to another sink and tells whether any body byte went through.
class WatchedSink : public BodySink {
public:
    explicit WatchedSink(BodySink &to) : m_to(to) {}
    bool Head(const HttpResponseHeader &head) override { return m_to.Head(head); }
    bool Write(const uint8_t *bytes, size_t count) override {
        m_wrote |= count > 0;
        return m_to.Write(bytes, count);
    }
    void Progress(uint64_t received, int64_t expected) override { m_to.Progress(received, expected); }
    uint64_t Ceiling() const override { return m_to.Ceiling(); }
    const DataBuffer *Held() const override { return m_to.Held(); }
    bool Restart() override { return m_to.Restart(); }
    bool Wrote() const { return m_wrote; }

private:
    BodySink &m_to;
    bool m_wrote = false;
};

// The largest body accepted: the setting, or the sink's own ceiling when that is lower.
uint64_t BodyLimit(const HttpControl &control, const BodySink &sink) {
    uint64_t limit = control.MaxContentLength;
    uint64_t ceiling = sink.Ceiling();
    if (ceiling != 0 && (limit == 0 || ceiling < limit))
        limit = ceiling;
    return limit;
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
    body.Clear();
    DataBufferSink sink(body);
    return HttpGet(url, depth, reuse, control, sink, result, log);
}

bool HttpClient::HttpGet(const char *url, int depth, bool reuse, HttpControl &control, BodySink &body,
                         HttpResult &result, LogBase &log) {
    CallScope scope(*this, control);
    Exchange ex(url, depth, reuse, control, body, result);
    ex.head = control.Method == HttpMethod::Head;
    bool answered = false;
    if (!CheckUrl(ex, answered, log)) // steps 1-4: extension, about:blank, length
        return false;
    if (answered)
        return true;
    if (!LookUpCacheStep(ex, answered, log)) // step 5
        return false;
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
    if (!ReadBodyStep(ex, log)) // steps 18-20: the body to the sink, gzip decoded, within the limit
        return false;
    CookiesOrCache(ex, log); // step 21
    KeepAlive(ex, log);      // step 22
    int status = result.Header.StatusCode;
    if (redirect::IsFollowedStatus(status)) // step 23
        return FollowRedirect(ex.given, depth, control, ex.sink, result, log);
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

// Step 5. A HEAD request neither reads nor writes the cache.
bool HttpClient::LookUpCacheStep(Exchange &ex, bool &answered, LogBase &log) {
    if (ex.head)
        return true;
    // A redirect served from the ".caf" store is followed like a fresh one, its target's body going to
    // the caller's sink.
    bool followed = false;
    bool followBroken = false;
    auto follow = [this, &ex, &followed, &followBroken](const char *url, int32_t depth, HttpControl &control,
                                                        DataBuffer &, HttpResult &result,
                                                        LogBase &followLog) {
        followed = true;
        WatchedSink watched(ex.sink);
        bool ok = FollowRedirect(url, depth, control, watched, result, followLog);
        // The request goes to the network instead, unless part of a body has gone where it cannot be
        // taken back.
        if (!ok && watched.Wrote() && !ex.sink.Restart())
            followBroken = true;
        return ok;
    };
    enginecache::LookUp(ex.url, ex.depth, ex.control, ex.looked, ex.result, ex.expired, ex.etag, ex.expiry,
                        log, follow);
    if (followBroken) {
        log.LogError("The cached redirect's target failed after part of its body was delivered.");
        return false;
    }
    bool fetching = ex.control.CachePolicy.FetchFromCache;
    if (!ex.expired && fetching && ex.result.CacheStatus == 1) {
        ex.result.FromCache = true;
        answered = true;
        if (followed) // the followed target's response is the result, already delivered
            return true;
        ex.result.EffectiveUrl.SetString(ex.url);
        return DeliverWhole(ex, ex.result.Header, ex.looked, log);
    }
    if (ex.expired && fetching && ex.result.CacheStatus == 1) {
        // The network's answer takes the place of the cached one; a 304 brings the copy back.
        ex.cachedHeader.CopyFrom(ex.result.Header);
        ex.cachedBody.TakeOver(&ex.looked);
        ex.keptCached = true;
    }
    return true;
}

// A response held whole (from the cache) handed to the sink.
bool HttpClient::DeliverWhole(Exchange &ex, const HttpResponseHeader &head, const DataBuffer &body,
                              LogBase &log) {
    BodySink &sink = ex.sink;
    if (!sink.Head(head)) {
        log.LogError(kSinkStopped);
        return false;
    }
    sink.Progress(0, body.Length());
    if (body.Length() > 0 && !sink.Write(body.Data(), body.Length())) {
        log.LogError(kSinkStopped);
        return false;
    }
    sink.Progress(body.Length(), body.Length());
    return true;
}

// Steps 6-7.
bool HttpClient::SplitUrl(Exchange &ex, LogBase &log) {
    if (!ParseUrl(ex.url, ex.host, ex.port, ex.user, ex.password, ex.path, ex.query, ex.fragment)) {
        log.LogError("Failed to parse URL");
        log.LogData("url", ex.url);
        return false;
    }
    ex.tls = ascii::StartsWithNoCase(ex.url, "https:"); // through a proxy: a CONNECT tunnel
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
        SChannel &ch = *ex.channel;
        ch.SetConnectTimeout(connectTimeout);
        ch.SetDeadline(m_hasDeadline, m_deadlineTick);
        // Data held while a renegotiation runs stays in memory: the in-memory ceiling bounds it too.
        uint64_t held = c.MaxContentLength ? c.MaxContentLength : ResponseFraming::kMaxBodyBytes;
        ch.SetRenegotiationLimit(static_cast<uint32_t>(
            held < ResponseFraming::kMaxBodyBytes ? held : ResponseFraming::kMaxBodyBytes));
        if (c.ProxyDomain.Length() > 0) {
            log.LogData("proxyDomain", c.ProxyDomain.Text());
            log.LogDataInt("proxyPort", c.ProxyPort);
            ch.SetProxy(c.ProxyDomain.Text(), c.ProxyPort);
        } else {
            ch.UseProxy(false);
        }
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
            // Through a proxy the server's name is looked up by the proxy: a failed lookup is the proxy's.
            log.LogError(lookupFailed && c.ProxyDomain.Length() > 0 ? "Failed to connect to proxy server"
                                                                    : "Failed to connect to HTTP server");
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
    // Through a proxy, one kept TLS tunnel leads to one server only.
    if (open && ex.tls && c.ProxyDomain.Length() > 0 &&
        (!ex.channel->Host().EqualsNoCase(ex.host.Text()) || ex.channel->Port() != ex.port)) {
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
    ResponseFraming::HeadResult r = ex.framing->ReadHead(*ex.source, log, ex.head);
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
        enginecache::StoreNegative(ex.url, ex.control, ex.result, DataBuffer(), log);
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
        if (ex.result.Header.StatusCode != 0) {
            ex.result.EffectiveUrl.SetString(ex.url);
            return true;
        }
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
    bool ok = HttpGet(ex.given, ex.depth + 1, false, ex.control, ex.sink, ex.result, log);
    if (!ok && WantNegativeEntry(ex.control))
        enginecache::StoreNegative(ex.url, ex.control, ex.result, DataBuffer(), log);
    return ok;
}

// Whether this response is a redirect that will be followed (its body is then not the result).
bool HttpClient::WillFollow(const Exchange &ex) const {
    if (!redirect::IsFollowedStatus(ex.result.Header.StatusCode) || !ex.control.FollowRedirects)
        return false;
    StringBuffer location;
    ex.result.Header.GetField("Location", location);
    location.Trim();
    return location.Length() > 0;
}

// Steps 18-20: every response with a body has it read to its end, so a kept connection starts the next
// response clean. The body of the response that is the result goes through the pipe to the caller's
// sink (gzip decoded on the way, the decoded size held to the limit); a followed redirect's is dropped.
bool HttpClient::ReadBodyStep(Exchange &ex, LogBase &log) {
    if (WillFollow(ex))
        return DiscardRedirectBody(ex, log);
    const ResponseParser &parser = ex.framing->Parser();
    const bool restored = ex.result.Header.StatusCode == 304 && ex.keptCached; // delivered by step 24
    if (!restored && !ex.sink.Head(ex.result.Header)) {
        log.LogError(kSinkStopped);
        CloseExchange(ex);
        return false;
    }
    BodyPipe::Settings settings;
    settings.limit = BodyLimit(ex.control, ex.sink);
    if (parser.GetFraming() == ResponseParser::Framing::Length)
        settings.expected = static_cast<int64_t>(parser.ContentLength());
    else if (parser.GetFraming() == ResponseParser::Framing::None)
        settings.expected = 0;
    for (const std::string &coding : parser.TransferCodings())
        settings.gzipAnnounced |= coding == "gzip" || coding == "x-gzip";
    StringBuffer encoding;
    if (ex.result.Header.GetField("Content-Encoding", encoding)) {
        encoding.ToLower();
        settings.gzipAnnounced |= encoding.Contains("gzip");
    }
    settings.gzipByMagic = ex.control.DecodeGzipByMagic;
    settings.copyForCache = !ex.head && CacheStoreActive(ex.control);
    ex.pipe = std::make_unique<BodyPipe>(restored ? ex.nowhere : ex.sink, settings, log);
    ex.pipe->Begin();
    if (ex.framing->ReadBody(*ex.source, settings.limit, *ex.pipe, log)) {
        if (ex.pipe->Finish())
            return true;
    } else {
        ex.pipe->Cut();
    }
    // Whatever stopped the body leaves unread bytes behind: the connection is out of step, so it goes.
    CloseExchange(ex);
    return false;
}

// A followed redirect's body is read to its end and dropped, within the same limit as any body held in
// memory; one too large costs only the connection.
bool HttpClient::DiscardRedirectBody(Exchange &ex, LogBase &log) {
    DiscardSink drop;
    uint64_t limit = ex.control.MaxContentLength;
    if (limit == 0 || limit > ResponseFraming::kMaxBodyBytes)
        limit = ResponseFraming::kMaxBodyBytes;
    if (ex.framing->ReadBody(*ex.source, limit, drop, log))
        return true;
    CloseExchange(ex);
    if (ex.framing->BodyOverLimit()) {
        log.LogInfo("The redirect's body is too large to read; the connection is closed instead.");
        return true;
    }
    return false;
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
    } else if (!ex.head && CacheStoreActive(c)) {
        // Only the response that is the result has its body; a followed redirect is kept without one.
        const DataBuffer *body = ex.pipe ? ex.pipe->BodyForCache() : nullptr;
        if (ex.pipe && !body) {
            log.LogInfo("The body is too large to keep in the cache.");
            return;
        }
        DataBuffer none;
        ExchangeTrust trust;
        trust.OverVerifiedTls = SecureChannel(ex);
        trust.CarriedCredentials = ex.carriedCredentials;
        enginecache::UpdateFromResponse(ex.url, c, ex.result, body ? *body : none, trust, log);
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
    ex.result.FromCache = true;
    if (!ex.keptCached)
        return true;
    ex.result.Header.CopyFrom(ex.cachedHeader);
    return DeliverWhole(ex, ex.result.Header, ex.cachedBody, log);
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
    DataBufferSink sink(body);
    return FollowRedirect(url, depth, control, sink, result, log);
}

bool HttpClient::FollowRedirect(const char *url, int depth, HttpControl &control, BodySink &body,
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
    if (depth >= control.MaxRedirects) {
        log.LogError("Aborted to avoid infinite redirects.");
        log.LogDataInt("maxRedirects", control.MaxRedirects);
        return false;
    }
    result.Header.Clear();
    body.Restart(); // a body held in memory is the redirect's own until the target's replaces it
    bool ok;
    {
        redirect::CredentialsWithheld withheld(control, !redirect::SameOrigin(url, target.Text()));
        ok = HttpGet(target.Text(), depth + 1, false, control, body, result, log);
    }
    if (!ok && control.CachePolicy.UpdateCache) {
        StringBuffer requested;
        requested.Append(redirect::WithoutFragment(target.View()));
        enginecache::StoreNegative(requested.Text(), control, result, DataBuffer(), log);
    }
    return ok;
}

void HttpClient::CombineUrl(const char *base, const char *location, StringBuffer &out) {
    redirect::ResolveLocation(base, location, out);
}

} // namespace vantry
