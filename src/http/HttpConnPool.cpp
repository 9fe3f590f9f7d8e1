// HttpConnPool: the client list (least recently used first), the fetch with one reconnect after a
// dropped keep-alive connection, and the connection helpers with their DNS-entry marks.
#include "http/HttpConnPool.h"

#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "http/DataBufferSink.h"
#include "http/EngineCacheSeam.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "http/LoginOverride.h"
#include "http/ServerConnect.h"
#include "net/VantrySocket.h"
#include "url/UrlCredentials.h"
#include "url/UrlUtil.h"

namespace vantry {

HttpConnPool::HttpConnPool() = default;

HttpConnPool::~HttpConnPool() {
    m_clients.RemoveAllAndDelete();
}

int HttpConnPool::ClientCount() const {
    return m_clients.Count();
}

HttpClient *HttpConnPool::ClientAt(int index) const {
    return m_clients.ElementAs<HttpClient>(index);
}

bool HttpConnPool::Fetch(const char *url, HttpControl &control, DataBuffer &body, HttpResult &result,
                         LogBase &log) {
    body.Clear();
    DataBufferSink sink(body);
    return Fetch(url, control, sink, result, log);
}

bool HttpConnPool::Fetch(const char *url, HttpControl &control, BodySink &body, HttpResult &result,
                         LogBase &log) {
    // The URL's own credentials are taken out of it: they never reach a cache key or a log value.
    StringBuffer bare, urlUser, urlPassword;
    SplitUrlCredentials(url, bare, urlUser, urlPassword);
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    if (!url || !ParseUrl(bare.Text(), host, port, user, password, path, query, fragment)) {
        StringBuffer masked;
        MaskUrlCredentials(url, masked);
        log.LogError("Failed to parse URL");
        log.LogData("url", masked.Text());
        return false;
    }
    // They are this request's login alone: a later request, to this host or another, does not get them,
    // and the engine keeps them from redirects to other origins.
    LoginOverride urlLogin(control, urlUser.Length() > 0 && urlPassword.Length() > 0, urlUser.Text(),
                           urlPassword.Text());
    HttpClient *client = FindClient(host.Text(), port, control, log);
    return GetWithReconnect(*client, bare.Text(), control, body, result, log);
}

HttpClient *HttpConnPool::FindClient(const char *host, int port, HttpControl &control, LogBase &) {
    bool proxy = control.ProxyDomain.Length() > 0;
    const char *wantHost = proxy ? control.ProxyDomain.Text() : (host ? host : "");
    int wantPort = proxy ? control.ProxyPort : port;
    bool wantVerified = control.RequireVerifiedServer;
    for (int32_t i = 0; i < m_clients.Count();) {
        HttpClient *client = m_clients.ElementAs<HttpClient>(i);
        if (!client) {
            m_clients.DiscardAt(i);
            continue;
        }
        if (client->Port() == wantPort && client->Host().EqualsNoCase(wantHost) &&
            client->RequiresVerifiedServer() == wantVerified) {
            if (m_limit != 0) {
                m_clients.RemoveAt(i);
                m_clients.Append(client);
            }
            return client;
        }
        ++i;
    }
    if (m_limit != 0 && m_clients.Count() == m_limit)
        delete m_clients.RemoveAt(0);
    auto *client = new HttpClient();
    // The endpoint is known before the first connection, so a second fetch finds this client.
    client->SetEndpoint(wantHost, wantPort);
    client->SetRequiresVerifiedServer(wantVerified);
    m_clients.Append(client);
    return client;
}

bool HttpConnPool::GetWithReconnect(HttpClient &client, const char *url, HttpControl &control,
                                    DataBuffer &body, HttpResult &result, LogBase &log) {
    body.Clear();
    DataBufferSink sink(body);
    return GetWithReconnect(client, url, control, sink, result, log);
}

bool HttpConnPool::GetWithReconnect(HttpClient &client, const char *url, HttpControl &control, BodySink &body,
                                    HttpResult &result, LogBase &log) {
    // One deadline for both attempts.
    HttpClient::CallScope scope(client, control);
    result.Reset();
    bool ok = client.HttpGet(url, 0, true, control, body, result, log);
    if (ok || !result.ConnectionBroken)
        return ok;
    log.LogError("Socket not writeable, re-opening connection with HTTP server");
    StringBuffer host(client.Host());
    CloseConnection(client);
    // A TLS connection is opened by the GET itself (its handshake belongs to the channel).
    StringBuffer lower(url ? url : "");
    lower.ToLower();
    bool tls = lower.BeginsWith("https:");
    if (!tls && !OpenConnection(client, control, host.Text(), client.Port(), log))
        return false;
    log.LogError("New connection established, re-trying GET");
    return client.HttpGet(url, 0, true, control, body, result, log);
}

void HttpConnPool::CloseConnection(HttpClient &client) {
    client.CloseConnections();
    client.ClearHost();
}

bool HttpConnPool::OpenConnection(HttpClient &client, HttpControl &control, const char *host, int port,
                                  LogBase &log) {
    if (!host || !*host) {
        log.LogError("hostname is NULL");
        return false;
    }
    log.LogData("OpenConnection", host);
    client.Socket().Close();
    client.Framing().Reset();
    return ConnectServer(client, control, client.Socket(), host, port, log);
}

bool HttpConnPool::ConnectServer(HttpClient &client, HttpControl &control, VantrySocket &socket,
                                 const char *host, int port, LogBase &log) {
    if (!host || !*host)
        return false;
    if (port == 0)
        port = 80;
    client.SetEndpoint(host, port);
    const serverconnect::Target target = serverconnect::TargetFor(control, host, port);
    log.LogInfo(target.viaProxy ? "Connecting via proxy..." : "Connecting to HTTP server...");
    StringBuffer to(target.host);
    to.AppendChar(':');
    to.AppendInt(target.port);
    log.LogData("ConnectingTo", to.Text());
    bool lookupFailed = false;
    const bool ok =
        serverconnect::Connect(socket, control, target, control.ConnectTimeout, lookupFailed, log);
    bool marks = enginecache::DnsMarksActive(control);
    if (ok) {
        if (marks)
            enginecache::MarkDomainValid(control, host);
        return true;
    }
    if (marks) {
        if (lookupFailed)
            enginecache::MarkDomainInvalid(control, host);
        else
            enginecache::MarkDomainValid(control, host);
    }
    socket.Close();
    return false;
}

} // namespace vantry
