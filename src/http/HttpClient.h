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

    // One GET. depth counts redirects and retries already made; reuse selects the client's own keep-alive
    // connection (true) or one that lives only for this call (false). body is cleared on entry.
    bool HttpGet(const char *url, int depth, bool reuse, HttpControl &control, DataBuffer &body,
                 HttpResult &result, LogBase &log);
    // Handles a 301/302 whose header is in result.Header.
    bool FollowRedirect(const char *url, int depth, HttpControl &control, DataBuffer &body,
                        HttpResult &result, LogBase &log);
    // The absolute redirect target: an absolute location as it stands, a relative one resolved against base.
    static void CombineUrl(const char *base, const char *location, StringBuffer &out);
    // Whether the lowercased URL ends in one of the refused media extensions.
    static bool IsRefusedExtension(const char *lowercasedUrl);

    // Reads the body that follows the head in result.Header from a plain socket.
    bool ReadBody(HttpControl &control, HttpResult &result, DataBuffer &body, VantrySocket &socket,
                  LogBase &log);

    // Reads the body that follows the head from the TLS channel, through the same framing as ReadBody.
    bool ReadBodyTls(HttpControl &control, HttpResult &result, DataBuffer &body, SChannel &channel,
                     LogBase &log);
    // Reads a chunked body from the TLS channel; extra are decrypted bytes received after the head.
    bool ReadChunkedTls(const uint8_t *extra, uint32_t count, HttpControl &control, SChannel &channel,
                        DataBuffer &body, LogBase &log);

    // The endpoint the keep-alive connection was opened for (empty host: none), and its socket.
    const StringBuffer &Host() const { return m_host; }
    int Port() const { return m_port; }
    void SetEndpoint(const char *host, int port);
    void ClearHost() { m_host.Clear(); }
    VantrySocket &Socket() { return m_socket; }
    SChannel &Channel() { return m_channel; }
    // Closes the keep-alive connection, plain or TLS (close_notify first).
    void CloseConnections();
    // Read-ahead state of the keep-alive connection; forgotten whenever the connection is (re)opened.
    ResponseFraming &Framing() { return m_framing; }

private:
    struct Exchange; // the state of one HttpGet call, passed from step to step
    bool CheckUrl(Exchange &ex, bool &answered, LogBase &log);
    void LookUpCacheStep(Exchange &ex, bool &answered, LogBase &log);
    bool SplitUrl(Exchange &ex, LogBase &log);
    bool CheckDnsEntry(Exchange &ex, LogBase &log);
    bool ConnectStep(Exchange &ex, LogBase &log);
    void ChooseConnection(Exchange &ex, LogBase &log);
    bool OpenConnection(Exchange &ex, bool &lookupFailed, LogBase &log);
    bool CheckWritable(Exchange &ex, LogBase &log);
    bool SendRequest(Exchange &ex, LogBase &log);
    bool ReadHead(Exchange &ex, LogBase &log);
    bool ParseHead(Exchange &ex, bool &retried, LogBase &log);
    bool ReadBodyStep(Exchange &ex, LogBase &log);
    bool DecodeGzip(Exchange &ex, LogBase &log);
    bool CheckFinalSize(Exchange &ex, LogBase &log);
    void CookiesOrCache(Exchange &ex, LogBase &log);
    void KeepAlive(Exchange &ex, LogBase &log);
    bool Handle304(Exchange &ex, LogBase &log);
    void CloseExchange(Exchange &ex);
    bool DeadlinePassed(Exchange &ex, LogBase &log);

    StringBuffer m_host;
    int m_port = 80;
    VantrySocket m_socket;
    SChannel m_channel;
    ChannelByteSource m_channelSource{m_channel};
    ResponseFraming m_framing;
};

} // namespace vantry
