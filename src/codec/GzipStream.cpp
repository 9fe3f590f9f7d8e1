// GzipStream: the member header is gathered until its optional fields are complete, the DEFLATE data
// is inflated piece by piece, and the bytes after the final block are taken as the trailer.
#include "codec/GzipStream.h"

#include <algorithm>
#include <cstring>

#include "core/Crc32.h"

namespace vantry {

namespace {

constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr size_t kFixedHeader = 10;
constexpr size_t kTrailerBytes = 8;
// The inflater may hold up to 8 bytes past its input's use in its bit buffer.
constexpr size_t kRecentBytes = 16;

uint32_t LoadLe32(const uint8_t *p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

uint32_t GzipStream::CountingSink::Write(const uint8_t *bytes, uint32_t count) {
    uint32_t taken = out.Write(bytes, count);
    crc = Crc32::Update(crc, bytes, taken);
    written += taken;
    return taken;
}

GzipStream::GzipStream(InflateSink &out) : m_counter(out) {
    m_inflater.SetSink(&m_counter);
}

const char *GzipStream::ErrorText(Error error) {
    switch (error) {
    case Error::None:
        return "";
    case Error::BadId:
        return "Invalid GZip ID";
    case Error::BadMethod:
        return "Invalid GZip compression method";
    case Error::HeaderTooLarge:
        return "The gzip member header is too large.";
    case Error::BadData:
        return "The gzip data is corrupt.";
    case Error::SinkRefused:
        return "The receiver of the decoded data refused it.";
    }
    return "";
}

bool GzipStream::Fail(Error error) {
    m_state = State::Failed;
    m_error = error;
    return false;
}

bool GzipStream::Feed(const uint8_t *data, size_t count) {
    while (count > 0) {
        size_t used = 0;
        switch (m_state) {
        case State::Header:
            used = FeedHeader(data, count);
            break;
        case State::Data:
            if (!FeedData(data, count, used))
                return false;
            break;
        case State::Trailer:
            used = FeedTrailer(data, count);
            break;
        case State::Done:
            return true; // a further member or trailing bytes are not decoded
        case State::Failed:
            return false;
        }
        if (m_state == State::Failed)
            return false;
        data += used;
        count -= used;
    }
    return m_state != State::Failed;
}

// Gathers header bytes; once the header is complete, the bytes after it are handed on.
size_t GzipStream::FeedHeader(const uint8_t *data, size_t count) {
    size_t before = m_header.size();
    size_t take = std::min(count, kMaxHeaderBytes + 1 - before);
    m_header.append(reinterpret_cast<const char *>(data), take);
    size_t length = HeaderLength();
    if (m_state == State::Failed)
        return take;
    if (length == 0) {
        if (m_header.size() > kMaxHeaderBytes)
            Fail(Error::HeaderTooLarge);
        return take;
    }
    m_headerLength = length;
    m_state = State::Data;
    // What was gathered past the header belongs to the DEFLATE data.
    size_t extra = m_header.size() - length;
    m_header.resize(length);
    return take - extra;
}

size_t GzipStream::HeaderLength() {
    const auto *h = reinterpret_cast<const uint8_t *>(m_header.data());
    const size_t n = m_header.size();
    if ((n >= 1 && h[0] != 0x1F) || (n >= 2 && h[1] != 0x8B)) {
        Fail(Error::BadId);
        return 0;
    }
    if (n >= 3 && h[2] != 8) {
        Fail(Error::BadMethod);
        return 0;
    }
    if (n < kFixedHeader)
        return 0;
    const uint8_t flags = h[3];
    size_t at = kFixedHeader;
    if (flags & kFlagExtra) {
        if (n < at + 2)
            return 0;
        at += 2 + (h[at] | (size_t(h[at + 1]) << 8));
    }
    for (uint8_t flag : {kFlagName, kFlagComment}) {
        if (!(flags & flag))
            continue;
        if (at >= n)
            return 0;
        const void *zero = std::memchr(h + at, 0, n - at);
        if (!zero)
            return 0;
        at = static_cast<size_t>(static_cast<const uint8_t *>(zero) - h) + 1;
    }
    if (flags & kFlagHeaderCrc) // present, not verified
        at += 2;
    return at <= n ? at : 0;
}

bool GzipStream::FeedData(const uint8_t *data, size_t count, size_t &used) {
    // The inflater takes at most 4 GiB - 1 per call.
    size_t piece = std::min<size_t>(count, 0x40000000);
    m_inflater.Inflate(data, static_cast<uint32_t>(piece));
    switch (m_inflater.GetStatus()) {
    case InflateState2::Status::InProgress:
        break;
    case InflateState2::Status::BadData:
        return Fail(Error::BadData);
    case InflateState2::Status::SinkFull:
        return Fail(Error::SinkRefused);
    case InflateState2::Status::Done: {
        // The bytes the DEFLATE data did not use start the trailer: the end of this piece, and when the
        // bit buffer held more than the piece, the end of the bytes before it.
        size_t unused = m_inflater.UnusedInput();
        std::string tail;
        if (unused > piece) {
            size_t earlier = std::min(unused - piece, m_recent.size());
            tail.assign(m_recent, m_recent.size() - earlier, earlier);
            unused = piece;
        }
        tail.append(reinterpret_cast<const char *>(data + piece - unused), unused);
        m_state = State::Trailer;
        used = piece;
        FeedTrailer(reinterpret_cast<const uint8_t *>(tail.data()), tail.size());
        return true;
    }
    }
    if (piece >= kRecentBytes) {
        m_recent.assign(reinterpret_cast<const char *>(data + piece - kRecentBytes), kRecentBytes);
    } else {
        m_recent.append(reinterpret_cast<const char *>(data), piece);
        if (m_recent.size() > kRecentBytes)
            m_recent.erase(0, m_recent.size() - kRecentBytes);
    }
    used = piece;
    return true;
}

size_t GzipStream::FeedTrailer(const uint8_t *data, size_t count) {
    size_t take = std::min(count, kTrailerBytes - m_trailer.size());
    m_trailer.append(reinterpret_cast<const char *>(data), take);
    if (m_trailer.size() == kTrailerBytes) {
        const auto *t = reinterpret_cast<const uint8_t *>(m_trailer.data());
        m_trailerMatches = LoadLe32(t) == m_counter.crc &&
                           LoadLe32(t + 4) == static_cast<uint32_t>(m_counter.written & 0xFFFFFFFFu);
        m_state = State::Done;
    }
    return take;
}

} // namespace vantry
