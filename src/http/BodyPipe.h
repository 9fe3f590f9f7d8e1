// BodyPipe: the GET engine's stage between the response framing and the caller's BodySink. It counts
// the bytes as they came (for progress), decodes a gzip body on the way (one the head announces, and,
// when the settings ask for it, one recognised by its first bytes alone), holds the decoded body to the
// size limit, and keeps a bounded copy for the cache when the caller's sink does not hold the body itself.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "codec/GzipStream.h"
#include "core/DataBuffer.h"
#include "http/BodySink.h"

namespace vantry {

class LogBase;

class BodyPipe : public BodySink {
public:
    // The largest body copied for the cache when the caller's sink does not keep it.
    static constexpr uint32_t kMaxCacheCopy = 32u << 20;

    struct Settings {
        uint64_t limit = 0;         // largest decoded body (0: none)
        int64_t expected = -1;      // the length the head announced, -1 when none
        bool gzipAnnounced = false; // Content-Encoding or Transfer-Encoding names gzip
        bool gzipByMagic = true;    // decode a body starting 1F 8B whatever the head says
        bool copyForCache = false;  // keep a copy of the decoded body for the cache
    };

    BodyPipe(BodySink &out, const Settings &settings, LogBase &log);
    ~BodyPipe() override;

    // Tells the caller's sink that the body begins (Progress with 0).
    void Begin();
    // Raw body bytes from the framing.
    bool Write(const uint8_t *bytes, size_t count) override;
    // The body has ended: bytes still held go out, and an announced gzip body must have decoded whole.
    bool Finish();
    // The body was cut short (the connection failed): bytes still held go out as far as they can, so
    // the caller has everything that came.
    void Cut();

    enum class Stop { None, OverLimit, Damaged, Refused };
    Stop Stopped() const { return m_stop; }
    uint64_t RawBytes() const { return m_raw; }
    uint64_t DecodedBytes() const { return m_decoded; }
    // The decoded body for the cache: the caller's sink's own buffer, or the copy (null when the body
    // was too large to copy or no copy was asked for).
    const DataBuffer *BodyForCache() const;

private:
    // Where decoded bytes leave the gzip stream.
    struct Decoded : InflateSink {
        explicit Decoded(BodyPipe &p) : pipe(p) {}
        uint32_t SpaceAvailable() override { return 0xFFFFFFFFu; }
        uint32_t Write(const uint8_t *bytes, uint32_t count) override {
            return pipe.Deliver(bytes, count) ? count : 0;
        }
        BodyPipe &pipe;
    };
    enum class Mode { Undecided, Plain, Gzip, Drained };

    bool MagicSoFar() const;
    bool Decide(bool atEnd);
    bool FeedGzip(const uint8_t *bytes, size_t count);
    bool Deliver(const uint8_t *bytes, size_t count);
    bool Damaged();

    BodySink &m_out;
    Settings m_settings;
    LogBase &m_log;
    Mode m_mode = Mode::Undecided;
    bool m_strict = false; // gzip announced: the body must decode whole
    std::string m_held;    // bytes kept until the body's coding is known (and, for an unannounced gzip
                           // body, until its header has proved valid)
    Decoded m_decodedSink{*this};
    std::unique_ptr<GzipStream> m_gzip;
    uint64_t m_raw = 0;
    uint64_t m_decoded = 0;
    Stop m_stop = Stop::None;
    DataBuffer m_copy;
    bool m_copyTooLarge = false;
};

} // namespace vantry
