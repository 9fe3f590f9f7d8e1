// SocketByteSource: the ByteSource of a plain TCP connection; each receive is one VantrySocket::ReceiveSome,
// so the socket's own time-out and close entries reach the log unchanged.
#pragma once

#include "http/ByteSource.h"
#include "net/VantrySocket.h"

class SocketByteSource : public ByteSource {
public:
    explicit SocketByteSource(VantrySocket &socket) : m_socket(socket) {}
    bool Receive(uint8_t *dest, uint32_t room, uint32_t &got, bool &timedOut, LogBase &log) override {
        got = room;
        return m_socket.ReceiveSome(dest, got, timedOut, log);
    }
    uint32_t ReadTimeoutMs() const override { return m_socket.ReadTimeout(); }
    void SetReadTimeoutMs(uint32_t ms) override { m_socket.SetReadTimeout(ms); }
    void Close() override { m_socket.Close(); }

private:
    VantrySocket &m_socket;
};
