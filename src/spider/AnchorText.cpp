// Anchor openings and character references, the two places where the link readers follow the
// browser's reading of a page rather than a plain "<a " search.
#include "spider/AnchorText.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace anchortext {

namespace {

void AppendUtf8(std::string &out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// A numeric reference at p ("&#..."); gives the bytes consumed, 0 when it is none.
size_t DecodeNumeric(const char *p, size_t avail, std::string &out) {
    size_t i = 2;
    bool hex = i < avail && (p[i] == 'x' || p[i] == 'X');
    if (hex)
        ++i;
    uint32_t value = 0;
    size_t digits = 0;
    while (i < avail) {
        int d = hex ? ascii::HexValue(p[i]) : (ascii::IsDigit(p[i]) ? p[i] - '0' : -1);
        if (d < 0)
            break;
        if (value <= 0x10FFFF)
            value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        ++digits;
        ++i;
    }
    if (digits == 0)
        return 0;
    if (i < avail && p[i] == ';')
        ++i;
    AppendUtf8(out, value);
    return i;
}

struct Named {
    const char *name; // with its ';'
    uint32_t codePoint;
};
constexpr Named kNamed[] = {{"amp;", '&'},  {"lt;", '<'},    {"gt;", '>'},
                            {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", 0xA0}};

} // namespace

int32_t FindTagOpening(const char *text, int32_t length, int32_t from, const char *name) {
    const size_t nameLen = std::strlen(name);
    for (int32_t i = from < 0 ? 0 : from; i + 1 + static_cast<int32_t>(nameLen) < length; ++i) {
        const void *hit = std::memchr(text + i, '<', static_cast<size_t>(length - i));
        if (hit == nullptr)
            return -1;
        i = static_cast<int32_t>(static_cast<const char *>(hit) - text);
        if (i + 1 + static_cast<int32_t>(nameLen) >= length)
            return -1;
        if (ascii::EqualsNoCase(std::string_view(text + i + 1, nameLen), std::string_view(name, nameLen)) &&
            IsHtmlSpace(static_cast<unsigned char>(text[i + 1 + nameLen])))
            return i;
    }
    return -1;
}

void DecodeCharacterReferences(StringBuffer &text) {
    if (!text.ContainsChar('&'))
        return;
    const char *p = text.Text();
    const size_t n = static_cast<size_t>(text.Length());
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        if (p[i] != '&') {
            out.push_back(p[i++]);
            continue;
        }
        size_t used = 0;
        if (i + 1 < n && p[i + 1] == '#') {
            used = DecodeNumeric(p + i, n - i, out);
        } else {
            for (const Named &named : kNamed) {
                size_t len = std::strlen(named.name);
                if (i + 1 + len <= n && std::memcmp(p + i + 1, named.name, len) == 0) {
                    AppendUtf8(out, named.codePoint);
                    used = len + 1;
                    break;
                }
            }
        }
        if (used == 0)
            out.push_back(p[i++]);
        else
            i += used;
    }
    text.Clear();
    text.AppendBytes(out.data(), static_cast<int32_t>(out.size()));
}

} // namespace anchortext

} // namespace vantry
