// ByteSource: where the response framing takes its bytes from. A plain TCP connection, the TLS channel
// and a block of memory (fuzzing, tests) each implement it; the framing itself never sees the transport.
#pragma once
#include <cstdint>

namespace vantry {

class LogBase;

class ByteSource {
public:
    // How one receive ended.
    enum class Status {
        Got,           // at least one byte
        Closed,        // the peer ended the stream in order (TCP FIN; TLS close_notify)
        ClosedUnclean, // a TLS session whose connection ended without close_notify
        TimedOut,      // nothing came within the read time-out
        Failed,        // a transport error (reset, a record that failed to decrypt, ...)
    };

    virtual ~ByteSource() = default;

    // One receive of at least 1 and at most `room` bytes into dest; got is 0 unless the status is Got.
    // Every status other than Got comes with the transport's own log entries.
    virtual Status Receive(uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log) = 0;
    // The wait allowed for one receive, in milliseconds.
    virtual uint32_t ReadTimeoutMs() const = 0;
    virtual void SetReadTimeoutMs(uint32_t ms) = 0;
    virtual void Close() = 0;
};

} // namespace vantry
