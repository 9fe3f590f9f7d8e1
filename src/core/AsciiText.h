// ASCII character helpers shared by every folder: the library's case rule (only the ASCII letters
// fold), letters, digits, hex digits and the blank sets the parsers use. Header-only and constexpr
// so that the scanners that call them per byte keep them inline.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace vantry {

namespace ascii {

constexpr bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool IsLetter(char c) {
    return IsUpper(c) || IsLower(c);
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsLetterOrDigit(char c) {
    return IsLetter(c) || IsDigit(c);
}
constexpr bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Space and tab.
constexpr bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}
// Space, tab, CR and LF.
constexpr bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
// What StringBuffer::Trim removes: space, tab, CR, LF and the no-break space 0xA0 of the ANSI page.
constexpr bool IsTrimmedSpace(unsigned char c) {
    return IsWhite(static_cast<char>(c)) || c == 0xA0;
}

constexpr char ToLower(char c) {
    return IsUpper(c) ? static_cast<char>(c + 32) : c;
}
constexpr char ToUpper(char c) {
    return IsLower(c) ? static_cast<char>(c - 32) : c;
}
constexpr unsigned char ToLower(unsigned char c) {
    return static_cast<unsigned char>(ToLower(static_cast<char>(c)));
}
constexpr unsigned char ToUpper(unsigned char c) {
    return static_cast<unsigned char>(ToUpper(static_cast<char>(c)));
}

// The case rule of StringBuffer's ToLower and ToUpper, which also folds the Latin-1 letters of the
// ANSI page: 0xC0-0xDF lower by 32, 0xE0-0xFF raise by 32.
constexpr unsigned char ToLowerLatin1(unsigned char c) {
    return (IsUpper(static_cast<char>(c)) || (c >= 0xC0 && c <= 0xDF)) ? static_cast<unsigned char>(c + 32)
                                                                       : c;
}
constexpr unsigned char ToUpperLatin1(unsigned char c) {
    return (IsLower(static_cast<char>(c)) || c >= 0xE0) ? static_cast<unsigned char>(c - 32) : c;
}

// 0 to 15 for a hex digit of either case, -1 for any other byte.
constexpr int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToLower(a[i]) != ToLower(b[i]))
            return false;
    }
    return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The same test on zero-terminated texts, reading no further into `text` than the prefix reaches.
constexpr bool StartsWithNoCase(const char *text, const char *prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (ToLower(*text) != ToLower(*prefix))
            return false;
    }
    return true;
}

// Position of `needle` in `s` at or after `from`, letters folded; npos when absent or empty.
constexpr size_t FindNoCase(std::string_view s, std::string_view needle, size_t from = 0) {
    if (needle.empty() || needle.size() > s.size())
        return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= s.size(); ++i) {
        if (EqualsNoCase(s.substr(i, needle.size()), needle))
            return i;
    }
    return std::string_view::npos;
}

// Whether `needle` occurs in `hay`, letters folded; the empty needle occurs in every text.
constexpr bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    return needle.empty() || FindNoCase(hay, needle) != std::string_view::npos;
}

// The view without leading and trailing space, tab, CR and LF.
constexpr std::string_view TrimWhite(std::string_view s) {
    while (!s.empty() && IsWhite(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsWhite(s.back()))
        s.remove_suffix(1);
    return s;
}

// Whether the text holds a CR, LF or NUL: a byte that would end or cut a header line it stood in.
constexpr bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A copy of the text with its ASCII capitals in lower case.
inline std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = ToLower(c);
    return out;
}

// The view without the leading and trailing bytes StringBuffer::Trim removes (IsTrimmedSpace).
constexpr std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && IsTrimmedSpace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && IsTrimmedSpace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

} // namespace ascii

} // namespace vantry
