// BodySink: where the GET engine hands a response body as it arrives, so a body of any size passes
// through bounded memory. The engine calls Head once for the response whose body follows (the final one:
// the body of a redirect that is followed never reaches the sink), then Write for each span of decoded
// bytes in order; either returning false stops the transfer. DataBufferSink is the in-memory kind.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class DataBuffer;
class HttpResponseHeader;

class BodySink {
public:
    virtual ~BodySink() = default;

    // The head of the response whose body follows. False stops the transfer before any body byte.
    virtual bool Head(const HttpResponseHeader & /*head*/) { return true; }
    // The next body bytes, gzip already decoded. False stops the transfer.
    virtual bool Write(const uint8_t *bytes, size_t count) = 0;
    // The body bytes received so far as they came over the wire (before decoding) and the length the
    // head announced (-1 when it announced none): once with 0 before the first byte, then after each span.
    virtual void Progress(uint64_t /*received*/, int64_t /*expected*/) {}

    // The most bytes this sink can hold (0: no ceiling of its own); a larger body is refused as one over
    // the MaxContentLength setting is.
    virtual uint64_t Ceiling() const { return 0; }
    // The bytes written so far, when the sink keeps them in memory (the cache stores them from there).
    virtual const DataBuffer *Held() const { return nullptr; }
    // Forgets what was written, for a transfer that starts over; false when the bytes are gone for good.
    virtual bool Restart() { return false; }
};

} // namespace vantry
