// HttpConnPool: a bounded most-recently-used list of HttpClient objects, one per endpoint, each keeping
// one keep-alive connection; a fetch reconnects and retries once when the kept connection was dropped.
#pragma once
#include <cstdint>

#include "core/ExtPtrArray.h"

namespace vantry {

class BodySink;
class DataBuffer;
class HttpClient;
class HttpControl;
class HttpResult;
class LogBase;
class VantrySocket;

class HttpConnPool {
public:
    HttpConnPool();
    virtual ~HttpConnPool();
    HttpConnPool(const HttpConnPool &) = delete;
    HttpConnPool &operator=(const HttpConnPool &) = delete;

    // 0 means no limit. Set it before the first fetch: a lower limit evicts nothing by itself.
    void SetMaxConnections(int limit) { m_limit = limit; }
    int MaxConnections() const { return m_limit; }

    // Fetches the URL on the endpoint's client; the body goes to body as it arrives.
    bool Fetch(const char *url, HttpControl &control, BodySink &body, HttpResult &result, LogBase &log);
    // The same into memory (body cleared first).
    bool Fetch(const char *url, HttpControl &control, DataBuffer &body, HttpResult &result, LogBase &log);
    HttpClient *FindClient(const char *host, int port, HttpControl &control, LogBase &log);
    bool GetWithReconnect(HttpClient &client, const char *url, HttpControl &control, BodySink &body,
                          HttpResult &result, LogBase &log);
    bool GetWithReconnect(HttpClient &client, const char *url, HttpControl &control, DataBuffer &body,
                          HttpResult &result, LogBase &log);
    bool OpenConnection(HttpClient &client, HttpControl &control, const char *host, int port, LogBase &log);
    void CloseConnection(HttpClient &client);
    bool ConnectServer(HttpClient &client, HttpControl &control, VantrySocket &socket, const char *host,
                       int port, LogBase &log);

    // The clients, least recently used first.
    int ClientCount() const;
    HttpClient *ClientAt(int index) const;

private:
    int m_limit = 10;
    ExtPtrArray m_clients;
};

} // namespace vantry
