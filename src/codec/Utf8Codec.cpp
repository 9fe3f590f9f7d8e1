// Utf8Codec: UTF-8 <-> UTF-16 units with the library's BMP-only decoding rule.
#include "codec/Utf8Codec.h"

#include <cstring>

#include "codec/ByteSink.h"
#include "codec/Utf16Text.h"

namespace vantry {

int Utf8Codec::WellFormedLength(const uint8_t *p, size_t avail, uint32_t *codePoint) {
    if (avail == 0)
        return 0;
    uint8_t b0 = p[0];
    if (b0 < 0x80) {
        *codePoint = b0;
        return 1;
    }
    int len;
    uint8_t lo = 0x80, hi = 0xBF;
    uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (avail < static_cast<size_t>(len))
        return 0;
    if (p[1] < lo || p[1] > hi)
        return 0;
    cp = (cp << 6) | (p[1] & 0x3F);
    for (int i = 2; i < len; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    *codePoint = cp;
    return len;
}

void Utf8Codec::Decode(const uint8_t *p, size_t n, Utf16Text &out) {
    size_t base = out.units.size();
    out.units.resize(base + n);
    uint16_t *u = out.units.data() + base;
    uint16_t *const u0 = u;
    size_t i = 0;
    while (i < n) {
        // ASCII runs eight bytes at a time.
        while (i + 8 <= n) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k)
                u[k] = p[i + k];
            u += 8;
            i += 8;
        }
        if (i >= n)
            break;
        uint8_t b0 = p[i];
        if (b0 < 0x80) {
            *u++ = b0;
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            if (i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
                *u++ = static_cast<uint16_t>(((b0 & 0x1F) << 6) | (p[i + 1] & 0x3F));
                i += 2;
                continue;
            }
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            if (i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80 &&
                (b0 != 0xE0 || p[i + 1] >= 0xA0)) {
                *u++ =
                    static_cast<uint16_t>(((b0 & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
                i += 3;
                continue;
            }
        }
        // Error: its length is the well-formed length (only 4-byte sequences get here), else 1.
        uint32_t cp = 0;
        int len = WellFormedLength(p + i, n - i, &cp);
        if (len < 4) {
            len = 1;
            cp = 0;
        }
        out.marks.push_back(Utf16Text::Mark{static_cast<uint32_t>(base + static_cast<size_t>(u - u0)),
                                            static_cast<uint32_t>(i), static_cast<uint32_t>(len), cp, false});
        i += static_cast<size_t>(len);
    }
    out.units.resize(base + static_cast<size_t>(u - u0));
}

void Utf8Codec::Encode(const uint16_t *units, size_t n, ByteSink &out) {
    uint8_t *o = out.Reserve(n * 3);
    uint8_t *const o0 = o;
    for (size_t i = 0; i < n; ++i) {
        uint16_t c = units[i];
        if (c < 0x80) {
            *o++ = static_cast<uint8_t>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<uint8_t>(0xC0 | (c >> 6));
            *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            // A surrogate pair is one character: its one four-byte sequence, so that the output is UTF-8
            // any reader accepts (lone surrogates still get three bytes each).
            uint32_t cp = 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            *o++ = static_cast<uint8_t>(0xF0 | (cp >> 18));
            *o++ = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            ++i;
        } else {
            *o++ = static_cast<uint8_t>(0xE0 | (c >> 12));
            *o++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
        }
    }
    out.Commit(static_cast<size_t>(o - o0));
}

} // namespace vantry
