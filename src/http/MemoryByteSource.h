// MemoryByteSource: a ByteSource over bytes held in memory, handed out in pieces of at most a given size;
// after the last byte it ends as the test chooses: like a peer that closed the connection (the default),
// or with a time-out or a transport error. For the fuzz targets and the framing tests.
#pragma once
#include <cstring>
#include <string_view>

#include "core/LogBase.h"
#include "http/ByteSource.h"

namespace vantry {

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(std::string_view bytes, uint32_t piece) : m_bytes(bytes), m_piece(piece ? piece : 1) {}
    Status Receive(uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log) override {
        got = 0;
        if (m_closed || m_at >= m_bytes.size()) {
            if (m_end == Status::TimedOut)
                log.LogError("WaitForData timed out.");
            else if (m_end == Status::Failed)
                log.LogError("Failed to receive on the TCP socket");
            else
                log.LogError("The peer has closed the socket (TCP) connection");
            return m_closed ? Status::Failed : m_end;
        }
        size_t n = m_bytes.size() - m_at;
        if (n > room)
            n = room;
        if (n > m_piece)
            n = m_piece;
        std::memcpy(dest, m_bytes.data() + m_at, n);
        m_at += n;
        got = static_cast<uint32_t>(n);
        return Status::Got;
    }
    uint32_t ReadTimeoutMs() const override { return m_timeoutMs; }
    void SetReadTimeoutMs(uint32_t ms) override { m_timeoutMs = ms; }
    void Close() override { m_closed = true; }
    // How the bytes end (Closed, ClosedUnclean, TimedOut or Failed).
    void SetEnd(Status end) { m_end = end; }
    bool Closed() const { return m_closed; }
    size_t Consumed() const { return m_at; }

private:
    std::string_view m_bytes;
    size_t m_piece;
    size_t m_at = 0;
    bool m_closed = false;
    Status m_end = Status::Closed;
    uint32_t m_timeoutMs = 20000;
};

} // namespace vantry
