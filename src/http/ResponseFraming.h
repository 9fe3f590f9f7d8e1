// ResponseFraming: the driver of the ResponseParser over a ByteSource, for plain and TLS connections
// alike: it reads one response (interim heads skipped, the final head, then its body by the framing the
// parser found) with the caps that keep memory bounded and an optional overall deadline. Bytes read
// past the response stay for the next one; whether the connection may carry another request is decided
// here from the parser's verdict and what is left on the connection.
#pragma once
#include <cstdint>

#include <memory>
#include <string_view>

#include "http/ByteSource.h"
#include "http/ResponseParser.h"

namespace vantry {

class BodySink;
class DataBuffer;
class LogBase;

class ResponseFraming {
public:
    // Largest response head accepted (interim heads included).
    static constexpr uint32_t kMaxHeadBytes = ResponseParser::kMaxHeadBytes;
    // Ceiling on a body held in memory, whatever the configured limit (the socket's largest counted
    // receive). A body streamed to a sink has no ceiling of its own.
    static constexpr uint32_t kMaxBodyBytes = 201326592;

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

    enum class HeadResult {
        Ok,         // the final head is complete: Parser() holds it
        Invalid,    // the bytes are not a valid response head (the parser's error is logged)
        NoResponse, // the connection ended (closed or reset) before any byte of a response
        Failed,     // a time-out, the deadline, or an end inside the head
    };
    // Starts a new response and reads up to the end of its final head. headRequest: the request was a
    // HEAD, so the response has no body whatever its head says.
    HeadResult ReadHead(ByteSource &src, LogBase &log, bool headRequest = false);
    // The body that follows the head just read, handed to sink as it arrives (gzip is not decoded here).
    // limit 0: no limit. A body without length ends only at the orderly end of the stream. When the sink
    // refuses bytes, nothing is logged here and StoppedBySink tells.
    bool ReadBody(ByteSource &src, uint64_t limit, BodySink &sink, LogBase &log);
    // The same appended to body; maxContentLength 0 means only the in-memory ceiling applies.
    bool ReadBody(ByteSource &src, uint32_t maxContentLength, DataBuffer &body, LogBase &log);

    const ResponseParser &Parser() const { return m_parser; }
    // Whether the last ReadBody failed by the size limit alone, or because the sink refused bytes.
    bool BodyOverLimit() const { return m_overLimit; }
    bool StoppedBySink() const { return m_parser.GetError() == ResponseParser::Error::Stopped; }
    // Whether the stream ended while reading this response, and whether it ended without close_notify.
    bool SourceEnded() const { return m_ended; }
    bool EndedUncleanly() const { return m_unclean; }
    // Whether the connection may carry the next request: the message is complete and delimited by its
    // own framing, the head allows it, the stream has not ended and nothing was sent past the response.
    bool Reusable() const;
    uint32_t Buffered() const { return m_end - m_pos; }
    // The bytes received and not yet taken by the parser.
    std::string_view Unread() const {
        return m_block ? std::string_view(reinterpret_cast<const char *>(m_block.get()) + m_pos, Buffered())
                       : std::string_view();
    }

private:
    enum class Receipt { Got, Closed, Unclean, TimedOut, Failed, Deadline };
    Receipt ReceiveBounded(ByteSource &src, uint8_t *dest, uint32_t room, uint32_t &got, LogBase &log);
    Receipt Fill(ByteSource &src, LogBase &log);
    bool FinishBody(Receipt receipt, LogBase &log);
    void LogBodyFailure(ResponseParser::State where, LogBase &log) const;
    void LogOverLimit(uint64_t limit, LogBase &log);

    static constexpr uint32_t kBlockSize = 65536;
    ResponseParser m_parser;
    std::unique_ptr<uint8_t[]> m_block; // read-ahead bytes live in [m_pos, m_end)
    uint32_t m_pos = 0;
    uint32_t m_end = 0;
    bool m_hasDeadline = false;
    uint32_t m_deadline = 0;
    int m_deadlineSeconds = 0;
    bool m_deadlineHit = false; // the last failed receive was cut short by the deadline
    bool m_overLimit = false;
    bool m_ended = false;
    bool m_unclean = false;
};

} // namespace vantry
