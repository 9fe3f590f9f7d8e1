// SingleByteTable: builds the encode map of a single-byte code page from its decode table.
#include "codec/SingleByteTable.h"

#include <cstdlib>

namespace vantry {

SingleByteTable::SingleByteTable(int32_t codePage, const uint16_t *decode)
    : m_codePage(codePage), m_decode(decode) {
    // Byte 0 is U+0000; every other byte maps its unit, the lowest byte winning for a shared unit.
    for (int b = 0; b < 0x80; ++b)
        if (decode[b] != b)
            m_asciiIdentity = false;
    for (int b = 255; b >= 0; --b) {
        uint16_t u = decode[b];
        if (u == 0 && b != 0)
            continue;
        uint8_t *&block = m_encode[u >> 8];
        if (block == nullptr) {
            block = static_cast<uint8_t *>(std::calloc(256, 1));
            ++m_blocks;
        }
        block[u & 0xFF] = static_cast<uint8_t>(b);
    }
}

SingleByteTable::~SingleByteTable() {
    for (uint8_t *block : m_encode)
        std::free(block);
}

size_t SingleByteTable::MemoryUsed() const {
    return sizeof(*this) + static_cast<size_t>(m_blocks) * 256;
}

} // namespace vantry
