// Utf7Codec: UTF-7 (RFC 2152) to and from UTF-16 units.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class ByteSink;
struct Utf16Text;

class Utf7Codec {
public:
    // Bytes from 0x80 and bytes that cannot appear in UTF-7 become marks that count as failures.
    static void Decode(const uint8_t *bytes, size_t count, Utf16Text &out);
    // Letters, digits, the RFC's other directly encoded characters ' ( ) , - . / : ? and space, TAB,
    // CR, LF are written as they are; "+" as "+-"; everything else in "+...-" Base64 runs.
    static void Encode(const uint16_t *units, size_t count, ByteSink &out);
};

} // namespace vantry
