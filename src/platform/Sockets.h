// POSIX layer for TCP sockets: the only code that calls socket/connect/poll/send/recv/shutdown/close
// on sockets. Failures come back as the Winsock codes the network layer logs its texts for.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

namespace platform {

using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

// Winsock codes the network layer's tables know (and a few of their twins).
namespace wsa {
constexpr int kWouldBlock = 10035;      // WSAEWOULDBLOCK (also EINPROGRESS on a non-blocking connect)
constexpr int kInProgress = 10036;      // WSAEINPROGRESS
constexpr int kAlready = 10037;         // WSAEALREADY
constexpr int kNotSocket = 10038;       // WSAENOTSOCK
constexpr int kProtoType = 10041;       // WSAEPROTOTYPE
constexpr int kProtoNoSupport = 10043;  // WSAEPROTONOSUPPORT
constexpr int kSocketNoSupport = 10044; // WSAESOCKTNOSUPPORT
constexpr int kAfNoSupport = 10047;     // WSAEAFNOSUPPORT
constexpr int kNetDown = 10050;         // WSAENETDOWN
constexpr int kNetUnreach = 10051;      // WSAENETUNREACH
constexpr int kConnAborted = 10053;     // WSAECONNABORTED
constexpr int kConnReset = 10054;       // WSAECONNRESET
constexpr int kNoBufs = 10055;          // WSAENOBUFS
constexpr int kIsConn = 10056;          // WSAEISCONN
constexpr int kNotConn = 10057;         // WSAENOTCONN
constexpr int kTimedOut = 10060;        // WSAETIMEDOUT
constexpr int kConnRefused = 10061;     // WSAECONNREFUSED
constexpr int kHostUnreach = 10065;     // WSAEHOSTUNREACH
constexpr int kMFile = 10024;           // WSAEMFILE
constexpr int kNotInitialised = 10093;  // WSANOTINITIALISED
constexpr int kUnknown = 10000;         // no Winsock twin; logged as an unknown socket error
} // namespace wsa

// The Winsock code for an errno value (0 stays 0).
int WinsockCodeFromErrno(int err);

// A failed call leaves its errno and mapped code here, per thread, like WSAGetLastError.
int LastSocketError(); // the Winsock code
int LastSocketErrno(); // the errno it came from

// The once-per-process start-up of the socket library: 0, or the Winsock start-up code of its failure.
// BSD sockets need none, so it always succeeds.
int StartSockets();

// An IPv4 stream socket (close-on-exec). kInvalidSocket on failure.
SocketHandle CreateTcpSocket();
bool SetNonBlocking(SocketHandle s, bool on);
// Connects to the IPv4 address (network byte order) and port (host order). 0, or the Winsock code.
int ConnectIPv4(SocketHandle s, uint32_t addressNetOrder, uint16_t port);
// The pending error of a connect that turned writable (SO_ERROR), as a Winsock code; 0 when none.
int PendingConnectError(SocketHandle s);

// One readiness wait: -1 on an error of the wait itself (or an invalid handle), 0 on time-out,
// 1 when ready (for reading: data, end of stream or an error to collect; for writing: writable or failed).
int WaitReadable(SocketHandle s, uint32_t timeoutMs);
int WaitWritable(SocketHandle s, uint32_t timeoutMs);

// Sends without raising SIGPIPE. Bytes sent, or -1 with the last error set.
long SendSome(SocketHandle s, const void *data, size_t count);
// Bytes received, 0 at the peer's close, or -1 with the last error set.
long ReceiveSome(SocketHandle s, void *dest, size_t count);

// For an idle connection: true when nothing is waiting to be read (no bytes, no close, no error), found
// without waiting and without taking anything from the socket.
bool IdleConnectionAlive(SocketHandle s);

// Shuts down both directions and closes; an invalid handle is ignored.
void ShutdownAndClose(SocketHandle s);

} // namespace platform

} // namespace vantry
