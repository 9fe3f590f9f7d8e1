// ArabicPreparation: the step UTF-16 text takes before it is encoded to an Arabic code page (28596,
// 1256): presentation forms become the letters they show, Arabic-Indic digits become ASCII digits,
// since neither page has codes for them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantry {

class ArabicPreparation {
public:
    static bool AppliesTo(int32_t codePage) { return codePage == 28596 || codePage == 1256; }
    // Whether any unit would change (most text needs no copy).
    static bool NeedsWork(const uint16_t *units, size_t count);
    static void Prepare(const uint16_t *units, size_t count, std::vector<uint16_t> &out);
};

} // namespace vantry
