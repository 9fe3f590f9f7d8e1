// Utf32Codec: UTF-32LE/BE conversions for the converter's routing.
#include "codec/Utf32Codec.h"

#include "codec/ByteSink.h"
#include "codec/Utf16Text.h"
#include "codec/Utf8Codec.h"

namespace vantry {

namespace {
uint32_t ReadUnit(const uint8_t *p, bool bigEndian) {
    if (bigEndian)
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

bool IsCharacter(uint32_t v) {
    return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF);
}

void PutUnit(uint32_t v, bool bigEndian, ByteSink &out) {
    uint8_t *o = out.Reserve(4);
    if (bigEndian) {
        o[0] = uint8_t(v >> 24), o[1] = uint8_t(v >> 16), o[2] = uint8_t(v >> 8), o[3] = uint8_t(v);
    } else {
        o[3] = uint8_t(v >> 24), o[2] = uint8_t(v >> 16), o[1] = uint8_t(v >> 8), o[0] = uint8_t(v);
    }
    out.Commit(4);
}
} // namespace

void Utf32Codec::DecodeToUtf16(const uint8_t *p, size_t n, bool bigEndian, Utf16Text &out) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t v = ReadUnit(p + i, bigEndian);
        if (!IsCharacter(v)) {
            out.AddMark(static_cast<uint32_t>(i), 4, true);
        } else if (v >= 0x10000) {
            out.units.push_back(static_cast<uint16_t>(0xD800 + ((v - 0x10000) >> 10)));
            out.units.push_back(static_cast<uint16_t>(0xDC00 + ((v - 0x10000) & 0x3FF)));
        } else {
            out.units.push_back(static_cast<uint16_t>(v));
        }
    }
    if (i < n)
        out.AddMark(static_cast<uint32_t>(i), static_cast<uint32_t>(n - i), true);
}

bool Utf32Codec::DecodeToUtf8(const uint8_t *p, size_t n, bool bigEndian, ByteSink &out) {
    bool ok = (n % 4) == 0;
    for (size_t i = 0; i + 4 <= n; i += 4) {
        uint32_t v = ReadUnit(p + i, bigEndian);
        if (!IsCharacter(v)) {
            ok = false;
            continue;
        }
        uint8_t *o = out.Reserve(4);
        size_t w;
        if (v < 0x80) {
            o[0] = uint8_t(v);
            w = 1;
        } else if (v < 0x800) {
            o[0] = uint8_t(0xC0 | (v >> 6)), o[1] = uint8_t(0x80 | (v & 0x3F));
            w = 2;
        } else if (v < 0x10000) {
            o[0] = uint8_t(0xE0 | (v >> 12)), o[1] = uint8_t(0x80 | ((v >> 6) & 0x3F));
            o[2] = uint8_t(0x80 | (v & 0x3F));
            w = 3;
        } else {
            o[0] = uint8_t(0xF0 | (v >> 18)), o[1] = uint8_t(0x80 | ((v >> 12) & 0x3F));
            o[2] = uint8_t(0x80 | ((v >> 6) & 0x3F)), o[3] = uint8_t(0x80 | (v & 0x3F));
            w = 4;
        }
        out.Commit(w);
    }
    return ok;
}

bool Utf32Codec::EncodeFromUtf8(const uint8_t *p, size_t n, bool bigEndian, ByteSink &out) {
    size_t i = 0;
    while (i < n) {
        // A surrogate pair as two three-byte sequences: ED A0..AF xx, ED B0..BF xx.
        if (i + 6 <= n && p[i] == 0xED && p[i + 1] >= 0xA0 && p[i + 1] <= 0xAF && (p[i + 2] & 0xC0) == 0x80 &&
            p[i + 3] == 0xED && p[i + 4] >= 0xB0 && p[i + 4] <= 0xBF && (p[i + 5] & 0xC0) == 0x80) {
            uint32_t hi = 0xD000 | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
            uint32_t lo = 0xD000 | ((p[i + 4] & 0x3F) << 6) | (p[i + 5] & 0x3F);
            PutUnit(0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00), bigEndian, out);
            i += 6;
            continue;
        }
        uint32_t cp = 0;
        int len = Utf8Codec::WellFormedLength(p + i, n - i, &cp);
        if (len == 0)
            return false;
        PutUnit(cp, bigEndian, out);
        i += static_cast<size_t>(len);
    }
    return true;
}

} // namespace vantry
