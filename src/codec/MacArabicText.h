// MacArabicText: the rewrite x-mac-arabic (code page 10004) input gets before its table lookup:
// marked runs reversed, the right-to-left duplicates of ASCII lowered by 0x80, 0x81 made 0xA0.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class MacArabicText {
public:
    static void Rewrite(uint8_t *bytes, size_t count);
    // The per-byte marking table: bytes whose runs are reversed.
    static bool IsMarked(uint8_t b);
};

} // namespace vantry
