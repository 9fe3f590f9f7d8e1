// ArabicPreparation: replaces presentation forms and Arabic-Indic digits before an Arabic encode.
#include "codec/ArabicPreparation.h"

#include <algorithm>

#include "codec/CodePageData.h"

namespace vantry {

namespace {
bool IsForm(uint16_t u) {
    return (u >= 0xFB50 && u <= 0xFDFF) || (u >= 0xFE70 && u <= 0xFEFF);
}
bool IsIndicDigit(uint16_t u) {
    return (u >= 0x0660 && u <= 0x0669) || (u >= 0x06F0 && u <= 0x06F9);
}

const codepage_data::ArabicForm *FindForm(uint16_t u) {
    const codepage_data::ArabicForm *begin = codepage_data::kArabicForms;
    const codepage_data::ArabicForm *end = begin + codepage_data::kArabicFormCount;
    const codepage_data::ArabicForm *hit = std::lower_bound(
        begin, end, u, [](const codepage_data::ArabicForm &f, uint16_t form) { return f.form < form; });
    return hit != end && hit->form == u ? hit : nullptr;
}
} // namespace

bool ArabicPreparation::NeedsWork(const uint16_t *u, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (IsIndicDigit(u[i]) || IsForm(u[i]))
            return true;
    return false;
}

void ArabicPreparation::Prepare(const uint16_t *u, size_t n, std::vector<uint16_t> &out) {
    out.clear();
    out.reserve(n + 16);
    for (size_t i = 0; i < n; ++i) {
        uint16_t c = u[i];
        if (IsIndicDigit(c)) {
            out.push_back(static_cast<uint16_t>('0' + (c & 0x0F)));
            continue;
        }
        const codepage_data::ArabicForm *form = IsForm(c) ? FindForm(c) : nullptr;
        if (form == nullptr) {
            out.push_back(c);
            continue;
        }
        for (uint16_t letter : form->letters)
            if (letter != 0)
                out.push_back(letter);
    }
}

} // namespace vantry
