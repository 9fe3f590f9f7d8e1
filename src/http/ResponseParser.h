// ResponseParser: the HTTP/1.1 response parser (RFC 9112). It is fed bytes and does no I/O: the status
// line and header fields, interim 1xx heads skipped, the framing of the body (none, counted, chunked or to
// the close), and the chunked coding step by step with its extensions and trailer section.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

class BodySink;
class DataBuffer;

class ResponseParser {
public:
    // Largest single line of a head (status line or field line after unfolding).
    static constexpr uint32_t kMaxLineBytes = 100 * 1024;
    // Largest head section, interim heads included, and largest trailer section.
    static constexpr uint32_t kMaxHeadBytes = 300 * 1024;
    // Longest chunk-size line (size, extensions and line end).
    static constexpr uint32_t kMaxChunkLineBytes = 4096;

    // One state per step of the message: the head, then the body in its framing. The chunked states
    // follow RFC 9112 section 7.1: chunk-size, chunk-ext, CRLF, chunk-data, CRLF, and after the
    // last-chunk the trailer-section and its final CRLF.
    enum class State : uint8_t {
        Head,           // status line and field lines, up to the empty line
        HeadDone,       // the final head is complete; the body has not begun
        BodyCounted,    // Content-Length bytes remain
        BodyToClose,    // everything up to the close of the connection
        ChunkSize,      // hexadecimal digits of the chunk size
        ChunkExtension, // after the size: chunk extensions up to the line end
        ChunkSizeLf,    // CR seen at the end of the size line
        ChunkData,      // size bytes of data
        ChunkDataCr,    // the CR after the data
        ChunkDataLf,    // the LF after the data
        TrailerStart,   // start of a trailer field line, or the empty line that ends the message
        TrailerLine,    // inside a trailer field line
        TrailerLineLf,  // CR seen at the end of a trailer field line
        FinalLf,        // CR seen on the empty line that ends the message
        Done,           // the message is complete
        Failed,         // an error was found; see GetError
    };

    enum class Error : uint8_t {
        None,
        NoResponse,               // the connection ended before any byte of a response
        BadStatusLine,            // not "HTTP/1.x" SP three digits [SP reason]
        HeadTooLarge,             // a head line or the head section past its cap
        FieldWithoutColon,        // a field line without a colon, or with an empty name
        NulInHead,                // a NUL byte in the head
        BareCrInHead,             // a CR not followed by LF in the head
        BadContentLength,         // Content-Length that is not a non-negative decimal number
        ConflictingContentLength, // Content-Length values that differ
        UnknownTransferCoding,    // a transfer coding this parser does not know
        ChunkedNotLast,           // chunked followed by another transfer coding
        BadChunkSize,             // chunk-size missing, not hexadecimal or too large
        BadChunkLine,             // a CR not followed by LF on a chunk-size line
        ChunkDataNotEnded,        // chunk data not followed by CR LF
        BadTrailer,               // trailer section too large or with a bare CR or NUL
        BodyTooLarge,             // the body passes the limit given to the parser
        Stopped,                  // the body's sink refused bytes
        Truncated,                // the connection ended inside the head or inside a framed body
    };

    // How the body of the final response is delimited (RFC 9112 section 6.3).
    enum class Framing : uint8_t { None, Length, Chunked, ToClose };

    ResponseParser();

    // A new response on the same connection.
    void Reset();
    // The response answers a HEAD request: whatever its framing fields say, it has no body. Cleared by
    // Reset.
    void SetHeadRequest(bool on) { m_headRequest = on; }
    // Largest body accepted (0: no limit); checked as each chunk size and the Content-Length is known.
    void SetBodyLimit(uint64_t limit) { m_bodyLimit = limit; }

    enum class Result : uint8_t { NeedMore, HeadDone, Done, Failed };
    // Consumes bytes from data[0, size). used tells how many were taken. The parse stops after the
    // final head (HeadDone: the caller may now look at it before feeding the body) and after the end of
    // the message (Done); bytes after it are not taken. Body bytes go to body (null: dropped); a sink
    // that refuses them fails the parse with Stopped.
    Result Feed(const uint8_t *data, size_t size, size_t &used, BodySink *body);
    // The same with the body appended to a buffer (no ceiling but the buffer's own).
    Result Feed(const uint8_t *data, size_t size, size_t &used, DataBuffer *body);
    // The connection ended: Done for a body read to the close (and for a chunked body whose last chunk
    // came without its final empty line); otherwise Failed with NoResponse or Truncated.
    Result Finish();

    // The number of body bytes that may be delivered straight into the body buffer before the parser
    // has to see framing bytes again (0 when the next bytes are not pure body data), and the report
    // of bytes delivered that way.
    uint64_t DataWanted() const;
    void DataDelivered(uint64_t n);

    State GetState() const { return m_state; }
    Error GetError() const { return m_error; }
    static const char *ErrorText(Error error);
    bool HeadComplete() const { return m_state != State::Head && m_state != State::Failed; }
    bool MessageDone() const { return m_state == State::Done; }
    // Whether any byte of a response (interim heads included) has been taken.
    bool ReceivedAny() const { return m_received != 0; }

    // The final head: status line and field lines each ending in CR LF (bare LF ends made CR LF, obs-fold
    // replaced by one SP), then the empty line. The form HttpResponseHeader::Parse reads.
    std::string_view HeadText() const { return m_head; }
    // Every head received for this response as it came, interim heads first.
    std::string_view RawHeads() const { return m_raw; }
    int StatusCode() const { return m_status; }
    int MinorVersion() const { return m_minor; }
    size_t FieldCount() const { return m_fields.size(); }
    std::string_view FieldName(size_t i) const;
    std::string_view FieldValue(size_t i) const; // without leading and trailing whitespace
    // The first field of that name (ASCII case ignored); false when there is none.
    bool FindField(std::string_view name, std::string_view &value) const;

    Framing GetFraming() const { return m_framing; }
    uint64_t ContentLength() const { return m_contentLength; }
    bool HasContentLength() const { return m_hasContentLength; }
    // Transfer codings other than the final chunked, in the order they were applied (e.g. "gzip").
    const std::vector<std::string> &TransferCodings() const { return m_codings; }
    // Whether the head allows the connection to carry another request: HTTP/1.1 without "close", or
    // HTTP/1.0 with "keep-alive"; never after a framing that the peer could mean otherwise (both
    // Transfer-Encoding and Content-Length, Transfer-Encoding in HTTP/1.0) or a 101.
    bool PersistentConnection() const { return m_persistent; }
    bool ConnectionClose() const { return m_connectionClose; }
    uint64_t BodyBytes() const { return m_bodyBytes; }
    uint32_t InterimCount() const { return m_interim; }

private:
    struct FieldSpan {
        uint32_t name, nameLen, value, valueLen; // offsets into m_head
    };

    size_t FeedHead(const uint8_t *data, size_t size);
    bool HeadLine(std::string_view line);
    bool StatusLinePrefixOk() const;
    bool StatusLine(std::string_view line);
    bool FieldLine(std::string_view line);
    bool EndOfHead();
    bool ReadFramingFields();
    bool ContentLengthValue(std::string_view value);
    bool TransferCodingValue(std::string_view value, bool &chunkedLast);
    size_t FeedBody(const uint8_t *data, size_t size, BodySink *body);
    bool ChunkSizeDone();
    bool Emit(const uint8_t *p, size_t n, BodySink *body);
    void Fail(Error error);

    State m_state = State::Head;
    Error m_error = Error::None;
    uint64_t m_bodyLimit = 0;
    uint64_t m_received = 0; // bytes taken for this response
    bool m_headRequest = false;

    // Head.
    std::string m_line; // the head line being gathered (without its line end)
    bool m_lineCr = false;
    bool m_haveStatus = false;
    uint32_t m_headBytes = 0;
    std::string m_head;
    std::string m_raw;
    std::vector<FieldSpan> m_fields;
    int m_status = 0;
    int m_minor = 1;
    uint32_t m_interim = 0;

    // Framing.
    Framing m_framing = Framing::None;
    uint64_t m_contentLength = 0;
    bool m_hasContentLength = false;
    bool m_persistent = false;
    bool m_connectionClose = false;
    std::vector<std::string> m_codings;

    // Body.
    uint64_t m_remaining = 0; // of the counted body or the current chunk
    uint64_t m_chunkSize = 0;
    uint32_t m_chunkDigits = 0;
    uint32_t m_lineBytes = 0; // of the chunk-size line or the trailer section
    uint64_t m_bodyBytes = 0;
};

} // namespace vantry
