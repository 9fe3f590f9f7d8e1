// Utf7Codec: RFC 2152 shifted Base64 runs of UTF-16 units between directly encoded ASCII.
#include "codec/Utf7Codec.h"

#include "codec/ByteSink.h"
#include "codec/Utf16Text.h"

namespace vantry {

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsDirect(uint16_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '\'':
    case '(':
    case ')':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '?':
    case ' ':
    case '\t':
    case '\r':
    case '\n':
        return true;
    default:
        return false;
    }
}
} // namespace

void Utf7Codec::Decode(const uint8_t *p, size_t n, Utf16Text &out) {
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c != '+') {
            if (c >= 0x80)
                out.AddMark(static_cast<uint32_t>(i), 1, true);
            else
                out.units.push_back(c);
            ++i;
            continue;
        }
        ++i;
        if (i < n && p[i] == '-') { // "+-" is "+"
            out.units.push_back('+');
            ++i;
            continue;
        }
        // A shifted run: 6 bits per character, a unit every 16 bits.
        uint32_t bits = 0;
        int nbits = 0;
        while (i < n) {
            int v = Base64Value(p[i]);
            if (v < 0)
                break;
            bits = (bits << 6) | static_cast<uint32_t>(v);
            nbits += 6;
            if (nbits >= 16) {
                nbits -= 16;
                out.units.push_back(static_cast<uint16_t>(bits >> nbits));
                bits &= (1u << nbits) - 1;
            }
            ++i;
        }
        if (i < n && p[i] == '-') // the run's terminator is absorbed
            ++i;
    }
}

void Utf7Codec::Encode(const uint16_t *u, size_t n, ByteSink &out) {
    size_t i = 0;
    while (i < n) {
        uint16_t c = u[i];
        if (IsDirect(c)) {
            out.Put(static_cast<uint8_t>(c));
            ++i;
            continue;
        }
        if (c == '+') {
            out.Put("+-", 2);
            ++i;
            continue;
        }
        out.Put('+');
        uint32_t bits = 0;
        int nbits = 0;
        while (i < n && !IsDirect(u[i]) && u[i] != '+') {
            bits = (bits << 16) | u[i];
            nbits += 16;
            while (nbits >= 6) {
                nbits -= 6;
                out.Put(static_cast<uint8_t>(kAlphabet[(bits >> nbits) & 0x3F]));
            }
            bits &= (1u << nbits) - 1;
            ++i;
        }
        if (nbits > 0)
            out.Put(static_cast<uint8_t>(kAlphabet[(bits << (6 - nbits)) & 0x3F]));
        out.Put('-');
    }
}

} // namespace vantry
