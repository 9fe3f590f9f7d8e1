// HttpClient: one connection's worth of state (the endpoint of its keep-alive connection, the socket) and
// the GET engine that performs one request over it, with redirects, decoding and the cache steps.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/VantryObject.h"
#include "http/ChannelByteSource.h"
#include "http/ResponseFraming.h"
#include "net/SChannel.h"
#include "net/VantrySocket.h"

namespace vantry {

class BodySink;
class HttpControl;
class HttpResult;
class HttpResponseHeader;
class LogBase;

class HttpClient : public VantryObject {
public:
    HttpClient();
    ~HttpClient() override;
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // One request (GET, or HEAD when the control says so). depth counts redirects and retries already
    // made; reuse selects the client's own keep-alive connection (true) or one that lives only for this
    // call (false). The body of the response that is the result goes to body as it arrives (a followed
    // redirect's never does).
    bool HttpGet(const char *url, int depth, bool reuse, HttpControl &control, BodySink &body,
                 HttpResult &result, LogBase &log);
    // The same into memory: body is cleared on entry and holds the body after.
    bool HttpGet(const char *url, int depth, bool reuse, HttpControl &control, DataBuffer &body,
                 HttpResult &result, LogBase &log);
    // Handles a 301, 302, 303, 307 or 308 whose header is in result.Header: a new GET of the Location's
    // target (http and https only), or the response itself when it has no Location.
    bool FollowRedirect(const char *url, int depth, HttpControl &control, BodySink &body, HttpResult &result,
                        LogBase &log);
    bool FollowRedirect(const char *url, int depth, HttpControl &control, DataBuffer &body,
                        HttpResult &result, LogBase &log);
    // The absolute redirect target: the Location resolved against base as RFC 3986 section 5 says, with
    // the bytes a URI cannot hold percent-encoded; empty when base is not an absolute URL.
    static void CombineUrl(const char *base, const char *location, StringBuffer &out);
    // Whether the lowercased URL ends in one of the media extensions a crawler refuses.
    static bool IsRefusedExtension(const char *lowercasedUrl);

    // The time frame of one call: the outermost scope on a client starts the MaxExchangeSeconds deadline,
    // which every nested GET (redirects, retries) and the pool's retry share.
    class CallScope {
    public:
        CallScope(HttpClient &client, const HttpControl &control);
        ~CallScope();
        CallScope(const CallScope &) = delete;
        CallScope &operator=(const CallScope &) = delete;

    private:
        HttpClient &m_client;
    };

    // The endpoint the keep-alive connection was opened for (empty host: none), and its socket.
    const StringBuffer &Host() const { return m_host; }
    int Port() const { return m_port; }
    void SetEndpoint(const char *host, int port);
    void ClearHost() { m_host.Clear(); }
    // The RequireVerifiedServer setting the pool made this client for: part of its key, so that a
    // connection opened without verification never serves a request that requires it.
    void SetRequiresVerifiedServer(bool on) { m_requiresVerified = on; }
    bool RequiresVerifiedServer() const { return m_requiresVerified; }
    VantrySocket &Socket() { return m_socket; }
    SChannel &Channel() { return m_channel; }
    // Closes the keep-alive connection, plain or TLS (close_notify first).
    void CloseConnections();
    // Read-ahead state of the keep-alive connection; forgotten whenever the connection is (re)opened.
    ResponseFraming &Framing() { return m_framing; }

private:
    struct Exchange; // the state of one HttpGet call, passed from step to step
    bool CheckUrl(Exchange &ex, bool &answered, LogBase &log);
    bool LookUpCacheStep(Exchange &ex, bool &answered, LogBase &log);
    bool SplitUrl(Exchange &ex, LogBase &log);
    bool CheckDnsEntry(Exchange &ex, LogBase &log);
    bool ConnectStep(Exchange &ex, LogBase &log);
    void ChooseConnection(Exchange &ex, LogBase &log);
    bool OpenConnection(Exchange &ex, bool &lookupFailed, LogBase &log);
    bool CheckWritable(Exchange &ex, LogBase &log);
    bool SendRequest(Exchange &ex, LogBase &log);
    bool ConnectionStillAlive(Exchange &ex, LogBase &log);
    bool ReadHead(Exchange &ex, LogBase &log);
    bool ParseHead(Exchange &ex, bool &retried, LogBase &log);
    bool WillFollow(const Exchange &ex) const;
    bool DeadlinePassed() const;
    void LogDeadline(LogBase &log) const;
    bool ReadBodyStep(Exchange &ex, LogBase &log);
    bool DiscardRedirectBody(Exchange &ex, LogBase &log);
    static bool DeliverWhole(Exchange &ex, const HttpResponseHeader &head, const DataBuffer &body,
                             LogBase &log);
    void CookiesOrCache(Exchange &ex, LogBase &log);
    void KeepAlive(Exchange &ex, LogBase &log);
    bool Handle304(Exchange &ex, LogBase &log);
    void CloseExchange(Exchange &ex);
    // The exchange goes over TLS to a server whose certificate verified: Secure cookies may travel.
    static bool SecureChannel(const Exchange &ex);
    bool EndIfDeadlinePassed(Exchange &ex, LogBase &log);

    StringBuffer m_host;
    int m_port = 80;
    bool m_requiresVerified = true;
    VantrySocket m_socket;
    SChannel m_channel;
    ChannelByteSource m_channelSource{m_channel};
    ResponseFraming m_framing;
    // The deadline of the call in progress (see CallScope).
    int m_callNesting = 0;
    bool m_hasDeadline = false;
    uint32_t m_deadlineTick = 0;
    int m_deadlineSeconds = 0;
};

} // namespace vantry
