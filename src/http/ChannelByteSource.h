// ChannelByteSource: the ByteSource of a TLS connection; each refill is one SChannel::ReceiveRecords, and
// dropping the connection sends close_notify before the socket closes.
#pragma once

#include "core/LogNull.h"
#include "http/RecordByteSource.h"
#include "net/SChannel.h"

namespace vantry {

class ChannelByteSource : public RecordByteSource {
public:
    explicit ChannelByteSource(SChannel &channel) : m_channel(channel) {}

    // The log that receives the shutdown entries when the framing drops the connection.
    void SetCloseLog(LogBase *log) { m_closeLog = log; }

    uint32_t ReadTimeoutMs() const override { return m_channel.Socket().ReadTimeout(); }
    void SetReadTimeoutMs(uint32_t ms) override { m_channel.Socket().SetReadTimeout(ms); }
    void Close() override {
        LogNull discard;
        m_channel.Close(m_closeLog ? *m_closeLog : discard);
        Reset();
    }

protected:
    bool NextRecords(DataBuffer &out, bool &closed, bool &timedOut, LogBase &log) override {
        if (m_channel.ReceiveRecords(out, closed, log))
            return true;
        // A read that failed while the socket is still up ran out of time.
        timedOut = m_channel.IsConnected();
        return false;
    }

private:
    SChannel &m_channel;
    LogBase *m_closeLog = nullptr;
};

} // namespace vantry
