// Small text helpers shared by the header classes: ASCII white-space trimming (a UTF-8 value must
// not lose a trailing continuation byte) and a case-insensitive search in a view.
#pragma once
#include <string_view>

namespace header_text {

inline bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsWhite(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsWhite(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

inline char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

inline bool BeginsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Position of needle in s from `from`, ASCII letters folded; npos when absent.
inline size_t FindNoCase(std::string_view s, std::string_view needle, size_t from = 0) {
    if (needle.empty() || needle.size() > s.size()) {
        return std::string_view::npos;
    }
    for (size_t i = from; i + needle.size() <= s.size(); ++i) {
        if (EqualsNoCase(s.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace header_text
