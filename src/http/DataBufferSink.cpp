// DataBufferSink: appends to the buffer; the announced length is reserved before the first byte.
#include "http/DataBufferSink.h"

#include <limits>

#include "core/DataBuffer.h"

namespace vantry {

namespace {
constexpr uint64_t kBufferLimit = std::numeric_limits<uint32_t>::max();
} // namespace

DataBufferSink::DataBufferSink(DataBuffer &body, uint64_t ceiling)
    : m_body(body), m_ceiling(ceiling == 0 || ceiling > kBufferLimit ? kBufferLimit : ceiling) {}

bool DataBufferSink::Write(const uint8_t *bytes, size_t count) {
    if (count == 0)
        return true;
    const uint64_t len = m_body.Length();
    if (count > kBufferLimit - len)
        return false;
    if (m_body.Capacity() - len < count) {
        // Geometric growth keeps a long body linear in its size.
        uint64_t want = static_cast<uint64_t>(m_body.Capacity()) + m_body.Capacity() / 2;
        if (want < len + count)
            want = len + count;
        if (want > kBufferLimit)
            want = kBufferLimit;
        if (!m_body.EnsureCapacity(static_cast<uint32_t>(want)))
            return false;
    }
    return m_body.Append(bytes, static_cast<uint32_t>(count));
}

void DataBufferSink::Progress(uint64_t received, int64_t expected) {
    if (received != 0 || expected <= 0)
        return;
    uint64_t want = m_body.Length() + static_cast<uint64_t>(expected);
    if (want <= m_ceiling && want > m_body.Capacity())
        m_body.EnsureCapacity(static_cast<uint32_t>(want));
}

bool DataBufferSink::Restart() {
    m_body.Clear();
    return true;
}

} // namespace vantry
