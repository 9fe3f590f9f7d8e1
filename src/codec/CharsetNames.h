// The charset name tables: code page -> canonical name, and normalised alias -> code page.
// Generated once from the list of names the library recognises; both arrays are sorted.
#pragma once
#include <cstdint>

namespace vantry {

namespace charset_names {
struct CanonicalName {
    int32_t codePage;
    const char *name;
};
struct AliasName {
    const char *name;
    int32_t codePage;
};
extern const CanonicalName kCanonicalNames[]; // sorted by code page
extern const int kCanonicalNameCount;
extern const AliasName kAliasNames[]; // sorted by name, byte order
extern const int kAliasNameCount;

// The canonical name of a code page, or null when it has none.
const char *CanonicalNameFor(int32_t codePage);
// The code page of an already normalised name, or 0.
int32_t CodePageForAlias(const char *normalisedName);
} // namespace charset_names

} // namespace vantry
