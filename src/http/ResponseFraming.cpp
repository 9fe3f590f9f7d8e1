// ResponseFraming: bytes go from the source through a read-ahead block into the parser; large body data
// is received straight into the body. Each receive waits at most until the exchange's deadline.
#include "http/ResponseFraming.h"

#include <cstring>

#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "http/DataBufferSink.h"
#include "platform/Clock.h"

namespace vantry {

void ResponseFraming::Reset() {
    m_pos = 0;
    m_end = 0;
    m_deadlineHit = false;
    m_ended = false;
    m_unclean = false;
    m_parser.Reset();
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

bool ResponseFraming::Reusable() const {
    return m_parser.MessageDone() && m_parser.PersistentConnection() &&
           m_parser.GetFraming() != ResponseParser::Framing::ToClose && !m_ended && Buffered() == 0;
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
    ByteSource::Status status = src.Receive(dest, room, got, log);
    if (capped)
        src.SetReadTimeoutMs(saved);
    switch (status) {
    case ByteSource::Status::Got:
        return Receipt::Got;
    case ByteSource::Status::Closed:
        m_ended = true;
        return Receipt::Closed;
    case ByteSource::Status::ClosedUnclean:
        m_ended = true;
        m_unclean = true;
        return Receipt::Unclean;
    case ByteSource::Status::TimedOut:
        if (DeadlinePassed()) {
            m_deadlineHit = true;
            LogDeadline(log);
            return Receipt::Deadline;
        }
        return Receipt::TimedOut;
    case ByteSource::Status::Failed:
        break;
    }
    return Receipt::Failed;
}

// One receive into the read-ahead block.
ResponseFraming::Receipt ResponseFraming::Fill(ByteSource &src, LogBase &log) {
    m_deadlineHit = false;
    if (!m_block)
        m_block = std::make_unique<uint8_t[]>(kBlockSize);
    if (m_pos == m_end) {
        m_pos = m_end = 0;
    } else if (m_end == kBlockSize) {
        std::memmove(m_block.get(), m_block.get() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    uint32_t got = 0;
    Receipt r = ReceiveBounded(src, m_block.get() + m_end, kBlockSize - m_end, got, log);
    m_end += got;
    return r;
}

ResponseFraming::HeadResult ResponseFraming::ReadHead(ByteSource &src, LogBase &log, bool headRequest) {
    m_parser.Reset();
    m_parser.SetHeadRequest(headRequest);
    m_overLimit = false;
    m_unclean = false;
    for (;;) {
        if (Buffered() > 0) {
            size_t used = 0;
            ResponseParser::Result r =
                m_parser.Feed(m_block.get() + m_pos, Buffered(), used, static_cast<BodySink *>(nullptr));
            m_pos += static_cast<uint32_t>(used);
            if (r == ResponseParser::Result::HeadDone)
                return HeadResult::Ok;
            if (r == ResponseParser::Result::Failed) {
                log.LogError(ResponseParser::ErrorText(m_parser.GetError()));
                if (m_parser.GetError() == ResponseParser::Error::HeadTooLarge) {
                    // Not a head to retry: the next would be as large.
                    log.LogDataInt("maxHeaderSize", static_cast<int32_t>(kMaxHeadBytes));
                    return HeadResult::Failed;
                }
                return HeadResult::Invalid;
            }
        }
        Receipt receipt = Fill(src, log);
        if (receipt == Receipt::Got)
            continue;
        bool nothing = !m_parser.ReceivedAny();
        if (receipt == Receipt::Closed || receipt == Receipt::Unclean || receipt == Receipt::Failed) {
            m_parser.Finish();
            if (nothing) {
                log.LogError(ResponseParser::ErrorText(ResponseParser::Error::NoResponse));
                return HeadResult::NoResponse;
            }
            log.LogError("The connection closed inside the response header.");
        }
        return HeadResult::Failed;
    }
}

void ResponseFraming::LogOverLimit(uint64_t limit, LogBase &log) {
    m_overLimit = true;
    log.LogError(m_parser.GetFraming() == ResponseParser::Framing::Chunked
                     ? "Chunked response is too large."
                     : "Content length more than the maximum allowed...");
    log.LogDataUint64("maxContentLength", limit);
}

// The entry for a body the stream stopped inside, by where the parser stood.
void ResponseFraming::LogBodyFailure(ResponseParser::State where, LogBase &log) const {
    using State = ResponseParser::State;
    switch (where) {
    case State::HeadDone:
    case State::BodyCounted:
        if (m_parser.GetFraming() == ResponseParser::Framing::Length) {
            log.LogError("Response body ended before its Content-Length.");
            log.LogDataUint64("contentLength", m_parser.ContentLength());
            log.LogDataUint64("received", m_parser.BodyBytes());
            return;
        }
        log.LogError("Failed to get response data (a)");
        return;
    case State::ChunkData:
        log.LogError("Failed to get response data (b)");
        return;
    case State::ChunkDataCr:
    case State::ChunkDataLf:
        log.LogError("Failed to get response data (c)");
        return;
    case State::BodyToClose:
        log.LogError("The response body without length did not end with the close of the connection.");
        return;
    default:
        log.LogError("Failed to get response data (a)");
        return;
    }
}

// The stream stopped while the body was read: the end of a body without length, or a failure.
bool ResponseFraming::FinishBody(Receipt receipt, LogBase &log) {
    ResponseParser::State where = m_parser.GetState();
    if (receipt == Receipt::Closed || receipt == Receipt::Unclean) {
        if (m_parser.Finish() == ResponseParser::Result::Done) {
            if (receipt == Receipt::Unclean && m_parser.GetFraming() == ResponseParser::Framing::ToClose)
                log.LogInfo("The TLS session ended without close_notify; the body may be cut short.");
            return true;
        }
    }
    // A read time-out or the deadline inside a body, even one without length, is a failure: a pause is
    // never the end of a body.
    LogBodyFailure(where, log);
    return false;
}

bool ResponseFraming::ReadBody(ByteSource &src, uint32_t maxContentLength, DataBuffer &body, LogBase &log) {
    DataBufferSink sink(body, 0);
    return ReadBody(src, maxContentLength ? maxContentLength : kMaxBodyBytes, sink, log);
}

bool ResponseFraming::ReadBody(ByteSource &src, uint64_t limit, BodySink &sink, LogBase &log) {
    m_overLimit = false;
    if (limit && m_parser.GetFraming() == ResponseParser::Framing::Length &&
        m_parser.ContentLength() > limit) {
        // Refused before anything is read; the connection is left out of step, so it is not kept.
        m_overLimit = true;
        log.LogError("Content length more than the maximum allowed.");
        log.LogDataUint64("maxContentLength", limit);
        return false;
    }
    m_parser.SetBodyLimit(limit);
    for (;;) {
        size_t used = 0;
        const uint8_t *at = m_block ? m_block.get() + m_pos : nullptr;
        ResponseParser::Result r = m_parser.Feed(at, Buffered(), used, &sink);
        m_pos += static_cast<uint32_t>(used);
        if (r == ResponseParser::Result::Done)
            return true;
        if (r == ResponseParser::Result::Failed) {
            if (m_parser.GetError() == ResponseParser::Error::BodyTooLarge)
                LogOverLimit(limit, log);
            else if (m_parser.GetError() != ResponseParser::Error::Stopped)
                log.LogError(ResponseParser::ErrorText(m_parser.GetError()));
            return false;
        }
        Receipt receipt = Fill(src, log);
        if (receipt != Receipt::Got)
            return FinishBody(receipt, log);
    }
}

} // namespace vantry
