// DataBufferSink: the in-memory kind of BodySink: the body is appended to a DataBuffer, which grows
// geometrically (and once to the announced length), up to a ceiling that keeps memory bounded.
#pragma once
#include <cstdint>

#include "http/BodySink.h"

namespace vantry {

class DataBuffer;

class DataBufferSink : public BodySink {
public:
    // The largest body held in memory unless a caller asks for another ceiling.
    static constexpr uint64_t kDefaultCeiling = 201326592;

    // ceiling 0: only the buffer's own 4 GiB limit.
    explicit DataBufferSink(DataBuffer &body, uint64_t ceiling = kDefaultCeiling);

    bool Write(const uint8_t *bytes, size_t count) override;
    void Progress(uint64_t received, int64_t expected) override;
    uint64_t Ceiling() const override { return m_ceiling; }
    const DataBuffer *Held() const override { return &m_body; }
    bool Restart() override;

private:
    DataBuffer &m_body;
    uint64_t m_ceiling;
};

} // namespace vantry
