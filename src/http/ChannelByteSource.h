// ChannelByteSource: the ByteSource of a TLS connection. Each refill is one SChannel::ReceiveRecords; the
// decrypted bytes of its records are handed out in the framing's pieces, and the server's close_notify ends
// the stream like a peer's close.
#pragma once
#include <cstring>

#include "core/DataBuffer.h"
#include "http/ByteSource.h"
#include "log/LogBase.h"
#include "log/LogNull.h"
#include "net/SChannel.h"

class ChannelByteSource : public ByteSource {
public:
    explicit ChannelByteSource(SChannel &channel) : m_channel(channel) {}

    // A new session begins: nothing held, not ended.
    void Reset() {
        m_held.Clear();
        m_at = 0;
        m_ended = false;
    }
    // Decrypted bytes already received, served before the channel is read again.
    void Prime(const uint8_t *bytes, uint32_t n) {
        if (n > 0)
            m_held.Append(bytes, n);
    }
    // The log that receives the shutdown entries when the framing drops the connection.
    void SetCloseLog(LogBase *log) { m_closeLog = log; }

    bool Receive(uint8_t *dest, uint32_t room, uint32_t &got, bool &timedOut, LogBase &log) override {
        got = 0;
        timedOut = false;
        while (m_at == m_held.Length()) {
            if (m_ended)
                return false;
            m_held.Clear();
            m_at = 0;
            bool closed = false;
            if (!m_channel.ReceiveRecords(m_held, closed, log)) {
                // A read that failed while the socket is still up ran out of time.
                timedOut = m_channel.IsConnected();
                return false;
            }
            m_ended = closed;
        }
        uint32_t n = m_held.Length() - m_at;
        if (n > room)
            n = room;
        std::memcpy(dest, m_held.Data() + m_at, n);
        m_at += n;
        got = n;
        return true;
    }
    uint32_t ReadTimeoutMs() const override { return m_channel.Socket().ReadTimeout(); }
    void SetReadTimeoutMs(uint32_t ms) override { m_channel.Socket().SetReadTimeout(ms); }
    void Close() override {
        LogNull discard;
        m_channel.Close(m_closeLog ? *m_closeLog : discard);
        Reset();
    }
    // Whether the server ended the session with close_notify.
    bool Ended() const { return m_ended; }

private:
    SChannel &m_channel;
    LogBase *m_closeLog = nullptr;
    DataBuffer m_held; // decrypted bytes not yet handed out: [m_at, length)
    uint32_t m_at = 0;
    bool m_ended = false;
};
