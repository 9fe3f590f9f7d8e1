// VantrySocket: the library's one TCP endpoint (IPv4 stream) with a connect time-out and one retry,
// a read time-out on every receive, 4096-byte send pieces and the receive family the HTTP layer uses.
// The line reads take bytes from a read-ahead block; every receive serves those bytes first.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/Sockets.h"

namespace vantry {

class DataBuffer;
class LogBase;
class ProgressMonitor;

class VantrySocket {
public:
    static constexpr uint32_t kDefaultReadTimeoutMs = 30000;
    static constexpr uint32_t kMaxReadTimeoutMs = 500000;
    static constexpr int kDefaultConnectTimeoutSec = 7;
    static constexpr uint32_t kSendPieceSize = 4096;
    static constexpr uint32_t kReceiveBlockSize = 20000;
    static constexpr uint32_t kCountPieceSize = 2200000;
    static constexpr uint32_t kMaxReceiveCount = 201326592;
    // Bounds on the byte-by-byte reads, so a peer that never ends a head or a line cannot exhaust memory.
    static constexpr uint32_t kMaxHeaderBlock = 1048576;
    static constexpr uint32_t kMaxCrlfLine = 65536;
    // Size of the read-ahead block the line reads fill with one receive.
    static constexpr uint32_t kReadAheadSize = 16384;

    VantrySocket();
    virtual ~VantrySocket();
    VantrySocket(const VantrySocket &) = delete;
    VantrySocket &operator=(const VantrySocket &) = delete;

    // The once-per-process start-up of the socket library; true from the first call on.
    static bool StartWinsock(LogBase &log);

    bool Connect(const char *host, int port, bool &lookupFailed, LogBase &log);
    void SetConnectTimeout(int seconds) { m_connectTimeoutSec = seconds; }
    void SetReadTimeout(uint32_t ms);
    int ConnectTimeout() const { return m_connectTimeoutSec; }
    uint32_t ReadTimeout() const { return m_readTimeoutMs; }
    bool IsConnected() const { return m_connected; }
    // Whether the last receive found the peer's orderly close (cleared by Connect and Close).
    bool PeerClosed() const { return m_peerClosed; }
    // For a kept connection about to carry a new request: nothing may be waiting on it. False when the
    // peer has closed it or sent bytes no request asked for (checked without waiting, the bytes left).
    bool IdleAndAlive();
    bool HasHandle() const { return m_handle != platform::kInvalidSocket; }
    int LastSendError() const { return m_lastSendError; }
    // Bytes already taken from the connection and not yet handed to a receive.
    uint32_t BufferedCount() const { return m_aheadEnd - m_aheadPos; }
    void Close();

    // An abort hook asked during the waits of every operation, also of those given no monitor (the
    // connect, the TLS handshake): the waits are cut into slices, and an abort ends a wait as a time-out
    // would. Not owned; null (the default) for none.
    void SetAbortMonitor(ProgressMonitor *monitor) { m_abortMonitor = monitor; }

    bool WaitWritable(int seconds, LogBase &log);
    bool WaitForData(uint32_t ms, bool &connectionLost, ProgressMonitor *monitor, LogBase &log);

    bool SendBytes(const void *data, uint32_t count, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveSome(void *dest, uint32_t &count, bool &timedOut, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveExactly(void *dest, uint32_t count, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveCount(uint32_t count, DataBuffer &out, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveToEnd(DataBuffer &out, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveOnce(DataBuffer &out, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveHeaderBlock(DataBuffer &out, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveCrlfLine(DataBuffer &out, ProgressMonitor *monitor, LogBase &log);

    // The same operations without a progress monitor (no caller in the system passes one).
    bool WaitForData(uint32_t ms, bool &connectionLost, LogBase &log) {
        return WaitForData(ms, connectionLost, nullptr, log);
    }
    bool SendBytes(const void *data, uint32_t count, LogBase &log) {
        return SendBytes(data, count, nullptr, log);
    }
    bool ReceiveSome(void *dest, uint32_t &count, bool &timedOut, LogBase &log) {
        return ReceiveSome(dest, count, timedOut, nullptr, log);
    }
    bool ReceiveExactly(void *dest, uint32_t count, LogBase &log) {
        return ReceiveExactly(dest, count, nullptr, log);
    }
    bool ReceiveCount(uint32_t count, DataBuffer &out, LogBase &log) {
        return ReceiveCount(count, out, nullptr, log);
    }
    bool ReceiveToEnd(DataBuffer &out, LogBase &log) { return ReceiveToEnd(out, nullptr, log); }
    bool ReceiveOnce(DataBuffer &out, LogBase &log) { return ReceiveOnce(out, nullptr, log); }
    bool ReceiveHeaderBlock(DataBuffer &out, LogBase &log) { return ReceiveHeaderBlock(out, nullptr, log); }
    bool ReceiveCrlfLine(DataBuffer &out, LogBase &log) { return ReceiveCrlfLine(out, nullptr, log); }

    // Logs the "SocketError" text for a Winsock code, with the further entries some codes carry.
    static void ReportSocketError(int code, LogBase &log);
    // Logs the error entry for a failed start-up of the socket library, chosen by its code.
    static void ReportStartupError(int code, LogBase &log);

private:
    bool ConnectInner(const char *host, int port, bool &lookupFailed, LogBase &log);
    // The connect's wait, in slices with abort checks when an abort hook is set; aborted tells why it
    // failed.
    bool WaitConnected(int seconds, bool &aborted, LogBase &log);
    void DropConnection();
    bool WaitForReceive(bool &connectionLost, ProgressMonitor *monitor, LogBase &log);
    bool ReceiveFromConnection(void *dest, uint32_t &count, bool &timedOut, ProgressMonitor *monitor,
                               LogBase &log);
    bool FillReadAhead(ProgressMonitor *monitor, LogBase &log);
    uint32_t TakeBuffered(void *dest, uint32_t count);
    void DiscardReadAhead() { m_aheadPos = m_aheadEnd = 0; }
    bool ReceiveLine(DataBuffer &out, bool crEndsCount, uint32_t maxBytes, ProgressMonitor *monitor,
                     LogBase &log);

    bool m_connected = false;
    bool m_peerClosed = false;
    platform::SocketHandle m_handle = platform::kInvalidSocket;
    uint32_t m_readTimeoutMs = kDefaultReadTimeoutMs;
    int m_connectTimeoutSec = kDefaultConnectTimeoutSec;
    int m_lastSendError = 0;
    ProgressMonitor *m_abortMonitor = nullptr;
    // Read-ahead: bytes [m_aheadPos, m_aheadEnd) of the block are received but not yet handed out.
    std::unique_ptr<unsigned char[]> m_ahead;
    uint32_t m_aheadPos = 0;
    uint32_t m_aheadEnd = 0;
};

} // namespace vantry
