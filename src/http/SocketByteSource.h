// SocketByteSource: the ByteSource of a plain TCP connection; each receive is one VantrySocket::ReceiveSome,
// so the socket's own time-out and close entries reach the log unchanged.
#pragma once

#include "http/ByteSource.h"
#include "net/VantrySocket.h"

namespace vantry {

class SocketByteSource : public ByteSource {
public:
    // monitor (may be null) is told of every byte received.
    explicit SocketByteSource(VantrySocket &socket, ProgressMonitor *monitor = nullptr)
        : m_socket(socket), m_monitor(monitor) {}
    Status Receive(uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log) override {
        got = room;
        bool timedOut = false;
        if (m_socket.ReceiveSome(dest, got, timedOut, m_monitor, log))
            return Status::Got;
        got = 0;
        if (timedOut)
            return Status::TimedOut;
        return m_socket.PeerClosed() ? Status::Closed : Status::Failed;
    }
    uint32_t ReadTimeoutMs() const override { return m_socket.ReadTimeout(); }
    void SetReadTimeoutMs(uint32_t ms) override { m_socket.SetReadTimeout(ms); }
    void Close() override { m_socket.Close(); }

private:
    VantrySocket &m_socket;
    ProgressMonitor *m_monitor;
};

} // namespace vantry
