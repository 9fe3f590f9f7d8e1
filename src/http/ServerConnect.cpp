// The plain TCP connect shared by HttpClient::OpenConnection and HttpConnPool::ConnectServer.
#include "http/ServerConnect.h"

#include <cstdint>

#include "http/HttpControl.h"
#include "net/VantrySocket.h"

namespace vantry {

namespace serverconnect {

Target TargetFor(const HttpControl &control, const char *host, int port) {
    if (control.ProxyDomain.Length() > 0)
        return Target{control.ProxyDomain.Text(), control.ProxyPort, true};
    return Target{host, port, false};
}

bool Connect(VantrySocket &socket, const HttpControl &control, const Target &target, int connectTimeout,
             bool &lookupFailed, LogBase &log) {
    socket.SetConnectTimeout(connectTimeout);
    socket.SetReadTimeout(static_cast<uint32_t>(control.ReadTimeout) * 1000u);
    return socket.Connect(target.host, target.port, lookupFailed, log);
}

} // namespace serverconnect

} // namespace vantry
