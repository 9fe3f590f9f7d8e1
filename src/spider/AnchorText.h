// Anchor reading shared by the spider's link extraction and Html's href listing: where an anchor
// tag opens (as a browser sees it) and the decoding of character references in attribute values.
#pragma once
#include <cstdint>

namespace vantry {

class StringBuffer;

namespace anchortext {

// Space, tab, LF, form feed and CR: the bytes HTML treats as white space.
inline bool IsHtmlSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Offset of the next "<" + name followed by HTML white space at or after `from` (name compared
// without regard to ASCII case), or -1.
int32_t FindTagOpening(const char *text, int32_t length, int32_t from, const char *name);

// Replaces character references by the UTF-8 bytes they stand for: decimal (&#64;) and hexadecimal
// (&#x40;) ones, with or without the closing ';', and the named amp, lt, gt, quot, apos and nbsp
// with their ';'. Anything else stays as it is; numbers outside Unicode become U+FFFD.
void DecodeCharacterReferences(StringBuffer &text);

} // namespace anchortext

} // namespace vantry
