// Utf32Codec: UTF-32 in either byte order, to UTF-16 units or UTF-8, and from UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class ByteSink;
struct Utf16Text;

class Utf32Codec {
public:
    // Characters beyond the BMP become surrogate pairs; values that are no character (surrogates, above
    // U+10FFFF) and a trailing partial unit become marks that count as failures.
    static void DecodeToUtf16(const uint8_t *bytes, size_t count, bool bigEndian, Utf16Text &out);
    // Standard UTF-8 (four-byte sequences beyond the BMP); false when a value was dropped.
    static bool DecodeToUtf8(const uint8_t *bytes, size_t count, bool bigEndian, ByteSink &out);
    // From UTF-8 by the Unicode well-formedness rules; a surrogate pair written as two three-byte
    // sequences (the library's UTF-8 encoder does that) is taken as its one character. An ill-formed or
    // truncated sequence ends the conversion with false.
    static bool EncodeFromUtf8(const uint8_t *bytes, size_t count, bool bigEndian, ByteSink &out);
};

} // namespace vantry
