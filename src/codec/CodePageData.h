// CodePageData: the generated mapping data of the code pages (SingleByteData.cpp, MultiByteData.cpp,
// ArabicFormsData.cpp, written by tools/gen-codepages.py). Sorted by code page.
#pragma once
#include <cstdint>

namespace vantry {

namespace codepage_data {
// 256 UTF-16 units indexed by the byte; 0 is unmapped (byte 0 always maps to U+0000).
struct SingleBytePage {
    int32_t codePage;
    uint16_t decode[256];
};
extern const SingleBytePage kSingleBytePages[];
extern const int kSingleBytePageCount;

// A multi-byte table in its stored text form (format letter, then Base64).
struct MultiBytePage {
    int32_t codePage;
    const char *stored;
};
extern const MultiBytePage kMultiBytePages[];
extern const int kMultiBytePageCount;

// An Arabic presentation form and the letters it stands for (zero-padded).
struct ArabicForm {
    uint16_t form;
    uint16_t letters[4];
};
extern const ArabicForm kArabicForms[]; // sorted by form
extern const int kArabicFormCount;

const SingleBytePage *FindSingleBytePage(int32_t codePage);
const MultiBytePage *FindMultiBytePage(int32_t codePage);
} // namespace codepage_data

} // namespace vantry
