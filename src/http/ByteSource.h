// ByteSource: where the response framing takes its bytes from. A plain TCP connection, the TLS channel
// and a block of memory (fuzzing, tests) each implement it; the framing itself never sees the transport.
#pragma once
#include <cstdint>

namespace vantry {

class LogBase;

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // One receive of at least 1 and at most `room` bytes into dest. False, with got = 0 and the
    // transport's own log entries, on a time-out, the peer's close or an error; `timedOut` tells the first.
    virtual bool Receive(uint8_t *dest, uint32_t room, uint32_t &got, bool &timedOut, LogBase &log) = 0;
    // The wait allowed for one receive, in milliseconds.
    virtual uint32_t ReadTimeoutMs() const = 0;
    virtual void SetReadTimeoutMs(uint32_t ms) = 0;
    virtual void Close() = 0;
};

} // namespace vantry
