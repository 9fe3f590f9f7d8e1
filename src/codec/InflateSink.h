// InflateSink: where InflateState2 delivers decoded bytes, one window span at a time.
// Implementations: InflateBufferSink (appends to a DataBuffer); tests and tools may add their own.
#pragma once
#include <cstdint>

namespace vantry {

class InflateSink {
public:
    virtual ~InflateSink() = default;
    // How many more bytes the sink can take. A span larger than this is not offered; decoding stops.
    virtual uint32_t SpaceAvailable() = 0;
    // Takes count bytes; returns how many were actually taken (fewer means the sink failed).
    virtual uint32_t Write(const uint8_t *bytes, uint32_t count) = 0;
};

} // namespace vantry
