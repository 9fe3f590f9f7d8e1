// VantrySocket: connect with time-out and retry, readiness waits, piecewise sends and the receive family.
// All OS calls go through platform/Sockets and platform/Resolver; failures are logged with fixed texts.
// The line reads scan a read-ahead block instead of receiving byte by byte; its bytes go out first.
#include "net/VantrySocket.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "net/ProgressMonitor.h"
#include "platform/Clock.h"
#include "platform/OsError.h"
#include "platform/Resolver.h"

namespace vantry {

namespace {
// Process-wide: true until the first start-up attempt has finished. The attempt itself runs once, under
// its flag: a thread arriving while another is starting the library waits for that attempt.
std::atomic<bool> g_notYetStarted{true};
std::once_flag g_startOnce;

constexpr uint32_t kWaitSliceMs = 200;
constexpr uint32_t kMinLastSliceMs = 10;
} // namespace

VantrySocket::VantrySocket() {
    if (g_notYetStarted.load()) {
        LogNull discard;
        StartWinsock(discard);
    }
}

VantrySocket::~VantrySocket() {
    if (m_handle != platform::kInvalidSocket)
        Close();
}

bool VantrySocket::StartWinsock(LogBase &log) {
    // Tried once per process, whatever its outcome; only the call that tried can report a failure.
    if (!g_notYetStarted.load(std::memory_order_acquire))
        return true;
    bool triedHere = false;
    int code = 0;
    std::call_once(g_startOnce, [&] {
        triedHere = true;
        code = platform::StartSockets();
        if (code != 0)
            ReportStartupError(code, log);
        g_notYetStarted.store(false, std::memory_order_release);
    });
    return !triedHere || code == 0;
}

void VantrySocket::SetReadTimeout(uint32_t ms) {
    if (ms == 0)
        ms = 1;
    if (ms > kMaxReadTimeoutMs)
        ms = kMaxReadTimeoutMs;
    m_readTimeoutMs = ms;
}

void VantrySocket::Close() {
    platform::ShutdownAndClose(m_handle);
    m_handle = platform::kInvalidSocket;
    m_connected = false;
    m_peerClosed = false;
    DiscardReadAhead();
}

bool VantrySocket::IdleAndAlive() {
    if (m_handle == platform::kInvalidSocket || !m_connected)
        return false;
    if (BufferedCount() > 0)
        return false;
    return platform::IdleConnectionAlive(m_handle);
}

void VantrySocket::DropConnection() {
    Close();
}

bool VantrySocket::Connect(const char *host, int port, bool &lookupFailed, LogBase &log) {
    try {
        return ConnectInner(host, port, lookupFailed, log);
    } catch (...) {
        return false;
    }
}

bool VantrySocket::ConnectInner(const char *host, int port, bool &lookupFailed, LogBase &log) {
    lookupFailed = false;
    if (!host)
        return false;

    // The trimmed copy decides only emptiness and the "localhost" shortcut.
    const std::string_view trimmed = ascii::TrimSpace(host);
    if (trimmed.empty())
        return false;
    if (port < 1 || port > 65535) {
        log.LogError("Port number out of range.");
        log.LogDataInt("port", port);
        return false;
    }
    const char *target = ascii::EqualsNoCase(trimmed, "localhost") ? "127.0.0.1" : host;

    if (g_notYetStarted.load())
        StartWinsock(log);

    uint32_t address = 0;
    if (!platform::ParseIPv4(target, &address) && !platform::ResolveIPv4(target, &address)) {
        lookupFailed = true;
        log.LogError("Cannot get host by name.");
        log.LogData("hostname", target);
        return false;
    }

    if (g_notYetStarted.load() && !StartWinsock(log))
        return false;
    if (m_handle != platform::kInvalidSocket)
        Close();
    DiscardReadAhead();
    m_handle = platform::CreateTcpSocket();
    if (m_handle == platform::kInvalidSocket) {
        ReportSocketError(platform::LastSocketError(), log);
        log.LogError("Cannot connect, invalid socket.");
        return false;
    }

    const bool timed = m_connectTimeoutSec != 0;
    if (timed)
        platform::SetNonBlocking(m_handle, true);

    bool retried = false;
    bool connected = false;
    int code = 0;
    for (;;) {
        code = platform::ConnectIPv4(m_handle, address, static_cast<uint16_t>(port));
        // On the retry an attempt that completed meanwhile reports "already connected": that is a success.
        if (code == 0 || (retried && code == platform::wsa::kIsConn)) {
            connected = true;
            break;
        }
        if (code != platform::wsa::kWouldBlock)
            log.LogDataInt("sockError", code);
        if (!timed || code != platform::wsa::kWouldBlock)
            break;
        bool aborted = false;
        if (WaitConnected(m_connectTimeoutSec, aborted, log)) {
            // Writable also means failed: the pending error tells which.
            code = platform::PendingConnectError(m_handle);
            if (code == 0) {
                connected = true;
                break;
            }
            log.LogDataInt("sockError", code);
            break;
        }
        if (aborted) {
            log.LogError("Connect aborted by application");
            break;
        }
        if (retried) {
            ReportSocketError(platform::wsa::kWouldBlock, log);
            break;
        }
        log.LogError("Connection attempt timed out, trying again.");
        retried = true;
    }

    if (timed)
        platform::SetNonBlocking(m_handle, false);
    if (connected) {
        m_connected = true;
        return true;
    }
    log.LogError("Connect function failed.");
    ReportSocketError(code, log);
    // The failure in the words a command-line user knows: host, port and the system's reason.
    char reason[128];
    platform::OsErrorText(code == platform::wsa::kWouldBlock ? ETIMEDOUT : platform::LastSocketErrno(),
                          reason, sizeof reason);
    StringBuffer line("connect to ");
    line.Append(host);
    line.Append(" port ");
    line.AppendInt(port);
    line.Append(": ");
    line.Append(reason);
    log.LogError(line.Text());
    return false;
}

bool VantrySocket::WaitWritable(int seconds, LogBase &log) {
    if (m_handle == platform::kInvalidSocket) {
        log.LogError("invalid socket, not ready for writing.");
        return false;
    }
    uint32_t ms = seconds > 0 ? static_cast<uint32_t>(seconds) * 1000u : 0u;
    int r = platform::WaitWritable(m_handle, ms);
    if (r < 0) {
        log.LogError("select returned a socket error");
        return false;
    }
    if (r == 1)
        return true;
    log.LogError("socket is not ready for writing");
    return false;
}

bool VantrySocket::WaitConnected(int seconds, bool &aborted, LogBase &log) {
    aborted = false;
    if (m_abortMonitor == nullptr)
        return WaitWritable(seconds, log);
    uint32_t remaining = seconds > 0 ? static_cast<uint32_t>(seconds) * 1000u : 0u;
    while (remaining > 0) {
        if (m_abortMonitor->AbortCheck()) {
            aborted = true;
            return false;
        }
        const uint32_t slice = remaining > kWaitSliceMs ? kWaitSliceMs : remaining;
        const int r = platform::WaitWritable(m_handle, slice);
        if (r < 0) {
            log.LogError("select returned a socket error");
            return false;
        }
        if (r == 1)
            return true;
        remaining -= slice;
    }
    log.LogError("socket is not ready for writing");
    return false;
}

bool VantrySocket::WaitForData(uint32_t ms, bool &connectionLost, ProgressMonitor *monitor, LogBase &log) {
    connectionLost = false;
    if (monitor && monitor->AbortCheck())
        return false;
    if (m_handle == platform::kInvalidSocket) {
        connectionLost = true;
        return false;
    }
    if (BufferedCount() > 0)
        return true;
    if (ms == 0)
        ms = 1;
    int r = platform::WaitReadable(m_handle, ms);
    if (r < 0) {
        connectionLost = true;
        log.LogError("The peer has closed the socket (TCP) connection");
        DropConnection();
        return false;
    }
    return r != 0;
}

// One wait of the whole read time-out, or 200 ms slices with abort checks when a monitor is given.
bool VantrySocket::WaitForReceive(bool &connectionLost, ProgressMonitor *monitor, LogBase &log) {
    if (!monitor)
        monitor = m_abortMonitor;
    if (!monitor)
        return WaitForData(m_readTimeoutMs, connectionLost, nullptr, log);
    uint32_t remaining = m_readTimeoutMs;
    while (remaining > 0) {
        uint32_t slice = remaining > kWaitSliceMs ? kWaitSliceMs : remaining;
        if (slice < kMinLastSliceMs)
            slice = kMinLastSliceMs;
        if (WaitForData(slice, connectionLost, monitor, log))
            return true;
        if (connectionLost || monitor->AbortCheck())
            return false;
        remaining = remaining > slice ? remaining - slice : 0;
    }
    return false;
}

bool VantrySocket::SendBytes(const void *data, uint32_t count, ProgressMonitor *monitor, LogBase &log) {
    m_lastSendError = 0;
    if (count == 0)
        return false;
    if (m_handle == platform::kInvalidSocket) {
        log.LogError("No socket exists for sending");
        return false;
    }
    const unsigned char *p = static_cast<const unsigned char *>(data);
    uint32_t remaining = count;
    while (remaining > 0) {
        uint32_t piece = remaining < kSendPieceSize ? remaining : kSendPieceSize;
        long r = platform::SendSome(m_handle, p, piece);
        if (r < 0) {
            m_lastSendError = platform::LastSocketError();
            ReportSocketError(m_lastSendError, log);
            log.LogError("Error sending on socket");
            log.LogDataInt("send_size", static_cast<int32_t>(piece));
            return false;
        }
        if (r > 0 && monitor && monitor->BytesSent(static_cast<uint32_t>(r))) {
            log.LogError("Socket send aborted by application");
            return false;
        }
        if (r == 0)
            platform::SleepMs(50);
        remaining -= static_cast<uint32_t>(r);
        p += r;
    }
    return true;
}

bool VantrySocket::ReceiveSome(void *dest, uint32_t &count, bool &timedOut, ProgressMonitor *monitor,
                               LogBase &log) {
    timedOut = false;
    if (m_handle == platform::kInvalidSocket) {
        count = 0;
        log.LogError("This socket is not connected");
        return false;
    }
    // No room: nothing to receive, and recv's 0 would be mistaken for the peer's close.
    if (count == 0)
        return true;
    if (BufferedCount() == 0) {
        if (!ReceiveFromConnection(dest, count, timedOut, monitor, log))
            return false;
    } else if (monitor && monitor->AbortCheck()) {
        // An abort asked for stops this receive as the wait would have.
        log.LogError("WaitForData timed out.");
        timedOut = true;
        count = 0;
        return false;
    } else {
        count = TakeBuffered(dest, count);
    }
    if (monitor)
        monitor->BytesReceived(count);
    return true;
}

// One wait for the read time-out and one recv of up to count bytes, with the receive family's entries.
// The monitor only paces the wait; the bytes are reported to it where they are handed out.
bool VantrySocket::ReceiveFromConnection(void *dest, uint32_t &count, bool &timedOut,
                                         ProgressMonitor *monitor, LogBase &log) {
    bool lost = false;
    if (!WaitForReceive(lost, monitor, log)) {
        if (m_handle != platform::kInvalidSocket) {
            log.LogError("WaitForData timed out.");
            timedOut = true;
        }
        count = 0;
        return false;
    }
    long r = platform::ReceiveSome(m_handle, dest, count);
    if (r == 0) {
        log.LogError("The peer has closed the socket (TCP) connection");
        DropConnection();
        m_peerClosed = true;
        count = 0;
        return false;
    }
    if (r < 0) {
        count = 0;
        StringBuffer text;
        text.AppendOsErrorText(platform::LastSocketErrno());
        text.Trim();
        log.LogError(text.Text());
        log.LogError("Failed to receive on the TCP socket");
        return false;
    }
    count = static_cast<uint32_t>(r);
    return true;
}

// Refills the empty read-ahead block with one receive; the monitor hears of the bytes as they are taken.
bool VantrySocket::FillReadAhead(ProgressMonitor *monitor, LogBase &log) {
    if (m_handle == platform::kInvalidSocket) {
        log.LogError("This socket is not connected");
        return false;
    }
    if (!m_ahead)
        m_ahead = std::make_unique<unsigned char[]>(kReadAheadSize);
    uint32_t got = kReadAheadSize;
    bool timedOut = false;
    if (!ReceiveFromConnection(m_ahead.get(), got, timedOut, monitor, log))
        return false;
    m_aheadPos = 0;
    m_aheadEnd = got;
    return true;
}

uint32_t VantrySocket::TakeBuffered(void *dest, uint32_t count) {
    uint32_t n = BufferedCount();
    if (n > count)
        n = count;
    std::memcpy(dest, m_ahead.get() + m_aheadPos, n);
    m_aheadPos += n;
    if (m_aheadPos == m_aheadEnd)
        DiscardReadAhead();
    return n;
}

bool VantrySocket::ReceiveExactly(void *dest, uint32_t count, ProgressMonitor *monitor, LogBase &log) {
    unsigned char *p = static_cast<unsigned char *>(dest);
    uint32_t remaining = count;
    while (remaining > 0) {
        if (monitor && monitor->AbortCheck())
            return false;
        uint32_t got = remaining;
        bool timedOut = false;
        if (!ReceiveSome(p, got, timedOut, monitor, log) || timedOut)
            return false;
        p += got;
        remaining -= got;
    }
    return true;
}

bool VantrySocket::ReceiveCount(uint32_t count, DataBuffer &out, ProgressMonitor *monitor, LogBase &log) {
    if (count == 0 || count > kMaxReceiveCount)
        return false;
    if (count <= kCountPieceSize) {
        void *block = std::malloc(count);
        if (!block)
            return false;
        bool ok = ReceiveExactly(block, count, monitor, log);
        if (ok)
            ok = out.Append(block, count);
        std::free(block);
        return ok;
    }
    uint32_t remaining = count;
    while (remaining > 0) {
        if (monitor && monitor->AbortCheck())
            return false;
        uint32_t piece = remaining < kCountPieceSize ? remaining : kCountPieceSize;
        if (!ReceiveCount(piece, out, monitor, log))
            return false;
        remaining -= piece;
    }
    return true;
}

bool VantrySocket::ReceiveToEnd(DataBuffer &out, ProgressMonitor *monitor, LogBase &log) {
    void *block = std::malloc(kReceiveBlockSize);
    if (!block)
        return false;
    for (;;) {
        uint32_t got = kReceiveBlockSize;
        bool timedOut = false;
        if (!ReceiveSome(block, got, timedOut, monitor, log))
            break;
        out.Append(block, got);
    }
    std::free(block);
    return out.Length() > 0;
}

bool VantrySocket::ReceiveOnce(DataBuffer &out, ProgressMonitor *monitor, LogBase &log) {
    void *block = std::malloc(kReceiveBlockSize);
    if (!block)
        return false;
    uint32_t got = kReceiveBlockSize;
    bool timedOut = false;
    if (ReceiveSome(block, got, timedOut, monitor, log))
        out.Append(block, got);
    std::free(block);
    return out.Length() > 0;
}

// Up to the first LF met while no byte other than CR came since the last LF (or, with crEndsCount, since
// the last CR or LF). The bytes are scanned in the read-ahead block; with a monitor one at a time, so its
// abort check comes before every byte.
bool VantrySocket::ReceiveLine(DataBuffer &out, bool crEndsCount, uint32_t maxBytes, ProgressMonitor *monitor,
                               LogBase &log) {
    uint32_t sinceLineEnd = 0;
    uint32_t taken = 0;
    for (;;) {
        if (monitor && monitor->AbortCheck())
            return false;
        if (taken >= maxBytes) {
            log.LogError(crEndsCount ? "Line too long" : "Header block too long");
            log.LogDataInt("maxBytes", static_cast<int32_t>(maxBytes));
            return false;
        }
        if (BufferedCount() == 0 && !FillReadAhead(monitor, log))
            return false;
        const unsigned char *p = m_ahead.get() + m_aheadPos;
        uint32_t limit = BufferedCount();
        if (limit > maxBytes - taken)
            limit = maxBytes - taken;
        if (monitor)
            limit = 1;
        uint32_t used = 0;
        bool ended = false;
        while (used < limit && !ended) {
            unsigned char c = p[used++];
            if (c == '\n') {
                ended = sinceLineEnd == 0;
                sinceLineEnd = 0;
            } else if (c == '\r') {
                if (crEndsCount)
                    sinceLineEnd = 0;
            } else {
                ++sinceLineEnd;
            }
        }
        out.Append(p, used);
        m_aheadPos += used;
        if (m_aheadPos == m_aheadEnd)
            DiscardReadAhead();
        taken += used;
        if (monitor)
            monitor->BytesReceived(used);
        if (ended)
            return true;
    }
}

bool VantrySocket::ReceiveHeaderBlock(DataBuffer &out, ProgressMonitor *monitor, LogBase &log) {
    return ReceiveLine(out, false, kMaxHeaderBlock, monitor, log);
}

bool VantrySocket::ReceiveCrlfLine(DataBuffer &out, ProgressMonitor *monitor, LogBase &log) {
    return ReceiveLine(out, true, kMaxCrlfLine, monitor, log);
}

void VantrySocket::ReportSocketError(int code, LogBase &log) {
    const char *text = "Unknown socket error";
    switch (code) {
    case 10093:
        text = "WSANOTINITIALISED A successful WSAStartup must occur before using this function.";
        break;
    case 10035:
        text = "WSAEWOULDBLOCK The socket would block.";
        break;
    case 10053:
        text = "WSAECONNABORTED An established connection was aborted by the software in your host machine.";
        break;
    case 10050:
        text = "WSAENETDOWN The network subsystem or the associated service provider has failed.";
        break;
    case 10047:
        text = "WSAEAFNOSUPPORT The specified address family is not supported.";
        break;
    case 10036:
        text =
            "WSAEINPROGRESS A blocking Windows Sockets 1.1 call is in progress, or the service provider is "
            "still processing a callback function.";
        break;
    case 10024:
        text = "WSAEMFILE No more socket descriptors are available.";
        break;
    case 10055:
        text = "WSAENOBUFS No buffer space is available. The socket cannot be created.";
        break;
    case 10043:
        text = "WSAEPROTONOSUPPORT The specified protocol is not supported.";
        break;
    case 10041:
        text = "WSAEPROTOTYPE The specified protocol is the wrong type for this socket.";
        break;
    case 10044:
        text = "WSAESOCKTNOSUPPORT The specified socket type is not supported in this address family.";
        break;
    case 10051:
        text = "WSAENETUNREACH A socket operation was attempted to an unreachable network.";
        break;
    case 10060:
        text =
            "WSAETIMEDOUT A connection attempt failed because the connected party did not properly respond "
            "after a period of time, or established connection failed because connected host has failed to "
            "respond.";
        break;
    case 10061:
        text = "WSAECONNREFUSED No connection could be made because the target machine actively refused it.";
        break;
    default:
        break;
    }
    log.LogData("SocketError", text);
    if (code == 10035) {
        log.LogError("Check to make sure the port is not blocked by a firewall.");
    } else if (code == 10053) {
        log.LogError("This is commonly caused by anti-virus programs that may be running.");
        log.LogError("Check Mcafee's port filtering. If enabled, add your app to the exclusion list.");
    }
}

void VantrySocket::ReportStartupError(int code, LogBase &log) {
    switch (code) {
    case 10091:
        log.LogError("The underlying network subsystem is not ready for network communication.");
        return;
    case 10092:
        log.LogError("The version of Windows Sockets support requested is not provided by this particular "
                     "Windows Sockets implementation.");
        return;
    case 10036:
        log.LogError("A blocking Windows Sockets 1.1 operation is in progress.");
        return;
    case 10067:
        log.LogError("Limit on the number of tasks supported by the Windows Sockets implementation has been "
                     "reached.");
        return;
    case 10014:
        log.LogError("The lpWSAData is not a valid pointer.");
        return;
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "WSAStartup error: 0x%x", static_cast<unsigned>(code));
        log.LogError(text);
        return;
    }
    }
}

} // namespace vantry
