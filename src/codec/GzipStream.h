// GzipStream: decodes one gzip member (RFC 1952) fed in pieces of any size, as a response body arrives:
// the member header, the DEFLATE data through InflateState2, then the trailer's CRC-32 and length checked
// against what was decoded. Decoded bytes go to an InflateSink as they are produced, so memory stays
// bounded whatever the size of the data.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/InflateSink.h"
#include "codec/InflateState2.h"

namespace vantry {

class GzipStream {
public:
    // Longest member header accepted (the optional extra field, name and comment included).
    static constexpr size_t kMaxHeaderBytes = 65536;

    enum class State {
        Header,  // gathering the member header
        Data,    // inflating the DEFLATE data
        Trailer, // the final block has ended; gathering the 8 trailer bytes
        Done,    // the trailer is complete; further input is ignored
        Failed,  // see GetError
    };
    enum class Error {
        None,
        BadId,          // the data does not start with 1F 8B
        BadMethod,      // a compression method other than 8 (deflate)
        HeaderTooLarge, // the header's optional fields run past kMaxHeaderBytes
        BadData,        // the DEFLATE data is corrupt
        SinkRefused,    // the sink took fewer bytes than it was given
    };

    explicit GzipStream(InflateSink &out);
    GzipStream(const GzipStream &) = delete;
    GzipStream &operator=(const GzipStream &) = delete;

    // Takes the next bytes of the member. False once the stream has failed; bytes decoded before the
    // fault have gone to the sink.
    bool Feed(const uint8_t *data, size_t count);

    State GetState() const { return m_state; }
    Error GetError() const { return m_error; }
    static const char *ErrorText(Error error);
    // The member ended whole: the final block came and the trailer matches the decoded bytes.
    bool Intact() const { return m_state == State::Done && m_trailerMatches; }
    uint64_t DecodedBytes() const { return m_counter.written; }
    // Bytes of the member header (all gathered so far while the state is Header).
    size_t HeaderBytes() const { return m_headerLength ? m_headerLength : m_header.size(); }

private:
    // Counts and checksums the decoded bytes on their way to the caller's sink.
    struct CountingSink : InflateSink {
        explicit CountingSink(InflateSink &o) : out(o) {}
        uint32_t SpaceAvailable() override { return out.SpaceAvailable(); }
        uint32_t Write(const uint8_t *bytes, uint32_t count) override;
        InflateSink &out;
        uint32_t crc = 0;
        uint64_t written = 0;
    };

    size_t FeedHeader(const uint8_t *data, size_t count);
    // Length of the complete header in m_header; 0 while more bytes are needed, or a failure set.
    size_t HeaderLength();
    bool FeedData(const uint8_t *data, size_t count, size_t &used);
    size_t FeedTrailer(const uint8_t *data, size_t count);
    bool Fail(Error error);

    State m_state = State::Header;
    Error m_error = Error::None;
    CountingSink m_counter;
    InflateState2 m_inflater;
    std::string m_header;
    size_t m_headerLength = 0;
    std::string m_recent; // the last bytes given to the inflater, where an unused tail may begin
    std::string m_trailer;
    bool m_trailerMatches = false;
};

} // namespace vantry
