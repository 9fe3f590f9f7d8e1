// Utf8Codec: the library's own UTF-8 codec on 16-bit units. Decoding is BMP-only (one to three byte
// sequences); encoding writes each unit as one to three bytes, except that a surrogate pair becomes the
// four-byte sequence of its character.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class ByteSink;
struct Utf16Text;

class Utf8Codec {
public:
    // Appends the units of the input to out. Each invalid or truncated sequence becomes a mark of the
    // error length (the Unicode well-formed length of its lead byte, else 1) that does not count as a
    // failure; decoding resumes after it.
    static void Decode(const uint8_t *bytes, size_t count, Utf16Text &out);
    static void Encode(const uint16_t *units, size_t count, ByteSink &out);

    // Length of a well-formed sequence (Unicode rules, up to 4 bytes) at bytes, or 0 when ill-formed
    // or truncated. The code point goes to *codePoint.
    static int WellFormedLength(const uint8_t *bytes, size_t avail, uint32_t *codePoint);
};

} // namespace vantry
