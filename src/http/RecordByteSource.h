// RecordByteSource: a ByteSource over a transport that delivers whole decrypted records (the TLS channel).
// Each refill takes the plaintext of the next records; it is handed out in the framing's pieces, and the
// end of the session ends the stream like a peer's close. Records that decrypt to nothing (session
// tickets, key updates) do not restart the read time-out: one receive waits at most that long in all.
#pragma once
#include <cstring>

#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "http/ByteSource.h"
#include "net/ProgressMonitor.h"
#include "platform/Clock.h"

namespace vantry {

class RecordByteSource : public ByteSource {
public:
    Status Receive(uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log) override {
        got = 0;
        if (m_at == m_held.Length()) {
            Status s = Refill(log);
            if (s != Status::Got)
                return s;
        }
        uint32_t n = m_held.Length() - m_at;
        if (n > room)
            n = room;
        std::memcpy(dest, m_held.Data() + m_at, n);
        m_at += n;
        got = n;
        if (m_monitor)
            m_monitor->BytesReceived(n);
        return Status::Got;
    }

    // A new session begins: nothing held, not ended.
    void Reset() {
        m_held.Clear();
        m_at = 0;
        m_end = Status::Got;
    }
    // Decrypted bytes already received, served before the transport is read again.
    void Prime(const uint8_t *bytes, uint32_t n) {
        if (n > 0)
            m_held.Append(bytes, n);
    }
    // Told of every decrypted byte handed out (null: none); not owned.
    void SetMonitor(ProgressMonitor *monitor) { m_monitor = monitor; }
    // Whether the stream has ended, and how (Got while it has not).
    bool Ended() const { return m_end != Status::Got; }
    Status EndStatus() const { return m_end; }

protected:
    // The plaintext of the next records (possibly none). Got, or how the session ended: Closed for
    // close_notify (out may still hold the data that came before it), ClosedUnclean for the end of the
    // connection without it, TimedOut or Failed.
    virtual Status NextRecords(DataBuffer &out, LogBase &log) = 0;

private:
    // Takes records until some plaintext arrives, within one read time-out in all. Got when bytes are
    // held; otherwise how the stream ended or why this receive failed.
    Status Refill(LogBase &log) {
        if (m_end != Status::Got)
            return m_end;
        const uint32_t budget = ReadTimeoutMs();
        const uint32_t start = platform::GetTickCount();
        bool shortened = false;
        Status result = Status::Got;
        while (m_at == m_held.Length()) {
            m_held.Clear();
            m_at = 0;
            uint32_t spent = platform::GetTickCount() - start;
            if (spent >= budget) {
                log.LogError("WaitForData timed out.");
                result = Status::TimedOut;
                break;
            }
            if (spent > 0) {
                SetReadTimeoutMs(budget - spent);
                shortened = true;
            }
            Status s = NextRecords(m_held, log);
            if (s == Status::Closed || s == Status::ClosedUnclean) {
                m_end = s; // data that came with the end is still served
                if (m_held.Length() == 0)
                    result = s;
                break;
            }
            if (s != Status::Got) {
                result = s;
                break;
            }
        }
        if (shortened)
            SetReadTimeoutMs(budget);
        return result;
    }

    DataBuffer m_held; // plaintext not yet handed out: [m_at, length)
    uint32_t m_at = 0;
    Status m_end = Status::Got;
    ProgressMonitor *m_monitor = nullptr;
};

} // namespace vantry
