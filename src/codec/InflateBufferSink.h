// InflateBufferSink: the InflateSink that appends decoded bytes to a DataBuffer, with an optional
// limit on the total it accepts. Used by Gzip.
#pragma once
#include <cstdint>

#include "codec/InflateSink.h"

namespace vantry {

class DataBuffer;

class InflateBufferSink : public InflateSink {
public:
    // limit 0 means no limit: the sink then answers 999999999 to SpaceAvailable.
    explicit InflateBufferSink(DataBuffer &out, uint32_t limit = 0);
    ~InflateBufferSink() override;

    uint32_t SpaceAvailable() override;
    uint32_t Write(const uint8_t *bytes, uint32_t count) override;

    // The size the data claims to decode to. Growth past the current capacity goes straight to it,
    // but never beyond four times what has really arrived, so a false claim costs little.
    void SetSizeHint(uint64_t hint) { m_hint = hint; }

    bool WriteFailed() const { return m_failed; }
    uint64_t Written() const { return m_written; }

private:
    DataBuffer &m_out;
    uint32_t m_limit;
    uint64_t m_written = 0;
    uint64_t m_hint = 0;
    bool m_failed = false;
};

} // namespace vantry
