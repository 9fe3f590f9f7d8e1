// Iso2022Codec: the escape-sequence and shift handling of ISO-2022-JP and ISO-2022-KR.
#include "codec/Iso2022Codec.h"

#include "codec/ByteSink.h"

namespace vantry {

namespace {
const uint8_t kEsc = 0x1B;
const uint8_t kShiftOut = 0x0E;
const uint8_t kShiftIn = 0x0F;

bool IsJisByte(uint8_t b) {
    return b >= 0x21 && b <= 0x7E;
}

// Length of an escape sequence we do not interpret: ESC, intermediate bytes 0x20..0x2F, one final byte.
size_t SkipEscape(const uint8_t *p, size_t i, size_t n) {
    size_t j = i + 1;
    while (j < n && p[j] >= 0x20 && p[j] <= 0x2F)
        ++j;
    if (j < n && p[j] >= 0x30 && p[j] <= 0x7E)
        ++j;
    return j;
}
} // namespace

void Iso2022Codec::DecodeJp(const uint8_t *p, size_t n, ByteSink &out) {
    bool twoByte = false;
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c == kEsc) {
            if (i + 2 < n && p[i + 1] == '$' && (p[i + 2] == '@' || p[i + 2] == 'B')) {
                twoByte = true;
                i += 3;
            } else if (i + 2 < n && p[i + 1] == '(' && (p[i + 2] == 'B' || p[i + 2] == 'J')) {
                twoByte = false;
                i += 3;
            } else {
                i = SkipEscape(p, i, n); // other or cut-short sequences are dropped
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            twoByte = false;
            out.Put(c);
            ++i;
            continue;
        }
        if (twoByte && IsJisByte(c)) {
            if (i + 1 >= n || !IsJisByte(p[i + 1])) { // a half pair is dropped
                ++i;
                continue;
            }
            uint8_t j1 = c, j2 = p[i + 1];
            uint8_t s1 = static_cast<uint8_t>((j1 + 1) / 2 + (j1 < 0x5F ? 0x70 : 0xB0));
            uint8_t s2;
            if (j1 & 1)
                s2 = static_cast<uint8_t>(j2 + 0x1F + (j2 >= 0x60 ? 1 : 0));
            else
                s2 = static_cast<uint8_t>(j2 + 0x7E);
            out.Put(s1);
            out.Put(s2);
            i += 2;
            continue;
        }
        out.Put(c);
        ++i;
    }
}

bool Iso2022Codec::EncodeJp(const uint8_t *p, size_t n, ByteSink &out) {
    static const uint8_t kToTwoByte[3] = {kEsc, '$', 'B'};
    static const uint8_t kToAscii[3] = {kEsc, '(', 'B'};
    bool ok = true;
    bool twoByte = false;
    size_t i = 0;
    while (i < n) {
        uint8_t s1 = p[i];
        bool lead = (s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xFC);
        if (lead && i + 1 < n) {
            uint8_t s2 = p[i + 1];
            int j1 = (s1 - (s1 < 0xA0 ? 0x70 : 0xB0)) * 2 - 1;
            int j2;
            if (s2 >= 0x9F) {
                j1 += 1;
                j2 = s2 - 0x7E;
            } else {
                j2 = s2 - 0x1F - (s2 >= 0x80 ? 1 : 0);
            }
            i += 2;
            if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E || s2 < 0x40 || s2 == 0x7F) {
                ok = false; // no JIS X 0208 form
                continue;
            }
            if (!twoByte) {
                out.Put(kToTwoByte, 3);
                twoByte = true;
            }
            out.Put(static_cast<uint8_t>(j1));
            out.Put(static_cast<uint8_t>(j2));
            continue;
        }
        ++i;
        if (s1 >= 0x80) { // half-width katakana and stray bytes have no place in 7-bit text
            ok = false;
            continue;
        }
        if (twoByte) {
            out.Put(kToAscii, 3);
            twoByte = false;
        }
        out.Put(s1);
    }
    if (twoByte)
        out.Put(kToAscii, 3);
    return ok;
}

void Iso2022Codec::DecodeKr(const uint8_t *p, size_t n, ByteSink &out) {
    bool twoByte = false;
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c == kEsc) {
            if (i + 3 < n && p[i + 1] == '$' && p[i + 2] == ')' && p[i + 3] == 'C')
                i += 4; // the designation is removed
            else
                ++i; // any other escape byte is dropped
            continue;
        }
        if (c == kShiftOut) {
            twoByte = true;
            ++i;
            continue;
        }
        if (c == kShiftIn) {
            twoByte = false;
            ++i;
            continue;
        }
        if (twoByte && c >= 0x21 && c < 0x80) {
            if (i + 1 >= n || p[i + 1] < 0x21 || p[i + 1] >= 0x80) { // a half pair is dropped
                ++i;
                continue;
            }
            out.Put(static_cast<uint8_t>(c + 0x80));
            out.Put(static_cast<uint8_t>(p[i + 1] + 0x80));
            i += 2;
            continue;
        }
        out.Put(c);
        ++i;
    }
}

bool Iso2022Codec::EncodeKr(const uint8_t *p, size_t n, ByteSink &out) {
    static const uint8_t kDesignation[4] = {kEsc, '$', ')', 'C'};
    out.Put(kDesignation, 4);
    bool ok = true;
    bool twoByte = false;
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c >= 0x80) {
            if (i + 1 >= n) {
                ok = false;
                break;
            }
            uint8_t c2 = p[i + 1];
            i += 2;
            if (c < 0xA1 || c > 0xFE || c2 < 0xA1 || c2 > 0xFE) {
                ok = false; // the extended Hangul of code page 949 has no 7-bit form
                continue;
            }
            if (!twoByte) {
                out.Put(kShiftOut);
                twoByte = true;
            }
            out.Put(static_cast<uint8_t>(c - 0x80));
            out.Put(static_cast<uint8_t>(c2 - 0x80));
            continue;
        }
        if (twoByte) {
            out.Put(kShiftIn);
            twoByte = false;
        }
        out.Put(c);
        ++i;
    }
    if (twoByte)
        out.Put(kShiftIn);
    return ok;
}

} // namespace vantry
