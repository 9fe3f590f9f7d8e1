// POSIX layer for TCP sockets: BSD sockets with poll for readiness, MSG_NOSIGNAL on every send,
// and errno mapped to the Winsock codes.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Clock.h"

namespace vantry {

namespace platform {
namespace {
thread_local int t_lastCode = 0;
thread_local int t_lastErrno = 0;

void RememberError(int err) {
    t_lastErrno = err;
    t_lastCode = WinsockCodeFromErrno(err);
}

// poll on one descriptor, restarting after signals with the time that remains.
int WaitFor(SocketHandle s, short events, uint32_t timeoutMs) {
    if (s < 0) {
        RememberError(EBADF);
        return -1;
    }
    uint32_t start = GetTickCount();
    uint32_t remaining = timeoutMs;
    for (;;) {
        pollfd p{s, events, 0};
        int timeout = remaining > 0x7fffffffu ? 0x7fffffff : static_cast<int>(remaining);
        int r = poll(&p, 1, timeout);
        if (r < 0) {
            if (errno == EINTR) {
                uint32_t spent = GetTickCount() - start;
                if (spent >= timeoutMs)
                    return 0;
                remaining = timeoutMs - spent;
                continue;
            }
            RememberError(errno);
            return -1;
        }
        if (r == 0)
            return 0;
        if (p.revents & POLLNVAL) {
            RememberError(EBADF);
            return -1;
        }
        return 1;
    }
}
} // namespace

int WinsockCodeFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EINPROGRESS:
        return wsa::kWouldBlock;
    case EALREADY:
        return wsa::kAlready;
    case ENOTSOCK:
    case EBADF:
        return wsa::kNotSocket;
    case ECONNREFUSED:
        return wsa::kConnRefused;
    case ETIMEDOUT:
        return wsa::kTimedOut;
    case ENETUNREACH:
        return wsa::kNetUnreach;
    case EHOSTUNREACH:
        return wsa::kHostUnreach;
    case ECONNABORTED:
        return wsa::kConnAborted;
    case ECONNRESET:
    case EPIPE:
        return wsa::kConnReset;
    case ENETDOWN:
        return wsa::kNetDown;
    case EAFNOSUPPORT:
        return wsa::kAfNoSupport;
    case EMFILE:
    case ENFILE:
        return wsa::kMFile;
    case ENOBUFS:
    case ENOMEM:
        return wsa::kNoBufs;
    case EPROTONOSUPPORT:
        return wsa::kProtoNoSupport;
    case EPROTOTYPE:
        return wsa::kProtoType;
    case ESOCKTNOSUPPORT:
        return wsa::kSocketNoSupport;
    case EISCONN:
        return wsa::kIsConn;
    case ENOTCONN:
        return wsa::kNotConn;
    default:
        return wsa::kUnknown;
    }
}

int LastSocketError() {
    return t_lastCode;
}
int LastSocketErrno() {
    return t_lastErrno;
}

int StartSockets() {
    return 0;
}

SocketHandle CreateTcpSocket() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        RememberError(errno);
        return kInvalidSocket;
    }
    return s;
}

bool SetNonBlocking(SocketHandle s, bool on) {
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0) {
        RememberError(errno);
        return false;
    }
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (fcntl(s, F_SETFL, flags) < 0) {
        RememberError(errno);
        return false;
    }
    return true;
}

int ConnectIPv4(SocketHandle s, uint32_t addressNetOrder, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addressNetOrder;
    if (connect(s, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0)
        return 0;
    // An interrupted connect goes on in the background, like one in progress.
    int err = errno == EINTR ? EINPROGRESS : errno;
    RememberError(err);
    return t_lastCode;
}

int PendingConnectError(SocketHandle s) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
        err = errno;
    if (err == 0)
        return 0;
    RememberError(err);
    return t_lastCode;
}

int WaitReadable(SocketHandle s, uint32_t timeoutMs) {
    return WaitFor(s, POLLIN, timeoutMs);
}
int WaitWritable(SocketHandle s, uint32_t timeoutMs) {
    return WaitFor(s, POLLOUT, timeoutMs);
}

long SendSome(SocketHandle s, const void *data, size_t count) {
    for (;;) {
        ssize_t r = send(s, data, count, MSG_NOSIGNAL);
        if (r >= 0)
            return static_cast<long>(r);
        if (errno == EINTR)
            continue;
        RememberError(errno);
        return -1;
    }
}

long ReceiveSome(SocketHandle s, void *dest, size_t count) {
    for (;;) {
        ssize_t r = recv(s, dest, count, 0);
        if (r >= 0)
            return static_cast<long>(r);
        if (errno == EINTR)
            continue;
        RememberError(errno);
        return -1;
    }
}

bool IdleConnectionAlive(SocketHandle s) {
    if (s < 0)
        return false;
    int r = WaitFor(s, POLLIN, 0);
    if (r == 0)
        return true; // nothing to read: the peer has neither closed nor written
    if (r < 0)
        return false;
    unsigned char byte;
    for (;;) {
        ssize_t n = recv(s, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        // 0: the peer's close; 1: bytes no request asked for; an error other than "nothing yet": broken.
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void ShutdownAndClose(SocketHandle s) {
    if (s < 0)
        return;
    shutdown(s, SHUT_RDWR);
    close(s);
}

} // namespace platform

} // namespace vantry
