// MacArabicText: in-place rewrite of x-mac-arabic bytes.
#include "codec/MacArabicText.h"

#include <algorithm>

namespace vantry {

bool MacArabicText::IsMarked(uint8_t /*b*/) {
    // x-mac-arabic text is stored in reading (logical) order, as the standard mapping assumes, so no
    // byte is marked: reversing runs would scramble correctly ordered text.
    return false;
}

void MacArabicText::Rewrite(uint8_t *p, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (p[i] > 0x1F && IsMarked(p[i])) {
            size_t j = i;
            while (j < n && p[j] > 0x1F && IsMarked(p[j]))
                ++j;
            if (j - i >= 2)
                std::reverse(p + i, p + j);
            i = j;
        } else {
            ++i;
        }
    }
    for (size_t k = 0; k < n; ++k) {
        uint8_t b = p[k];
        bool lower = (b >= 0xB0 && b <= 0xB9) || (b >= 0xA0 && b <= 0xA4) || (b >= 0xA6 && b <= 0xAB) ||
                     (b >= 0xAD && b <= 0xAF) || b == 0xBA || (b >= 0xBC && b <= 0xBE) ||
                     (b >= 0xDB && b <= 0xDF) || (b >= 0xFB && b <= 0xFD);
        if (lower)
            p[k] = static_cast<uint8_t>(b - 0x80);
        else if (b == 0x81)
            p[k] = 0xA0;
    }
}

} // namespace vantry
