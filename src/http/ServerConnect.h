// The plain TCP connect of an HTTP request, shared by the GET engine and the connection pool: the
// time-outs on the socket, then a connect to the proxy when the control names one, else to
// the server. Each caller logs the attempt in its own words around it.
#pragma once

namespace vantry {

class HttpControl;
class LogBase;
class VantrySocket;

namespace serverconnect {

// Where a plain request connects.
struct Target {
    const char *host;
    int port;
    bool viaProxy;
};

// The proxy of the control when it names one, else the server host and port given.
Target TargetFor(const HttpControl &control, const char *host, int port);

// Gives the socket the control's read time-out and the connect time-out given (seconds: the control's
// own, or less when the exchange's deadline leaves less) and connects it to the target. lookupFailed
// tells a failed name lookup from other failures.
bool Connect(VantrySocket &socket, const HttpControl &control, const Target &target, int connectTimeout,
             bool &lookupFailed, LogBase &log);

} // namespace serverconnect

} // namespace vantry
