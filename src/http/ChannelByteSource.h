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
    Status NextRecords(DataBuffer &out, LogBase &log) override {
        bool closed = false;
        if (m_channel.ReceiveRecords(out, closed, log))
            return closed ? Status::Closed : Status::Got;
        switch (m_channel.LastReadEnd()) {
        case SChannel::ReadEnd::TimedOut:
            return Status::TimedOut;
        case SChannel::ReadEnd::PeerClosed:
            return Status::ClosedUnclean; // the TCP connection ended without close_notify
        default:
            return Status::Failed; // a record that failed to decrypt, a reset, ...
        }
    }

private:
    SChannel &m_channel;
    LogBase *m_closeLog = nullptr;
};

} // namespace vantry
