// The known top-level domain list (262 lower-case labels in a fixed order) and the tests on it,
// part of the URL and domain utilities.
#pragma once
#include <cstdint>

namespace vantry {

// True when the label equals an entry of the list exactly (case-sensitive); false for an empty label.
bool IsKnownTld(const char *label);
// True when the text after the name's last '.' is a known label; false without a '.'.
bool HasKnownTld(const char *name);

int32_t KnownTldCount();
// The label at that position of the list, or null outside it.
const char *KnownTldAt(int32_t index);

} // namespace vantry
