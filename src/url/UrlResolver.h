// Relative-reference resolution by the rules of RFC 3986 section 5 (strict parser, dot segments
// removed); used by MakeAbsolute and by the GET engine's redirect handling.
#pragma once
#include <string_view>

namespace vantry {

class StringBuffer;

// Resolves `reference` against the absolute URL `base` and sets `result` to the target URI.
// Gives false (result cleared) when the base has no scheme. The base's fragment is ignored.
bool ResolveUrlReference(std::string_view base, std::string_view reference, StringBuffer &result);

} // namespace vantry
