// MultiByteTable: one multi-byte code page (932, 936, 949, 950, 1361, 10001, 51932, 51936, 51949),
// unpacked from its stored form on first use into direct two-level decode and encode tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace vantry {

struct Utf16Text;

class MultiByteTable {
public:
    ~MultiByteTable();
    MultiByteTable(const MultiByteTable &) = delete;
    MultiByteTable &operator=(const MultiByteTable &) = delete;

    // Unpacks a stored table: format letter, then Base64 ("x": the table bytes; any other letter: the
    // compressed container). Null for a damaged table.
    static MultiByteTable *FromStored(int32_t codePage, const char *stored);
    // Builds from the table bytes: flag byte ("a": bytes below 0x80 are themselves), coding byte
    // ("d": running differences as varints), then the code list.
    static MultiByteTable *FromTableBytes(int32_t codePage, const uint8_t *bytes, size_t count);

    int32_t CodePage() const { return m_codePage; }
    bool AsciiIsSelf() const { return m_asciiSelf; }

    // Decodes the input into units; an undecodable byte becomes a mark that counts as a failure.
    void Decode(const uint8_t *bytes, size_t count, Utf16Text &out) const;
    // Writes the code of a unit (1 to 4 bytes) and returns its length; 0 when the page has none.
    int Encode(uint16_t unit, uint8_t *out) const {
        if (unit < 0x80 && m_asciiSelf) {
            *out = static_cast<uint8_t>(unit);
            return 1;
        }
        const uint16_t *block = m_encode[unit >> 8];
        uint16_t code = block != nullptr ? block[unit & 0xFF] : 0;
        if (code != 0) {
            if (code < 0x100) {
                out[0] = static_cast<uint8_t>(code);
                return 1;
            }
            out[0] = static_cast<uint8_t>(code >> 8);
            out[1] = static_cast<uint8_t>(code);
            return 2;
        }
        if (unit == 0) {
            *out = 0;
            return 1;
        }
        return m_encodeLong.empty() ? 0 : EncodeLong(unit, out);
    }
    // The code (bytes as a big-endian number) for each table entry, for tests: calls f(code, unit).
    template <typename F> void ForEachDecodeEntry(F f) const {
        for (int b = 0; b < 256; ++b)
            if (m_singleMapped[b])
                f(static_cast<uint32_t>(b), m_single[b]);
        for (int lead = 0; lead < 256; ++lead)
            if (m_lead[lead] != nullptr)
                for (int t = 0; t < 256; ++t)
                    if (m_lead[lead][t] != 0)
                        f(static_cast<uint32_t>((lead << 8) | t), m_lead[lead][t]);
        for (const auto &kv : m_long)
            f(kv.first, kv.second);
    }
    size_t MemoryUsed() const;

private:
    explicit MultiByteTable(int32_t codePage) : m_codePage(codePage) {}
    void AddDecode(uint32_t code, uint16_t unit);
    void SetEncode(uint16_t unit, uint32_t code);
    int EncodeLong(uint16_t unit, uint8_t *out) const;

    int32_t m_codePage;
    bool m_asciiSelf = false;
    bool m_hasLong = false;
    uint16_t m_single[256] = {};
    bool m_singleMapped[256] = {};
    uint16_t *m_lead[256] = {};                    // two-byte codes: lead byte -> 256 units (0 = none)
    uint16_t *m_encode[256] = {};                  // unit high byte -> 256 codes (0 = none; < 0x100 one byte)
    std::unordered_map<uint32_t, uint16_t> m_long; // three- and four-byte codes
    std::unordered_map<uint16_t, uint32_t> m_encodeLong; // units whose code is three or four bytes
    int m_blocks = 0;
};

} // namespace vantry
