// ContentCoding: Base64 (RFC 4648 alphabet) encoders and decoders, the RFC 2047 "Q" encoding and
// single encoded words. Encoded words of whole texts, which need charsets, are in codec/EncodedWords.cpp.
#include "core/ContentCoding.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/StableInput.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kInvalid = 127;

// Decoding table for the characters "+" (0x2B) to "z" (0x7A): 6-bit values, 127 for the others.
struct DecodeTable {
    unsigned char value[80];
    constexpr DecodeTable() : value() {
        for (unsigned char &v : value) {
            v = kInvalid;
        }
        for (int i = 0; i < 64; ++i) {
            value[kAlphabet[i] - 0x2B] = static_cast<unsigned char>(i);
        }
    }
};
constexpr DecodeTable kDecode;

// Encoded length without line breaks for n input bytes.
size_t EncodedLength(size_t n) {
    return (n + 2) / 3 * 4;
}

// Writes the unwrapped encoding of n bytes to dst (which has room for EncodedLength(n)).
void EncodePlain(const unsigned char *src, size_t n, char *dst) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = (uint32_t{src[i]} << 16) | (uint32_t{src[i + 1]} << 8) | src[i + 2];
        *dst++ = kAlphabet[(v >> 18) & 63];
        *dst++ = kAlphabet[(v >> 12) & 63];
        *dst++ = kAlphabet[(v >> 6) & 63];
        *dst++ = kAlphabet[v & 63];
    }
    const size_t rest = n - i;
    if (rest == 1) {
        const uint32_t v = uint32_t{src[i]} << 16;
        *dst++ = kAlphabet[(v >> 18) & 63];
        *dst++ = kAlphabet[(v >> 12) & 63];
        *dst++ = '=';
        *dst++ = '=';
    } else if (rest == 2) {
        const uint32_t v = (uint32_t{src[i]} << 16) | (uint32_t{src[i + 1]} << 8);
        *dst++ = kAlphabet[(v >> 18) & 63];
        *dst++ = kAlphabet[(v >> 12) & 63];
        *dst++ = kAlphabet[(v >> 6) & 63];
        *dst++ = '=';
    }
}

// Whether n more bytes can still be appended to a StringBuffer of the given length.
bool FitsInBuffer(size_t length, size_t n) {
    return length + n + 1 <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

// The shared decoder: strict mode fails on characters outside "+" to "z" (and on bytes from 0x80);
// lenient mode reads them as "+". Whitespace is skipped; a zero byte or "=" ends the input.
// Characters inside "+" to "z" that are not in the alphabet (such as "-", ".", ":") are skipped.
// Returns a std::malloc'd zero-terminated block (null when strict decoding fails).
unsigned char *DecodeBase64Core(const char *text, uint32_t length, bool strict, uint32_t *outLength) {
    *outLength = 0;
    unsigned char *block = static_cast<unsigned char *>(std::malloc(size_t{length} / 4 * 3 + 4));
    if (block == nullptr) {
        return nullptr;
    }
    size_t out = 0;
    uint32_t acc = 0;
    int values = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0 || c == '=') {
            break;
        }
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
            continue;
        }
        unsigned char v;
        if (c >= 0x2B && c <= 0x7A) {
            v = kDecode.value[c - 0x2B];
            if (v == kInvalid) {
                continue;
            }
        } else if (strict) {
            std::free(block);
            return nullptr;
        } else {
            v = 62;
        }
        acc = (acc << 6) | v;
        if (++values == 4) {
            block[out++] = static_cast<unsigned char>(acc >> 16);
            block[out++] = static_cast<unsigned char>(acc >> 8);
            block[out++] = static_cast<unsigned char>(acc);
            acc = 0;
            values = 0;
        }
    }
    if (values == 2) {
        block[out++] = static_cast<unsigned char>(acc >> 4);
    } else if (values == 3) {
        block[out++] = static_cast<unsigned char>(acc >> 10);
        block[out++] = static_cast<unsigned char>(acc >> 2);
    }
    block[out] = 0;
    *outLength = static_cast<uint32_t>(out);
    return block;
}

// Q encoding writes its hex digits in upper case and reads only those.
bool IsUpperHex(unsigned char c) {
    return ascii::IsDigit(static_cast<char>(c)) || (c >= 'A' && c <= 'F');
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Base64 encoding

void ContentCoding::EncodeBase64Wrapped(const void *bytes, uint32_t count, StringBuffer &out) const {
    if (bytes == nullptr || count == 0) {
        return;
    }
    const size_t plain = EncodedLength(count);
    const size_t total = plain + (plain / m_lineLength + 1) * 2;
    // No EnsureRoom: the appends below grow the buffer by its usual rule, so repeated calls into one
    // buffer stay amortised.
    if (!FitsInBuffer(static_cast<size_t>(out.Length()), total)) {
        return;
    }
    const StableInput input(bytes, count, out);
    const unsigned char *src = input.Bytes();
    const uint32_t fullGroups = count / 3;
    char group[4];
    uint32_t column = 0;
    for (uint32_t g = 0; g < fullGroups; ++g) {
        EncodePlain(src + size_t{g} * 3, 3, group);
        out.AppendBytes(group, 4);
        column += 4;
        if (column >= m_lineLength) {
            out.AppendBytes("\r\n", 2);
            column = 0;
        }
    }
    const uint32_t rest = count - fullGroups * 3;
    if (rest > 0) {
        EncodePlain(src + size_t{fullGroups} * 3, rest, group);
        out.AppendBytes(group, 4);
    }
    out.AppendBytes("\r\n", 2);
}

void ContentCoding::EncodeBase64(const void *bytes, uint32_t count, StringBuffer &out) const {
    if (bytes == nullptr || count == 0) {
        return;
    }
    const size_t n = EncodedLength(count);
    if (!FitsInBuffer(static_cast<size_t>(out.Length()), n)) {
        return;
    }
    char *encoded = static_cast<char *>(std::malloc(n));
    if (encoded == nullptr) {
        return;
    }
    EncodePlain(static_cast<const unsigned char *>(bytes), count, encoded);
    out.AppendBytes(encoded, static_cast<int32_t>(n));
    std::free(encoded);
}

char *ContentCoding::EncodeBase64Block(const void *bytes, uint32_t count, uint32_t *outLength) const {
    if (outLength != nullptr) {
        *outLength = 0;
    }
    if (bytes == nullptr || count == 0) {
        return nullptr;
    }
    const size_t n = EncodedLength(count);
    if (n >= std::numeric_limits<uint32_t>::max()) {
        return nullptr;
    }
    char *block = static_cast<char *>(std::malloc(n + 1));
    if (block == nullptr) {
        return nullptr;
    }
    EncodePlain(static_cast<const unsigned char *>(bytes), count, block);
    block[n] = '\0';
    if (outLength != nullptr) {
        *outLength = static_cast<uint32_t>(n);
    }
    return block;
}

// ---------------------------------------------------------------------------------------------
// Base64 decoding

bool ContentCoding::DecodeBase64(const char *text, uint32_t length, DataBuffer &out) const {
    if (text == nullptr || length == 0) {
        out.Clear();
        return true;
    }
    uint32_t n = 0;
    unsigned char *block = DecodeBase64Core(text, length, true, &n);
    if (block == nullptr) {
        return false;
    }
    out.Adopt(block, n); // the output takes over the decoded block
    return true;
}

unsigned char *ContentCoding::DecodeBase64Lenient(const char *text, uint32_t length,
                                                  uint32_t *outLength) const {
    uint32_t dummy = 0;
    uint32_t *len = outLength != nullptr ? outLength : &dummy;
    *len = 0;
    if (text == nullptr || length == 0) {
        return nullptr;
    }
    return DecodeBase64Core(text, length, false, len);
}

void ContentCoding::AppendDecodedBase64(StringBuffer &out, const char *text) const {
    if (text == nullptr) {
        return;
    }
    const size_t len = std::strlen(text);
    uint32_t n = 0;
    unsigned char *block =
        DecodeBase64Lenient(text,
                            len > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                       : static_cast<uint32_t>(len),
                            &n);
    if (block == nullptr) {
        return;
    }
    if (FitsInBuffer(static_cast<size_t>(out.Length()), n)) {
        out.AppendBytes(block, static_cast<int32_t>(n));
    }
    std::free(block);
}

// ---------------------------------------------------------------------------------------------
// Q encoding

char *ContentCoding::EncodeQ(const void *bytes, uint32_t count, uint32_t *outLength) const {
    if (outLength != nullptr) {
        *outLength = 0;
    }
    if (bytes == nullptr) {
        return nullptr;
    }
    const unsigned char *src = static_cast<const unsigned char *>(bytes);
    const size_t capacity = size_t{count} * 3 + 1;
    if (capacity - 1 >= std::numeric_limits<uint32_t>::max()) {
        return nullptr;
    }
    char *block = static_cast<char *>(std::malloc(capacity));
    if (block == nullptr) {
        return nullptr;
    }
    size_t out = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char c = src[i];
        if (c == ' ') {
            block[out++] = '_';
        } else if ((c >= 0x21 && c <= 0x3C) || c == 0x3E || (c >= 0x40 && c <= 0x5E) ||
                   (c >= 0x60 && c <= 0x7E)) {
            block[out++] = static_cast<char>(c);
        } else {
            block[out++] = '=';
            block[out++] = kHexDigits[c >> 4];
            block[out++] = kHexDigits[c & 0x0F];
        }
    }
    block[out] = '\0';
    if (outLength != nullptr) {
        *outLength = static_cast<uint32_t>(out);
    }
    return block;
}

unsigned char *ContentCoding::DecodeQ(const char *text, uint32_t length, uint32_t *outLength) const {
    if (outLength != nullptr) {
        *outLength = 0;
    }
    if (text == nullptr) {
        return nullptr;
    }
    size_t n = length;
    if (n == 0) {
        n = std::strlen(text);
        if (n > std::numeric_limits<uint32_t>::max()) {
            n = std::numeric_limits<uint32_t>::max();
        }
    }
    unsigned char *block = static_cast<unsigned char *>(std::malloc(n + 1));
    if (block == nullptr) {
        return nullptr;
    }
    const unsigned char *src = reinterpret_cast<const unsigned char *>(text);
    size_t out = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = src[i];
        if (c == '_') {
            block[out++] = ' ';
        } else if (c == '=') {
            if (i + 2 < n && IsUpperHex(src[i + 1]) && IsUpperHex(src[i + 2])) {
                block[out++] =
                    static_cast<unsigned char>((ascii::HexValue(static_cast<char>(src[i + 1])) << 4) |
                                               ascii::HexValue(static_cast<char>(src[i + 2])));
                i += 2;
            } else {
                block[out++] = '=';
            }
        } else if (c <= 0x20 || c == '?' || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            // dropped
        } else {
            block[out++] = c;
        }
    }
    block[out] = 0;
    if (outLength != nullptr) {
        *outLength = static_cast<uint32_t>(out);
    }
    return block;
}

// ---------------------------------------------------------------------------------------------
// Encoded words

void ContentCoding::EncodeWordB(const void *bytes, uint32_t count, const char *charset,
                                StringBuffer &out) const {
    if (bytes == nullptr || count == 0 || charset == nullptr) {
        return;
    }
    const StableInput input(bytes, count, out);
    const StableInput name(charset, std::strlen(charset) + 1, out);
    out.Append("=?");
    out.Append(name.Chars());
    out.Append("?B?");
    EncodeBase64(input.Bytes(), count, out);
    out.Append("?=");
}

void ContentCoding::EncodeWordQ(const void *bytes, uint32_t count, const char *charset,
                                StringBuffer &out) const {
    if (bytes == nullptr || count == 0 || charset == nullptr) {
        return;
    }
    uint32_t n = 0;
    char *encoded = EncodeQ(bytes, count, &n);
    if (encoded == nullptr) {
        return;
    }
    const StableInput name(charset, std::strlen(charset) + 1, out);
    out.Append("=?");
    out.Append(name.Chars());
    out.Append("?Q?");
    if (FitsInBuffer(static_cast<size_t>(out.Length()), n)) {
        out.AppendBytes(encoded, static_cast<int32_t>(n));
    }
    out.Append("?=");
    std::free(encoded);
}

} // namespace vantry
