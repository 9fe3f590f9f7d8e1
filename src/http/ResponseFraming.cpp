// ResponseFraming: reading one response head and body from a ByteSource, with the head, line and body
// caps and the overall deadline; the body rules are those of a plain HTTP/1.1 connection.
#include "http/ResponseFraming.h"

#include <cstring>

#include "core/AsciiText.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "http/ByteSource.h"
#include "http/HttpResponseHeader.h"
#include "platform/Clock.h"

namespace vantry {

void ResponseFraming::Reset() {
    m_pos = 0;
    m_end = 0;
    m_deadlineHit = false;
}

void ResponseFraming::SetDeadline(bool on, uint32_t deadlineTick, int seconds) {
    m_hasDeadline = on;
    m_deadline = deadlineTick;
    m_deadlineSeconds = seconds;
    m_deadlineHit = false;
}

bool ResponseFraming::DeadlinePassed() const {
    return m_hasDeadline && static_cast<int32_t>(m_deadline - platform::GetTickCount()) <= 0;
}

void ResponseFraming::LogDeadline(LogBase &log) const {
    log.LogError("The exchange took longer than MaxExchangeSeconds allows.");
    log.LogDataInt("MaxExchangeSeconds", m_deadlineSeconds);
}

// One receive of at most room bytes, its wait cut to what the exchange's deadline leaves. A failure
// that the deadline caused is logged as such.
ResponseFraming::Receipt ResponseFraming::ReceiveBounded(ByteSource &src, uint8_t *dest, uint32_t room,
                                                         uint32_t &got, LogBase &log) {
    got = 0;
    uint32_t saved = 0;
    bool capped = false;
    if (m_hasDeadline) {
        int32_t left = static_cast<int32_t>(m_deadline - platform::GetTickCount());
        if (left <= 0) {
            m_deadlineHit = true;
            LogDeadline(log);
            return Receipt::Deadline;
        }
        saved = src.ReadTimeoutMs();
        if (static_cast<uint32_t>(left) < saved) {
            src.SetReadTimeoutMs(static_cast<uint32_t>(left));
            capped = true;
        }
    }
    bool timedOut = false;
    bool ok = src.Receive(dest, room, got, timedOut, log);
    if (capped)
        src.SetReadTimeoutMs(saved);
    if (ok)
        return Receipt::Got;
    if (timedOut && DeadlinePassed()) {
        m_deadlineHit = true;
        LogDeadline(log);
        return Receipt::Deadline;
    }
    return Receipt::Failed;
}

// One receive into the read-ahead block, waiting at most until the deadline.
bool ResponseFraming::Fill(ByteSource &src, LogBase &log) {
    m_deadlineHit = false;
    if (!m_block)
        m_block = std::make_unique<uint8_t[]>(kBlockSize);
    if (m_pos == m_end)
        m_pos = m_end = 0;
    else if (m_end == kBlockSize) {
        std::memmove(m_block.get(), m_block.get() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    uint32_t got = 0;
    if (ReceiveBounded(src, m_block.get() + m_end, kBlockSize - m_end, got, log) != Receipt::Got)
        return false;
    m_end += got;
    return true;
}

bool ResponseFraming::ReadHead(ByteSource &src, DataBuffer &head, LogBase &log) {
    uint32_t sinceLf = 0; // bytes other than CR since the last LF
    uint32_t taken = 0;
    for (;;) {
        if (Buffered() == 0 && !Fill(src, log))
            return false;
        const uint8_t *p = m_block.get() + m_pos;
        uint32_t n = Buffered();
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t c = p[i];
            if (c == '\n') {
                if (sinceLf == 0) {
                    head.Append(p, i + 1);
                    m_pos += i + 1;
                    return true;
                }
                sinceLf = 0;
            } else if (c != '\r')
                ++sinceLf;
            if (++taken > kMaxHeadBytes) {
                log.LogError("Response header is larger than the maximum allowed.");
                log.LogDataInt("maxHeaderSize", static_cast<int32_t>(kMaxHeadBytes));
                return false;
            }
        }
        head.Append(p, n);
        m_pos += n;
    }
}

bool ResponseFraming::ReadLine(ByteSource &src, DataBuffer &line, LogBase &log) {
    uint32_t sinceEnd = 0; // bytes since the last CR or LF
    uint32_t taken = 0;
    for (;;) {
        if (Buffered() == 0 && !Fill(src, log))
            return false;
        const uint8_t *p = m_block.get() + m_pos;
        uint32_t n = Buffered();
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t c = p[i];
            if (c == '\n') {
                if (sinceEnd == 0) {
                    line.Append(p, i + 1);
                    m_pos += i + 1;
                    return true;
                }
                sinceEnd = 0;
            } else if (c == '\r')
                sinceEnd = 0;
            else
                ++sinceEnd;
            if (++taken > kMaxLineBytes) {
                log.LogError("Response line is longer than the maximum allowed.");
                return false;
            }
        }
        line.Append(p, n);
        m_pos += n;
    }
}

// Moves up to n read-ahead bytes to out, then receives the rest straight into out's own block.
bool ResponseFraming::Consume(ByteSource &src, uint32_t n, DataBuffer &out, LogBase &log) {
    uint32_t fromBlock = Buffered() < n ? Buffered() : n;
    if (fromBlock) {
        out.Append(m_block.get() + m_pos, fromBlock);
        m_pos += fromBlock;
        n -= fromBlock;
    }
    if (n == 0)
        return true;
    if (n < kBlockSize / 4) {
        // Small remainders go through the block, so bytes read ahead stay for the next read.
        while (n) {
            if (!Fill(src, log))
                return false;
            uint32_t take = Buffered() < n ? Buffered() : n;
            out.Append(m_block.get() + m_pos, take);
            m_pos += take;
            n -= take;
        }
        return true;
    }
    uint32_t len = out.Length();
    if (!out.EnsureCapacity(len + n))
        return false;
    while (n) {
        uint32_t got = 0;
        if (ReceiveBounded(src, out.Data() + len, n, got, log) != Receipt::Got)
            return false;
        len += got;
        n -= got;
        out.SetLength(len);
    }
    return true;
}

bool ResponseFraming::ReadCount(ByteSource &src, uint32_t n, DataBuffer &out, LogBase &log) {
    return Consume(src, n, out, log);
}

bool ResponseFraming::ReadToEnd(ByteSource &src, DataBuffer &out, uint32_t limit, bool &overLimit,
                                LogBase &log) {
    overLimit = false;
    auto pastLimit = [&] {
        if (out.Length() <= limit)
            return false;
        overLimit = true;
        return true;
    };
    if (Buffered()) {
        out.Append(m_block.get() + m_pos, Buffered());
        m_pos = m_end = 0;
        if (pastLimit())
            return false;
    }
    for (;;) {
        uint32_t len = out.Length();
        if (out.Capacity() - len < kBlockSize) {
            // Geometric growth keeps a long body linear in its size.
            uint32_t want = out.Capacity() + out.Capacity() / 2;
            if (want < len + kBlockSize)
                want = len + kBlockSize;
            if (!out.EnsureCapacity(want))
                return false;
        }
        uint32_t room = out.Capacity() - len;
        // Never take in more than one byte past the limit.
        uint64_t allowed = static_cast<uint64_t>(limit) + 1 - len;
        if (room > allowed)
            room = static_cast<uint32_t>(allowed);
        uint32_t got = 0;
        Receipt receipt = ReceiveBounded(src, out.Data() + len, room, got, log);
        if (receipt == Receipt::Deadline)
            return false;
        if (receipt == Receipt::Failed)
            return true; // the end of the body: the peer closed or went quiet
        out.SetLength(len + got);
        if (pastLimit())
            return false;
    }
}

namespace {

bool StatusHasBody(int status, int contentLength) {
    if ((status >= 200 && status <= 299) || status == 301 || status == 302 || status == 303 || status == 307)
        return true;
    return status >= 400 && contentLength != 0;
}

// The chunk size at the start of a line; false when the line does not start with a hexadecimal digit.
bool ParseChunkSize(const DataBuffer &line, uint64_t &size) {
    size = 0;
    uint32_t i = 0;
    const uint8_t *p = line.Data();
    for (; i < line.Length(); ++i) {
        const int v = ascii::HexValue(static_cast<char>(p[i]));
        if (v < 0)
            break;
        if (size < (1ull << 40))
            size = size * 16 + v;
    }
    return i > 0;
}

} // namespace

bool ResponseFraming::ReadBody(ByteSource &src, const HttpResponseHeader &header, uint32_t maxContentLength,
                               DataBuffer &body, LogBase &log) {
    if (!StatusHasBody(header.StatusCode, header.ContentLength))
        return true;
    StringBuffer transferEncoding;
    header.GetField("Transfer-Encoding", transferEncoding);
    if (transferEncoding.EqualsNoCase("chunked"))
        return ReadChunked(src, maxContentLength, body, log);
    if (header.ContentLength != 0)
        return ReadCounted(src, header, maxContentLength, body, log);
    if (!header.ContentLengthPresent)
        return ReadUnbounded(src, maxContentLength, body, log);
    return true;
}

bool ResponseFraming::ReadChunked(ByteSource &src, uint32_t maxContentLength, DataBuffer &body,
                                  LogBase &log) {
    const uint32_t limit = maxContentLength ? maxContentLength : kMaxBodyBytes;
    for (;;) {
        DataBuffer line;
        if (!ReadLine(src, line, log)) {
            src.Close();
            log.LogError("Failed to get response data (a)");
            return false;
        }
        uint64_t size = 0;
        if (!ParseChunkSize(line, size))
            return true; // an empty line, or one that is not a size, ends the body
        if (size == 0) {
            DataBuffer end;
            if (!ReadLine(src, end, log))
                src.Close();
            return true;
        }
        // Refused before its data is read, so a hostile size costs no memory.
        if (body.Length() + size > limit) {
            src.Close();
            log.LogError("Chunked response is too large.");
            log.LogDataInt("maxContentLength", static_cast<int32_t>(limit));
            return false;
        }
        if (!ReadCount(src, static_cast<uint32_t>(size), body, log)) {
            src.Close();
            log.LogError("Failed to get response data (b)");
            return false;
        }
        DataBuffer crlf;
        if (!ReadCount(src, 2, crlf, log)) {
            src.Close();
            log.LogError("Failed to get response data (c)");
            return false;
        }
    }
}

bool ResponseFraming::ReadCounted(ByteSource &src, const HttpResponseHeader &header,
                                  uint32_t maxContentLength, DataBuffer &body, LogBase &log) {
    int declared = header.ContentLength;
    const uint32_t limit = maxContentLength ? maxContentLength : kMaxBodyBytes;
    if (declared < 0 || static_cast<uint32_t>(declared) > limit) {
        log.LogError("Content length more than the maximum allowed.");
        log.LogDataInt("maxContentLength", static_cast<int32_t>(limit));
        return false;
    }
    uint32_t before = body.Length();
    if (!ReadCount(src, static_cast<uint32_t>(declared), body, log)) {
        // A short body is not the response: the connection is out of step with the next one.
        src.Close();
        log.LogError("Response body ended before its Content-Length.");
        log.LogDataInt("contentLength", declared);
        log.LogDataInt("received", static_cast<int32_t>(body.Length() - before));
        return false;
    }
    return true;
}

bool ResponseFraming::ReadUnbounded(ByteSource &src, uint32_t maxContentLength, DataBuffer &body,
                                    LogBase &log) {
    const uint32_t limit = maxContentLength ? maxContentLength : kMaxBodyBytes;
    uint32_t saved = src.ReadTimeoutMs();
    src.SetReadTimeoutMs(kToEndTimeoutMs);
    bool overLimit = false;
    bool ok = ReadToEnd(src, body, limit, overLimit, log);
    src.SetReadTimeoutMs(saved);
    if (overLimit) {
        src.Close();
        log.LogError("Content length more than the maximum allowed...");
        log.LogDataInt("maxContentLength", static_cast<int32_t>(limit));
        return false;
    }
    return ok;
}

} // namespace vantry
