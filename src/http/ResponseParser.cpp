// ResponseParser: the head is gathered line by line (bare LF accepted as a line end, obs-fold unfolded),
// checked, and its framing fields read once it is complete; the body is then taken by its framing, the
// chunked coding one named state at a time.
#include "http/ResponseParser.h"

#include <cstring>
#include <limits>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "http/DataBufferSink.h"

namespace vantry {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && ascii::IsSpaceOrTab(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ascii::IsSpaceOrTab(s.back()))
        s.remove_suffix(1);
    return s;
}

// Calls fn with each trimmed element of a comma-separated list (empty elements included).
template <typename Fn> bool ForEachListElement(std::string_view list, Fn fn) {
    for (;;) {
        size_t comma = list.find(',');
        if (!fn(TrimBlanks(list.substr(0, comma))))
            return false;
        if (comma == std::string_view::npos)
            return true;
        list.remove_prefix(comma + 1);
    }
}

} // namespace

ResponseParser::ResponseParser() {
    Reset();
}

void ResponseParser::Reset() {
    m_state = State::Head;
    m_error = Error::None;
    m_received = 0;
    m_headRequest = false;
    m_line.clear();
    m_lineCr = false;
    m_haveStatus = false;
    m_headBytes = 0;
    m_head.clear();
    m_raw.clear();
    m_fields.clear();
    m_status = 0;
    m_minor = 1;
    m_interim = 0;
    m_framing = Framing::None;
    m_contentLength = 0;
    m_hasContentLength = false;
    m_persistent = false;
    m_connectionClose = false;
    m_codings.clear();
    m_remaining = 0;
    m_chunkSize = 0;
    m_chunkDigits = 0;
    m_lineBytes = 0;
    m_bodyBytes = 0;
}

const char *ResponseParser::ErrorText(Error error) {
    switch (error) {
    case Error::None:
        return "No error.";
    case Error::NoResponse:
        return "The server closed the connection without sending a response.";
    case Error::BadStatusLine:
        return "The response does not begin with a valid HTTP/1.x status line.";
    case Error::HeadTooLarge:
        return "Response header is larger than the maximum allowed.";
    case Error::FieldWithoutColon:
        return "Response header line without a colon.";
    case Error::NulInHead:
        return "Response header contains a NUL byte.";
    case Error::BareCrInHead:
        return "Response header contains a CR that does not end a line.";
    case Error::BadContentLength:
        return "Invalid Content-Length in the response.";
    case Error::ConflictingContentLength:
        return "Response has Content-Length values that differ.";
    case Error::UnknownTransferCoding:
        return "Response uses a Transfer-Encoding that cannot be decoded.";
    case Error::ChunkedNotLast:
        return "Response applies the chunked transfer coding before another one.";
    case Error::BadChunkSize:
        return "Invalid chunk size in the chunked response body.";
    case Error::BadChunkLine:
        return "Invalid line end after a chunk size.";
    case Error::ChunkDataNotEnded:
        return "Chunk data is not followed by CRLF.";
    case Error::BadTrailer:
        return "Invalid trailer section after the last chunk.";
    case Error::BodyTooLarge:
        return "Chunked response is too large.";
    case Error::Truncated:
        return "The connection closed before the end of the response.";
    case Error::Stopped:
        return "The receiver of the response body stopped the transfer.";
    }
    return "Invalid response.";
}

void ResponseParser::Fail(Error error) {
    m_state = State::Failed;
    m_error = error;
}

ResponseParser::Result ResponseParser::Feed(const uint8_t *data, size_t size, size_t &used,
                                            DataBuffer *body) {
    if (!body)
        return Feed(data, size, used, static_cast<BodySink *>(nullptr));
    DataBufferSink sink(*body, 0);
    return Feed(data, size, used, &sink);
}

ResponseParser::Result ResponseParser::Feed(const uint8_t *data, size_t size, size_t &used, BodySink *body) {
    used = 0;
    if (m_state == State::Head) {
        used = FeedHead(data, size);
        m_received += used;
        if (m_state == State::Head)
            return Result::NeedMore;
        return m_state == State::Failed ? Result::Failed : Result::HeadDone;
    }
    if (m_state == State::Failed)
        return Result::Failed;
    if (m_state == State::Done)
        return Result::Done;
    used = FeedBody(data, size, body);
    m_received += used;
    if (m_state == State::Done)
        return Result::Done;
    return m_state == State::Failed ? Result::Failed : Result::NeedMore;
}

ResponseParser::Result ResponseParser::Finish() {
    switch (m_state) {
    case State::Done:
        return Result::Done;
    case State::Failed:
        return Result::Failed;
    case State::Head:
        Fail(m_received == 0 ? Error::NoResponse : Error::Truncated);
        return Result::Failed;
    case State::HeadDone:
        if (m_framing == Framing::Chunked || (m_framing == Framing::Length && m_contentLength > 0)) {
            Fail(Error::Truncated);
            return Result::Failed;
        }
        m_state = State::Done;
        return Result::Done;
    case State::BodyToClose:
        m_state = State::Done;
        return Result::Done;
    default:
        break;
    }
    Fail(Error::Truncated);
    return Result::Failed;
}

// ---- Head ----

size_t ResponseParser::FeedHead(const uint8_t *data, size_t size) {
    size_t at = 0;
    while (at < size && m_state == State::Head) {
        const uint8_t *lf = static_cast<const uint8_t *>(std::memchr(data + at, '\n', size - at));
        size_t end = lf ? static_cast<size_t>(lf - data) : size;
        size_t piece = end - at;
        if (m_headBytes + piece + 1 > kMaxHeadBytes || m_line.size() + piece > kMaxLineBytes) {
            Fail(Error::HeadTooLarge);
            break;
        }
        m_line.append(reinterpret_cast<const char *>(data + at), piece);
        if (!m_haveStatus && !StatusLinePrefixOk()) {
            // Bytes that cannot begin a status line (an HTTP/0.9 answer, a stray line end) fail at once
            // rather than when a line end comes, if it ever does.
            Fail(Error::BadStatusLine);
            break;
        }
        m_raw.append(reinterpret_cast<const char *>(data + at), lf ? piece + 1 : piece);
        m_headBytes += static_cast<uint32_t>(lf ? piece + 1 : piece);
        at = lf ? end + 1 : end;
        if (!lf)
            break;
        std::string_view line = m_line;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool ok = HeadLine(line);
        m_line.clear();
        if (!ok)
            break;
    }
    return at;
}

bool ResponseParser::HeadLine(std::string_view line) {
    if (std::memchr(line.data(), '\0', line.size())) {
        Fail(Error::NulInHead);
        return false;
    }
    if (std::memchr(line.data(), '\r', line.size())) {
        Fail(Error::BareCrInHead);
        return false;
    }
    if (!m_haveStatus)
        return StatusLine(line);
    if (line.empty())
        return EndOfHead();
    if (ascii::IsSpaceOrTab(line.front())) {
        // obs-fold: the continuation joins the field before it with one SP. Whitespace lines between the
        // status line and the first field are passed over.
        std::string_view more = TrimBlanks(line);
        if (m_fields.empty() || more.empty())
            return true;
        FieldSpan &f = m_fields.back();
        m_head.resize(m_head.size() - 2); // the CR LF of the field's line
        m_head.push_back(' ');
        if (f.valueLen == 0)
            f.value = static_cast<uint32_t>(m_head.size());
        m_head.append(more);
        f.valueLen = static_cast<uint32_t>(m_head.size()) - f.value;
        m_head.append("\r\n");
        if (m_head.size() - f.name > kMaxLineBytes) {
            Fail(Error::HeadTooLarge);
            return false;
        }
        return true;
    }
    return FieldLine(line);
}

bool ResponseParser::StatusLinePrefixOk() const {
    static constexpr std::string_view kPrefix = "HTTP/1.";
    size_t n = m_line.size() < kPrefix.size() ? m_line.size() : kPrefix.size();
    return std::string_view(m_line).substr(0, n) == kPrefix.substr(0, n);
}

bool ResponseParser::StatusLine(std::string_view line) {
    // HTTP-version SP status-code [SP reason-phrase]; a missing reason phrase (and its SP) is accepted.
    if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || !ascii::IsDigit(line[7]) ||
        !ascii::IsSpaceOrTab(line[8])) {
        Fail(Error::BadStatusLine);
        return false;
    }
    size_t at = 8;
    while (at < line.size() && ascii::IsSpaceOrTab(line[at]))
        ++at;
    if (at + 3 > line.size() || !ascii::IsDigit(line[at]) || !ascii::IsDigit(line[at + 1]) ||
        !ascii::IsDigit(line[at + 2]) || line[at] == '0' ||
        (at + 3 < line.size() && !ascii::IsSpaceOrTab(line[at + 3]))) {
        Fail(Error::BadStatusLine);
        return false;
    }
    m_minor = line[7] - '0';
    m_status = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
    m_haveStatus = true;
    m_head.assign(line);
    m_head.append("\r\n");
    return true;
}

bool ResponseParser::FieldLine(std::string_view line) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        Fail(Error::FieldWithoutColon);
        return false;
    }
    std::string_view name = TrimBlanks(line.substr(0, colon));
    if (name.empty())
        return true; // a field without a name says nothing: passed over
    std::string_view value = TrimBlanks(line.substr(colon + 1));
    FieldSpan f;
    f.name = static_cast<uint32_t>(m_head.size());
    f.nameLen = static_cast<uint32_t>(name.size());
    f.value = f.name + static_cast<uint32_t>(value.data() - line.data());
    f.valueLen = static_cast<uint32_t>(value.size());
    if (value.empty())
        f.value = f.name + static_cast<uint32_t>(line.size());
    m_head.append(line);
    m_head.append("\r\n");
    m_fields.push_back(f);
    return true;
}

bool ResponseParser::EndOfHead() {
    m_head.append("\r\n");
    if (m_status >= 100 && m_status <= 199 && m_status != 101) {
        // An interim response: the final one follows on the same connection.
        ++m_interim;
        m_haveStatus = false;
        m_head.clear();
        m_fields.clear();
        m_status = 0;
        return true;
    }
    if (!ReadFramingFields())
        return false;
    m_state = State::HeadDone;
    return true;
}

std::string_view ResponseParser::FieldName(size_t i) const {
    return std::string_view(m_head).substr(m_fields[i].name, m_fields[i].nameLen);
}

std::string_view ResponseParser::FieldValue(size_t i) const {
    return std::string_view(m_head).substr(m_fields[i].value, m_fields[i].valueLen);
}

bool ResponseParser::FindField(std::string_view name, std::string_view &value) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (ascii::EqualsNoCase(FieldName(i), name)) {
            value = FieldValue(i);
            return true;
        }
    }
    return false;
}

bool ResponseParser::ContentLengthValue(std::string_view value) {
    return ForEachListElement(value, [this](std::string_view element) {
        if (element.empty() || element.size() > 18) {
            Fail(Error::BadContentLength);
            return false;
        }
        uint64_t n = 0;
        for (char c : element) {
            if (!ascii::IsDigit(c)) {
                Fail(Error::BadContentLength);
                return false;
            }
            n = n * 10 + static_cast<uint64_t>(c - '0');
        }
        if (m_hasContentLength && n != m_contentLength) {
            Fail(Error::ConflictingContentLength);
            return false;
        }
        m_hasContentLength = true;
        m_contentLength = n;
        return true;
    });
}

// Collects the codings of one Transfer-Encoding field; chunkedLast tells whether the list so far ends in
// chunked. Parameters after ";" are ignored.
bool ResponseParser::TransferCodingValue(std::string_view value, bool &chunkedLast) {
    return ForEachListElement(value, [&](std::string_view element) {
        std::string_view coding = TrimBlanks(element.substr(0, element.find(';')));
        if (coding.empty())
            return true; // an empty list element is ignored (RFC 9110 section 5.6.1)
        if (chunkedLast) {
            // chunked applied before another coding: a framing this parser cannot undo.
            Fail(Error::ChunkedNotLast);
            return false;
        }
        if (ascii::EqualsNoCase(coding, "chunked")) {
            chunkedLast = true;
        } else if (ascii::EqualsNoCase(coding, "gzip") || ascii::EqualsNoCase(coding, "x-gzip")) {
            m_codings.push_back("gzip");
        } else if (!ascii::EqualsNoCase(coding, "identity")) {
            Fail(Error::UnknownTransferCoding);
            return false;
        }
        return true;
    });
}

bool ResponseParser::ReadFramingFields() {
    bool keepAlive = false;
    bool haveTransferEncoding = false;
    bool chunkedLast = false;
    // A 101 to a request that asked for no upgrade ends HTTP on this connection: what follows is read to
    // the close as its body.
    bool bodyless = (m_status >= 100 && m_status <= 199 && m_status != 101) || m_status == 204 ||
                    m_status == 304 || (m_headRequest && m_status >= 200);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        std::string_view name = FieldName(i);
        std::string_view value = FieldValue(i);
        if (ascii::EqualsNoCase(name, "Connection")) {
            ForEachListElement(value, [&](std::string_view token) {
                if (ascii::EqualsNoCase(token, "close"))
                    m_connectionClose = true;
                else if (ascii::EqualsNoCase(token, "keep-alive"))
                    keepAlive = true;
                return true;
            });
        } else if (bodyless) {
            continue; // the head alone is the message, whatever its framing fields say
        } else if (ascii::EqualsNoCase(name, "Content-Length")) {
            if (!ContentLengthValue(value))
                return false;
        } else if (ascii::EqualsNoCase(name, "Transfer-Encoding")) {
            haveTransferEncoding = true;
            if (!TransferCodingValue(value, chunkedLast))
                return false;
        }
    }
    m_persistent = !m_connectionClose && (m_minor >= 1 || keepAlive) && m_status != 101;
    if (bodyless) {
        m_framing = Framing::None;
        return true;
    }
    if (haveTransferEncoding) {
        // Transfer-Encoding wins over Content-Length; a peer that sends both (or Transfer-Encoding in
        // HTTP/1.0) may frame the message otherwise than we read it, so the connection is not kept.
        m_framing = chunkedLast ? Framing::Chunked : Framing::ToClose;
        if (m_hasContentLength || m_minor == 0)
            m_persistent = false;
        m_hasContentLength = false;
        m_contentLength = 0;
    } else if (m_hasContentLength) {
        m_framing = Framing::Length;
    } else {
        m_framing = Framing::ToClose;
    }
    if (m_framing == Framing::ToClose)
        m_persistent = false;
    return true;
}

// ---- Body ----

bool ResponseParser::Emit(const uint8_t *p, size_t n, BodySink *body) {
    m_bodyBytes += n;
    if (!body || n == 0 || body->Write(p, n))
        return true;
    Fail(Error::Stopped);
    return false;
}

uint64_t ResponseParser::DataWanted() const {
    switch (m_state) {
    case State::BodyCounted:
    case State::ChunkData:
        return m_remaining;
    case State::BodyToClose:
        if (m_bodyLimit == 0)
            return std::numeric_limits<uint64_t>::max();
        return m_bodyBytes <= m_bodyLimit ? m_bodyLimit + 1 - m_bodyBytes : 0;
    default:
        return 0;
    }
}

void ResponseParser::DataDelivered(uint64_t n) {
    m_received += n;
    m_bodyBytes += n;
    if (m_state == State::BodyCounted || m_state == State::ChunkData) {
        m_remaining -= n < m_remaining ? n : m_remaining;
        if (m_remaining == 0)
            m_state = m_state == State::BodyCounted ? State::Done : State::ChunkDataCr;
    } else if (m_state == State::BodyToClose && m_bodyLimit && m_bodyBytes > m_bodyLimit) {
        Fail(Error::BodyTooLarge);
    }
}

bool ResponseParser::ChunkSizeDone() {
    if (m_chunkSize == 0) {
        m_state = State::TrailerStart;
        m_lineBytes = 0;
        return true;
    }
    if (m_bodyLimit && m_bodyBytes + m_chunkSize > m_bodyLimit) {
        Fail(Error::BodyTooLarge);
        return false;
    }
    m_remaining = m_chunkSize;
    m_state = State::ChunkData;
    return true;
}

size_t ResponseParser::FeedBody(const uint8_t *data, size_t size, BodySink *body) {
    if (m_state == State::HeadDone) {
        switch (m_framing) {
        case Framing::None:
            m_state = State::Done;
            return 0;
        case Framing::Length:
            if (m_contentLength == 0) {
                m_state = State::Done;
                return 0;
            }
            if (m_bodyLimit && m_contentLength > m_bodyLimit) {
                Fail(Error::BodyTooLarge);
                return 0;
            }
            m_remaining = m_contentLength;
            m_state = State::BodyCounted;
            break;
        case Framing::Chunked:
            m_state = State::ChunkSize;
            m_chunkSize = 0;
            m_chunkDigits = 0;
            m_lineBytes = 0;
            break;
        case Framing::ToClose:
            m_state = State::BodyToClose;
            break;
        }
    }
    size_t at = 0;
    while (at < size) {
        switch (m_state) {
        case State::BodyCounted:
        case State::ChunkData: {
            size_t take = size - at;
            if (take > m_remaining)
                take = static_cast<size_t>(m_remaining);
            if (!Emit(data + at, take, body))
                return at + take;
            at += take;
            m_remaining -= take;
            if (m_remaining == 0) {
                if (m_state == State::BodyCounted) {
                    m_state = State::Done;
                    return at;
                }
                m_state = State::ChunkDataCr;
            }
            break;
        }
        case State::BodyToClose: {
            size_t take = size - at;
            if (m_bodyLimit && m_bodyBytes + take > m_bodyLimit) {
                // The body stops at the limit: the bytes up to it are kept, the rest refused.
                size_t fits = static_cast<size_t>(m_bodyLimit - m_bodyBytes);
                if (Emit(data + at, fits, body))
                    Fail(Error::BodyTooLarge);
                return at + fits + 1;
            }
            if (!Emit(data + at, take, body))
                return at + take;
            at += take;
            break;
        }
        case State::ChunkSize: {
            uint8_t c = data[at++];
            if (++m_lineBytes > kMaxChunkLineBytes) {
                Fail(Error::BadChunkSize);
                return at;
            }
            int v = ascii::HexValue(static_cast<char>(c));
            if (v >= 0) {
                if (m_chunkSize > (std::numeric_limits<uint64_t>::max() >> 8)) {
                    Fail(Error::BadChunkSize);
                    return at;
                }
                m_chunkSize = m_chunkSize * 16 + static_cast<uint64_t>(v);
                ++m_chunkDigits;
            } else if (m_chunkDigits == 0 || c == '\0') {
                Fail(Error::BadChunkSize);
                return at;
            } else if (c == '\r') {
                m_state = State::ChunkSizeLf;
            } else if (c == '\n') {
                if (!ChunkSizeDone())
                    return at;
            } else {
                m_state = State::ChunkExtension;
            }
            break;
        }
        case State::ChunkExtension: {
            // chunk-ext (";" name [= value], with BWS) up to the line end. Extensions carry nothing this
            // client uses; whatever follows the size on its line is passed over, as common clients do.
            uint8_t c = data[at++];
            if (++m_lineBytes > kMaxChunkLineBytes || c == '\0') {
                Fail(Error::BadChunkSize);
                return at;
            }
            if (c == '\r') {
                m_state = State::ChunkSizeLf;
            } else if (c == '\n') {
                if (!ChunkSizeDone())
                    return at;
            }
            break;
        }
        case State::ChunkSizeLf:
            if (data[at++] != '\n') {
                Fail(Error::BadChunkLine);
                return at;
            }
            if (!ChunkSizeDone())
                return at;
            break;
        case State::ChunkDataCr: {
            uint8_t c = data[at++];
            if (c == '\r') {
                m_state = State::ChunkDataLf;
            } else if (c == '\n') {
                m_state = State::ChunkSize;
                m_chunkSize = 0;
                m_chunkDigits = 0;
                m_lineBytes = 0;
            } else {
                Fail(Error::ChunkDataNotEnded);
                return at;
            }
            break;
        }
        case State::ChunkDataLf:
            if (data[at++] != '\n') {
                Fail(Error::ChunkDataNotEnded);
                return at;
            }
            m_state = State::ChunkSize;
            m_chunkSize = 0;
            m_chunkDigits = 0;
            m_lineBytes = 0;
            break;
        case State::TrailerStart:
        case State::TrailerLine: {
            uint8_t c = data[at++];
            if (++m_lineBytes > kMaxHeadBytes || c == '\0') {
                Fail(Error::BadTrailer);
                return at;
            }
            if (c == '\r') {
                m_state = m_state == State::TrailerStart ? State::FinalLf : State::TrailerLineLf;
            } else if (c == '\n') {
                if (m_state == State::TrailerStart) {
                    m_state = State::Done;
                    return at;
                }
                m_state = State::TrailerStart;
            } else {
                m_state = State::TrailerLine;
            }
            break;
        }
        case State::TrailerLineLf:
        case State::FinalLf: {
            bool final = m_state == State::FinalLf;
            if (data[at++] != '\n') {
                Fail(Error::BadTrailer);
                return at;
            }
            if (final) {
                m_state = State::Done;
                return at;
            }
            m_state = State::TrailerStart;
            break;
        }
        default:
            return at;
        }
    }
    return at;
}

} // namespace vantry
