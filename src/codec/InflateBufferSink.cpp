// InflateBufferSink: appends decoded spans to a DataBuffer, growing it geometrically so that a
// long decode does not copy the buffer once per span.
#include "codec/InflateBufferSink.h"

#include <algorithm>

#include "core/DataBuffer.h"

namespace vantry {

InflateBufferSink::InflateBufferSink(DataBuffer &out, uint32_t limit) : m_out(out), m_limit(limit) {}

InflateBufferSink::~InflateBufferSink() = default;

uint32_t InflateBufferSink::SpaceAvailable() {
    if (m_limit == 0)
        return 999999999u;
    return m_written >= m_limit ? 0 : static_cast<uint32_t>(m_limit - m_written);
}

uint32_t InflateBufferSink::Write(const uint8_t *bytes, uint32_t count) {
    if (count == 0)
        return 0;
    uint64_t need = static_cast<uint64_t>(m_out.Length()) + count;
    if (need > 0xFFFFFFFFull) {
        m_failed = true;
        return 0;
    }
    if (need > m_out.Capacity()) {
        uint64_t grown = std::max(static_cast<uint64_t>(m_out.Capacity()) * 2, need);
        if (m_hint > need)
            grown = std::max(grown, std::min(m_hint, need * 4));
        if (grown > 0xFFFFFFFFull)
            grown = need;
        m_out.EnsureCapacity(static_cast<uint32_t>(grown));
    }
    if (!m_out.Append(bytes, count)) {
        m_failed = true;
        return 0;
    }
    m_written += count;
    return count;
}

} // namespace vantry
