// MemoryByteSource: a ByteSource over bytes held in memory, handed out in pieces of at most a given size;
// it ends like a peer that closed the connection. For the fuzz targets and the framing tests.
#pragma once
#include <cstring>
#include <string_view>

#include "core/LogBase.h"
#include "http/ByteSource.h"

namespace vantry {

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(std::string_view bytes, uint32_t piece) : m_bytes(bytes), m_piece(piece ? piece : 1) {}
    bool Receive(uint8_t *dest, uint32_t room, uint32_t &got, bool &timedOut, LogBase &log) override {
        timedOut = false;
        got = 0;
        if (m_closed || m_at >= m_bytes.size()) {
            log.LogError("The peer has closed the socket (TCP) connection");
            return false;
        }
        size_t n = m_bytes.size() - m_at;
        if (n > room)
            n = room;
        if (n > m_piece)
            n = m_piece;
        std::memcpy(dest, m_bytes.data() + m_at, n);
        m_at += n;
        got = static_cast<uint32_t>(n);
        return true;
    }
    uint32_t ReadTimeoutMs() const override { return m_timeoutMs; }
    void SetReadTimeoutMs(uint32_t ms) override { m_timeoutMs = ms; }
    void Close() override { m_closed = true; }
    bool Closed() const { return m_closed; }
    size_t Consumed() const { return m_at; }

private:
    std::string_view m_bytes;
    size_t m_piece;
    size_t m_at = 0;
    bool m_closed = false;
    uint32_t m_timeoutMs = 20000;
};

} // namespace vantry
