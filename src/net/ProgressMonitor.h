// ProgressMonitor: the optional progress and abort hook of the socket and channel operations.
// It counts the bytes sent and received and carries an abort flag; subclasses may decide to abort.
#pragma once
#include <cstdint>

namespace vantry {

class ProgressMonitor {
public:
    virtual ~ProgressMonitor() = default;

    // True when the operation in progress should stop.
    virtual bool AbortCheck() { return m_abort; }
    // Reports bytes moved; the result is whether to abort.
    virtual bool BytesSent(uint32_t n) {
        m_sent += n;
        return AbortCheck();
    }
    virtual bool BytesReceived(uint32_t n) {
        m_received += n;
        return AbortCheck();
    }

    void RequestAbort() { m_abort = true; }
    uint64_t SentTotal() const { return m_sent; }
    uint64_t ReceivedTotal() const { return m_received; }

private:
    bool m_abort = false;
    uint64_t m_sent = 0;
    uint64_t m_received = 0;
};

} // namespace vantry
