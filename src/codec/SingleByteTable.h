// SingleByteTable: one single-byte code page: its 256-unit decode table and the encode map built from
// it on first use (a two-level table: high byte of the unit -> block of 256 target bytes).
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class SingleByteTable {
public:
    SingleByteTable(int32_t codePage, const uint16_t *decode);
    ~SingleByteTable();
    SingleByteTable(const SingleByteTable &) = delete;
    SingleByteTable &operator=(const SingleByteTable &) = delete;

    int32_t CodePage() const { return m_codePage; }
    // The unit for a byte; 0 for an unmapped byte other than 0.
    uint16_t Decode(uint8_t b) const { return m_decode[b]; }
    const uint16_t *DecodeTable() const { return m_decode; }
    // Whether bytes 0x00..0x7F are the ASCII characters (most pages but EBCDIC and ISO 646 variants).
    bool AsciiIsIdentity() const { return m_asciiIdentity; }
    // The byte for a unit into *out; false when the page has no byte for it.
    bool Encode(uint16_t unit, uint8_t *out) const {
        const uint8_t *block = m_encode[unit >> 8];
        if (block == nullptr)
            return false;
        uint8_t b = block[unit & 0xFF];
        if (b == 0 && unit != 0)
            return false;
        *out = b;
        return true;
    }
    size_t MemoryUsed() const;

private:
    int32_t m_codePage;
    const uint16_t *m_decode;
    uint8_t *m_encode[256] = {};
    int m_blocks = 0;
    bool m_asciiIdentity = true;
};

} // namespace vantry
