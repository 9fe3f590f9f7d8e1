// MultiByteTable: unpacking of the stored multi-byte tables and the table-driven decoder.
//
// Table bytes after the flag and coding bytes ("d" coding): varint count of decode pairs, then each
// pair as zigzag varint differences (code - previous code, unit - previous unit); then varint count of
// encode overrides, each as zigzag varint differences (unit - previous unit, code - previous code),
// code 0 meaning "not encodable". The encode map is the inverse of the decode pairs (the first pair for
// a unit wins) with the overrides applied. Any other coding byte: the same lists as plain fields
// (count 4 bytes, code 4 bytes, unit 2 bytes, big-endian).
#include "codec/MultiByteTable.h"

#include <bzlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/Utf16Text.h"
#include "core/ByteOrder.h"
#include "core/ContentCoding.h"

namespace vantry {

namespace {
const uint32_t kContainerMagic = 0xB394A7E1;

class Reader {
public:
    Reader(const uint8_t *p, size_t n) : m_p(p), m_n(n) {}
    bool Varint(uint64_t *v) {
        uint64_t r = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_i >= m_n)
                return false;
            uint8_t b = m_p[m_i++];
            r |= uint64_t(b & 0x7F) << shift;
            if ((b & 0x80) == 0) {
                *v = r;
                return true;
            }
        }
        return false;
    }
    bool Signed(int64_t *v) {
        uint64_t u;
        if (!Varint(&u))
            return false;
        *v = static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
        return true;
    }
    bool Fixed(int bytes, uint32_t *v) {
        if (m_n - m_i < static_cast<size_t>(bytes))
            return false;
        uint32_t r = 0;
        for (int k = 0; k < bytes; ++k)
            r = (r << 8) | m_p[m_i++];
        *v = r;
        return true;
    }

private:
    const uint8_t *m_p;
    size_t m_n;
    size_t m_i = 0;
};

bool ValidCode(int64_t code) {
    return code >= 0 && code <= 0xFFFFFFFFll;
}
bool ValidUnit(int64_t unit) {
    return unit >= 0 && unit <= 0xFFFF;
}
} // namespace

MultiByteTable::~MultiByteTable() {
    for (uint16_t *block : m_lead)
        std::free(block);
    for (uint16_t *block : m_encode)
        std::free(block);
}

MultiByteTable *MultiByteTable::FromStored(int32_t codePage, const char *stored) {
    if (stored == nullptr || stored[0] == 0)
        return nullptr;
    ContentCoding coding;
    uint32_t decodedLen = 0;
    unsigned char *block =
        coding.DecodeBase64Lenient(stored + 1, static_cast<uint32_t>(std::strlen(stored + 1)), &decodedLen);
    std::vector<uint8_t> decoded(block, block + (block != nullptr ? decodedLen : 0));
    std::free(block);
    if (stored[0] == 'x')
        return FromTableBytes(codePage, decoded.data(), decoded.size());
    if (decoded.empty())
        return FromTableBytes(codePage, nullptr, 0); // an empty container: an empty table
    if (decoded.size() < 8 || LoadLe32(decoded.data()) != kContainerMagic)
        return nullptr;
    uint32_t size = LoadLe32(decoded.data() + 4);
    if (size > (64u << 20))
        return nullptr;
    std::vector<uint8_t> table(static_cast<size_t>(size) + 20);
    unsigned int outLen = size + 20;
    int rc = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char *>(table.data()), &outLen,
                                        reinterpret_cast<char *>(decoded.data() + 8),
                                        static_cast<unsigned int>(decoded.size() - 8), 0, 0);
    if (rc != BZ_OK || outLen != size)
        return nullptr;
    return FromTableBytes(codePage, table.data(), outLen);
}

MultiByteTable *MultiByteTable::FromTableBytes(int32_t codePage, const uint8_t *bytes, size_t count) {
    MultiByteTable *t = new MultiByteTable(codePage);
    t->m_singleMapped[0] = true; // byte 0 is U+0000
    if (count < 2)
        return t;
    t->m_asciiSelf = bytes[0] == 'a';
    bool delta = bytes[1] == 'd';
    Reader r(bytes + 2, count - 2);
    bool ok = true;
    std::vector<std::pair<uint16_t, uint32_t>> overrides;
    uint64_t pairs = 0;
    if (delta) {
        ok = r.Varint(&pairs);
        int64_t code = 0, unit = 0;
        for (uint64_t k = 0; ok && k < pairs; ++k) {
            int64_t dc = 0, du = 0;
            ok = r.Signed(&dc) && r.Signed(&du);
            code += dc;
            unit += du;
            ok = ok && ValidCode(code) && ValidUnit(unit);
            if (ok)
                t->AddDecode(static_cast<uint32_t>(code), static_cast<uint16_t>(unit));
        }
        uint64_t extra = 0;
        ok = ok && r.Varint(&extra);
        code = 0, unit = 0;
        for (uint64_t k = 0; ok && k < extra; ++k) {
            int64_t du = 0, dc = 0;
            ok = r.Signed(&du) && r.Signed(&dc);
            unit += du;
            code += dc;
            ok = ok && ValidCode(code) && ValidUnit(unit);
            if (ok)
                overrides.emplace_back(static_cast<uint16_t>(unit), static_cast<uint32_t>(code));
        }
    } else {
        uint32_t n = 0;
        ok = r.Fixed(4, &n);
        for (uint32_t k = 0; ok && k < n; ++k) {
            uint32_t code, unit;
            ok = r.Fixed(4, &code) && r.Fixed(2, &unit);
            if (ok)
                t->AddDecode(code, static_cast<uint16_t>(unit));
        }
        uint32_t extra = 0;
        ok = ok && r.Fixed(4, &extra);
        for (uint32_t k = 0; ok && k < extra; ++k) {
            uint32_t unit, code;
            ok = r.Fixed(2, &unit) && r.Fixed(4, &code);
            if (ok)
                overrides.emplace_back(static_cast<uint16_t>(unit), code);
        }
    }
    if (!ok) {
        delete t;
        return nullptr;
    }
    for (const auto &o : overrides)
        t->SetEncode(o.first, o.second);
    return t;
}

void MultiByteTable::AddDecode(uint32_t code, uint16_t unit) {
    if (code == 0)
        return; // byte 0 is always U+0000
    if (code < 0x100) {
        m_single[code] = unit;
        m_singleMapped[code] = true;
    } else if (code < 0x10000) {
        if (unit == 0)
            return;
        uint16_t *&block = m_lead[code >> 8];
        if (block == nullptr) {
            block = static_cast<uint16_t *>(std::calloc(256, sizeof(uint16_t)));
            ++m_blocks;
        }
        block[code & 0xFF] = unit;
    } else {
        m_long[code] = unit;
        m_hasLong = true;
    }
    // The encode map: the first code for a unit wins.
    const uint16_t *eblock = m_encode[unit >> 8];
    bool have = (eblock != nullptr && eblock[unit & 0xFF] != 0) || m_encodeLong.count(unit) != 0;
    if (!have)
        SetEncode(unit, code);
}

void MultiByteTable::SetEncode(uint16_t unit, uint32_t code) {
    m_encodeLong.erase(unit);
    if (code >= 0x10000) {
        if (uint16_t *block = m_encode[unit >> 8])
            block[unit & 0xFF] = 0;
        m_encodeLong[unit] = code;
        return;
    }
    uint16_t *&block = m_encode[unit >> 8];
    if (block == nullptr) {
        if (code == 0)
            return;
        block = static_cast<uint16_t *>(std::calloc(256, sizeof(uint16_t)));
        ++m_blocks;
    }
    block[unit & 0xFF] = static_cast<uint16_t>(code);
}

int MultiByteTable::EncodeLong(uint16_t unit, uint8_t *out) const {
    auto it = m_encodeLong.find(unit);
    if (it == m_encodeLong.end())
        return 0;
    uint32_t code = it->second;
    if (code >= 0x1000000) {
        out[0] = uint8_t(code >> 24), out[1] = uint8_t(code >> 16), out[2] = uint8_t(code >> 8),
        out[3] = uint8_t(code);
        return 4;
    }
    out[0] = uint8_t(code >> 16), out[1] = uint8_t(code >> 8), out[2] = uint8_t(code);
    return 3;
}

void MultiByteTable::Decode(const uint8_t *p, size_t n, Utf16Text &out) const {
    size_t base = out.units.size();
    out.units.resize(base + n);
    uint16_t *u = out.units.data() + base;
    size_t w = 0;
    size_t i = 0;
    while (i < n) {
        uint8_t b = p[i];
        if (b < 0x80 && m_asciiSelf) {
            u[w++] = b;
            ++i;
            continue;
        }
        // Sequences of 2, 3 and 4 bytes first, then the byte alone.
        if (i + 1 < n) {
            const uint16_t *block = m_lead[b];
            if (block != nullptr && block[p[i + 1]] != 0) {
                u[w++] = block[p[i + 1]];
                i += 2;
                continue;
            }
            if (m_hasLong) {
                if (i + 2 < n) {
                    auto it = m_long.find((uint32_t(b) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2]);
                    if (it != m_long.end()) {
                        u[w++] = it->second;
                        i += 3;
                        continue;
                    }
                }
                if (i + 3 < n) {
                    auto it = m_long.find((uint32_t(b) << 24) | (uint32_t(p[i + 1]) << 16) |
                                          (uint32_t(p[i + 2]) << 8) | p[i + 3]);
                    if (it != m_long.end()) {
                        u[w++] = it->second;
                        i += 4;
                        continue;
                    }
                }
            }
        }
        if (m_singleMapped[b]) {
            u[w++] = m_single[b];
        } else {
            out.marks.push_back(
                Utf16Text::Mark{static_cast<uint32_t>(base + w), static_cast<uint32_t>(i), 1, 0, true});
        }
        ++i;
    }
    out.units.resize(base + w);
}

size_t MultiByteTable::MemoryUsed() const {
    // Hash nodes counted as key, value and two pointers each.
    return sizeof(*this) + static_cast<size_t>(m_blocks) * 256 * sizeof(uint16_t) +
           m_long.size() * (sizeof(uint32_t) + sizeof(uint16_t) + 2 * sizeof(void *)) +
           m_encodeLong.size() * (sizeof(uint16_t) + sizeof(uint32_t) + 2 * sizeof(void *)) +
           (m_long.bucket_count() + m_encodeLong.bucket_count()) * sizeof(void *);
}

} // namespace vantry
