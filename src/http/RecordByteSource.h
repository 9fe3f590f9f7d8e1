// RecordByteSource: a ByteSource over a transport that delivers whole decrypted records (the TLS channel).
// Each refill takes the plaintext of the next records; it is handed out in the framing's pieces, and the
// end of the session ends the stream like a peer's close.
#pragma once
#include <cstring>

#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "http/ByteSource.h"
#include "net/ProgressMonitor.h"

namespace vantry {

class RecordByteSource : public ByteSource {
public:
    bool Receive(uint8_t *dest, uint32_t room, uint32_t &got, bool &timedOut, LogBase &log) override {
        got = 0;
        timedOut = false;
        while (m_at == m_held.Length()) {
            if (m_ended)
                return false;
            m_held.Clear();
            m_at = 0;
            bool closed = false;
            if (!NextRecords(m_held, closed, timedOut, log))
                return false;
            m_ended = closed;
        }
        uint32_t n = m_held.Length() - m_at;
        if (n > room)
            n = room;
        std::memcpy(dest, m_held.Data() + m_at, n);
        m_at += n;
        got = n;
        if (m_monitor)
            m_monitor->BytesReceived(n);
        return true;
    }

    // A new session begins: nothing held, not ended.
    void Reset() {
        m_held.Clear();
        m_at = 0;
        m_ended = false;
    }
    // Decrypted bytes already received, served before the transport is read again.
    void Prime(const uint8_t *bytes, uint32_t n) {
        if (n > 0)
            m_held.Append(bytes, n);
    }
    // Told of every decrypted byte handed out (null: none); not owned.
    void SetMonitor(ProgressMonitor *monitor) { m_monitor = monitor; }
    // Whether the session was ended by the peer (close_notify).
    bool Ended() const { return m_ended; }

protected:
    // The plaintext of the next records (possibly none, as for a session ticket). closed: the session ended.
    // False on a failed read, with timedOut telling a time-out apart.
    virtual bool NextRecords(DataBuffer &out, bool &closed, bool &timedOut, LogBase &log) = 0;

private:
    DataBuffer m_held; // plaintext not yet handed out: [m_at, length)
    uint32_t m_at = 0;
    bool m_ended = false;
    ProgressMonitor *m_monitor = nullptr;
};

} // namespace vantry
