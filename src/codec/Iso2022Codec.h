// Iso2022Codec: ISO-2022-JP <-> Shift_JIS (code page 932) and ISO-2022-KR <-> code page 949 bytes;
// the converter runs the rest of a conversion through those double-byte pages.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class ByteSink;

class Iso2022Codec {
public:
    static void DecodeJp(const uint8_t *bytes, size_t count, ByteSink &sjis);
    // False when a Shift_JIS code has no JIS X 0208 form (half-width katakana, user-defined area).
    static bool EncodeJp(const uint8_t *sjis, size_t count, ByteSink &out);
    static void DecodeKr(const uint8_t *bytes, size_t count, ByteSink &uhc);
    // False when a code outside KS X 1001 (both bytes 0xA1..0xFE) had to be dropped.
    static bool EncodeKr(const uint8_t *uhc, size_t count, ByteSink &out);
};

} // namespace vantry
