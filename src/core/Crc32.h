// Crc32: CRC-32 of the zip/ISO-HDLC kind (reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF), used for HashMap buckets and by the HTTP cache.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class Crc32 {
public:
    // Continues a running CRC the way zlib's crc32 does: start from 0 and feed pieces in order.
    static uint32_t Update(uint32_t crc, const void *data, size_t length);
    static uint32_t Compute(const void *data, size_t length) { return Update(0, data, length); }
    // Table-only path (no carry-less multiply), exposed so both paths can be checked.
    static uint32_t UpdatePortable(uint32_t crc, const void *data, size_t length);
};

} // namespace vantry
