// BodyPipe: the first bytes of a body decide its coding; a gzip body goes through GzipStream, every
// other body straight on. An unannounced gzip body whose header proves invalid is passed on as received.
#include "http/BodyPipe.h"

#include "core/LogBase.h"

namespace vantry {

namespace {

// A body is recognised as gzip by its first two bytes only when it is longer than this.
constexpr size_t kShortestMagicBody = 10;

} // namespace

BodyPipe::BodyPipe(BodySink &out, const Settings &settings, LogBase &log)
    : m_out(out), m_settings(settings), m_log(log) {}

BodyPipe::~BodyPipe() = default;

void BodyPipe::Begin() {
    m_out.Progress(0, m_settings.expected);
}

bool BodyPipe::Write(const uint8_t *bytes, size_t count) {
    if (count == 0)
        return true;
    m_raw += count;
    bool ok = true;
    switch (m_mode) {
    case Mode::Undecided:
        m_held.append(reinterpret_cast<const char *>(bytes), count);
        // Held only while the body may yet turn out to be gzip.
        if (m_held.size() > kShortestMagicBody || !MagicSoFar() ||
            (m_held.size() >= 2 && m_settings.gzipAnnounced))
            ok = Decide(false);
        break;
    case Mode::Plain:
        ok = Deliver(bytes, count);
        break;
    case Mode::Gzip:
        ok = FeedGzip(bytes, count);
        break;
    case Mode::Drained:
        break;
    }
    if (ok)
        m_out.Progress(m_raw, m_settings.expected);
    return ok;
}

// Whether the bytes held so far begin as the gzip magic does.
bool BodyPipe::MagicSoFar() const {
    return static_cast<uint8_t>(m_held[0]) == 0x1F &&
           (m_held.size() < 2 || static_cast<uint8_t>(m_held[1]) == 0x8B);
}

// The coding of the body, from its first bytes (all of them when the body ended before enough came).
bool BodyPipe::Decide(bool atEnd) {
    std::string first;
    first.swap(m_held);
    const bool magic =
        first.size() >= 2 && static_cast<uint8_t>(first[0]) == 0x1F && static_cast<uint8_t>(first[1]) == 0x8B;
    const bool longEnough = first.size() > kShortestMagicBody || !atEnd;
    if (magic && (m_settings.gzipAnnounced || (m_settings.gzipByMagic && longEnough))) {
        m_mode = Mode::Gzip;
        m_strict = m_settings.gzipAnnounced;
        m_gzip = std::make_unique<GzipStream>(m_decodedSink);
        return FeedGzip(reinterpret_cast<const uint8_t *>(first.data()), first.size());
    }
    m_mode = Mode::Plain;
    return Deliver(reinterpret_cast<const uint8_t *>(first.data()), first.size());
}

bool BodyPipe::FeedGzip(const uint8_t *bytes, size_t count) {
    const bool inHeader = m_gzip->GetState() == GzipStream::State::Header;
    if (!m_strict && inHeader) // kept until the header proves valid
        m_held.append(reinterpret_cast<const char *>(bytes), count);
    const bool fed = m_gzip->Feed(bytes, count);
    if (m_stop != Stop::None)
        return false;
    if (!fed) {
        if (m_strict)
            return Damaged();
        if (inHeader && m_gzip->GetError() != GzipStream::Error::BadData) {
            // Not a gzip member after all: the body as it came.
            std::string raw;
            raw.swap(m_held);
            m_mode = Mode::Plain;
            return Deliver(reinterpret_cast<const uint8_t *>(raw.data()), raw.size());
        }
        // Corrupt data in a body nobody announced as gzip: what decoded stands, the rest is dropped.
        m_mode = Mode::Drained;
        return true;
    }
    if (!m_strict && m_gzip->GetState() != GzipStream::State::Header)
        std::string().swap(m_held);
    return true;
}

bool BodyPipe::Finish() {
    if (m_stop != Stop::None)
        return false;
    if (m_mode == Mode::Undecided && !Decide(true))
        return false;
    if (m_mode != Mode::Gzip)
        return true;
    if (m_strict)
        return m_gzip->Intact() || Damaged();
    if (m_gzip->GetState() == GzipStream::State::Header) {
        std::string raw;
        raw.swap(m_held);
        m_mode = Mode::Plain;
        return Deliver(reinterpret_cast<const uint8_t *>(raw.data()), raw.size());
    }
    return true;
}

void BodyPipe::Cut() {
    if (m_stop != Stop::None)
        return;
    if (m_mode == Mode::Undecided) {
        Decide(true);
    } else if (m_mode == Mode::Gzip && !m_strict && m_gzip->GetState() == GzipStream::State::Header) {
        std::string raw;
        raw.swap(m_held);
        m_mode = Mode::Plain;
        Deliver(reinterpret_cast<const uint8_t *>(raw.data()), raw.size());
    }
}

bool BodyPipe::Damaged() {
    m_stop = Stop::Damaged;
    m_log.LogError("The gzip-encoded body is damaged and cannot be decoded.");
    if (m_gzip && m_gzip->GetError() != GzipStream::Error::None)
        m_log.LogData("gzipError", GzipStream::ErrorText(m_gzip->GetError()));
    return false;
}

bool BodyPipe::Deliver(const uint8_t *bytes, size_t count) {
    if (count == 0)
        return true;
    const uint64_t limit = m_settings.limit;
    if (limit != 0 && m_decoded + count > limit) {
        m_stop = Stop::OverLimit;
        m_log.LogError("Content length more than the maximum allowed...");
        m_log.LogDataUint64("maxContentLength", limit);
        return false;
    }
    m_decoded += count;
    if (m_settings.copyForCache && !m_out.Held() && !m_copyTooLarge) {
        if (m_copy.Length() + count > kMaxCacheCopy) {
            m_copyTooLarge = true;
            DataBuffer none;
            m_copy.TakeOver(&none);
        } else {
            m_copy.Append(bytes, static_cast<uint32_t>(count));
        }
    }
    if (m_out.Write(bytes, count))
        return true;
    m_stop = Stop::Refused;
    m_log.LogError("The receiver of the response body stopped the transfer.");
    return false;
}

const DataBuffer *BodyPipe::BodyForCache() const {
    if (const DataBuffer *held = m_out.Held())
        return held;
    return m_settings.copyForCache && !m_copyTooLarge ? &m_copy : nullptr;
}

} // namespace vantry
