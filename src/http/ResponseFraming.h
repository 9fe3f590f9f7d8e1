// ResponseFraming: the transport-independent reading of one HTTP/1.1 response from a ByteSource: the head
// up to its empty line, then the body by count, by chunks or to the end of the connection, with the caps
// that keep memory bounded and an optional overall deadline. Bytes read ahead stay for the next response.
#pragma once
#include <cstdint>

#include <memory>

#include "core/DataBuffer.h"

namespace vantry {

class ByteSource;
class HttpResponseHeader;
class LogBase;

class ResponseFraming {
public:
    // Largest response head accepted.
    static constexpr uint32_t kMaxHeadBytes = 100 * 1024;
    // Largest chunk-size line accepted.
    static constexpr uint32_t kMaxLineBytes = 65536;
    // Ceiling on any body, whatever the configured limit (the socket's largest counted receive).
    static constexpr uint32_t kMaxBodyBytes = 201326592;
    // Read time-out while reading a body that has no length, to the end of the connection.
    static constexpr uint32_t kToEndTimeoutMs = 1000;

    ResponseFraming() = default;

    // Forgets bytes read ahead (a new connection begins).
    void Reset();
    // An absolute deadline as a tick count, or none. Every receive waits at most until it.
    void SetDeadline(bool on, uint32_t deadlineTick, int seconds);
    bool DeadlinePassed() const;
    // Whether a read failed because the deadline came (its entry is already logged).
    bool DeadlineHit() const { return m_deadlineHit; }
    // Logs the deadline failure (the entry names the setting).
    void LogDeadline(LogBase &log) const;

    // Appends the head up to and including the empty line that ends it (the first LF with no bytes other
    // than CR since the previous LF).
    bool ReadHead(ByteSource &src, DataBuffer &head, LogBase &log);
    // Appends one line up to the first LF that directly follows a CR or an LF (or starts the read).
    bool ReadLine(ByteSource &src, DataBuffer &line, LogBase &log);
    // Appends exactly n bytes; false when the source ends first.
    bool ReadCount(ByteSource &src, uint32_t n, DataBuffer &out, LogBase &log);
    // Appends bytes until the source ends (time-out or close); false as soon as out would pass `limit`.
    bool ReadToEnd(ByteSource &src, DataBuffer &out, uint32_t limit, bool &overLimit, LogBase &log);

    // The body that follows a parsed head, by the rules of the plain connection: which statuses carry a
    // body, chunks, Content-Length, or to the end. maxContentLength 0 means only the ceiling applies.
    bool ReadBody(ByteSource &src, const HttpResponseHeader &header, uint32_t maxContentLength,
                  DataBuffer &body, LogBase &log);

    // A chunked body alone (the chunk framing up to the zero chunk), with the same caps.
    bool ReadChunked(ByteSource &src, uint32_t maxContentLength, DataBuffer &body, LogBase &log);

private:
    enum class Receipt { Got, Failed, Deadline };
    Receipt ReceiveBounded(ByteSource &src, uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log);
    bool Fill(ByteSource &src, LogBase &log);
    bool Consume(ByteSource &src, uint32_t n, DataBuffer &out, LogBase &log);
    bool ReadCounted(ByteSource &src, const HttpResponseHeader &header, uint32_t maxContentLength,
                     DataBuffer &body, LogBase &log);
    bool ReadUnbounded(ByteSource &src, uint32_t maxContentLength, DataBuffer &body, LogBase &log);
    uint32_t Buffered() const { return m_end - m_pos; }

    static constexpr uint32_t kBlockSize = 65536;
    std::unique_ptr<uint8_t[]> m_block; // read-ahead bytes live in [m_pos, m_end)
    uint32_t m_pos = 0;
    uint32_t m_end = 0;
    bool m_hasDeadline = false;
    uint32_t m_deadline = 0;
    int m_deadlineSeconds = 0;
    bool m_deadlineHit = false; // the last failed receive was cut short by the deadline
};

} // namespace vantry
