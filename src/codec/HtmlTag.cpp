// HTML tag reading by text scanning: tag normalisation, quoted attribute values and the meta-tag
// charset of a page.
#include "codec/HtmlTag.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/ParseEngine.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

constexpr const char *kWhite = " \t\r\n";
constexpr int kMaxValuedAttributes = 101;

// A cursor over a zero-terminated tag text; it never passes the terminator. Each step mirrors a
// ParseEngine operation, without copying the tag.
struct TagCursor {
    const char *p;

    char SkipWhite() {
        while (ascii::IsWhite(*p))
            ++p;
        return *p;
    }
    void SkipQuotes() {
        while (ascii::IsQuote(*p))
            ++p;
    }
    void Step() {
        if (*p != '\0')
            ++p;
    }
    // Appends the bytes up to the first byte of `set` (or the end).
    void CaptureUntilAny(const char *set, StringBuffer &out) {
        size_t n = std::strcspn(p, set);
        out.AppendBytes(p, static_cast<int32_t>(n));
        p += n;
    }
    void CaptureUntilChar(char c, StringBuffer &out) {
        const char *hit = std::strchr(p, c);
        size_t n = hit != nullptr ? static_cast<size_t>(hit - p) : std::strlen(p);
        out.AppendBytes(p, static_cast<int32_t>(n));
        p += n;
    }
};

// Deletes every CR and turns every LF into a space.
void FinishCleanTag(StringBuffer &result) {
    char *t = result.MutableText();
    int32_t n = result.Length();
    if (std::memchr(t, '\r', static_cast<size_t>(n)) == nullptr) {
        if (std::memchr(t, '\n', static_cast<size_t>(n)) != nullptr)
            result.ReplaceChar('\n', ' ');
        return;
    }
    int32_t w = 0;
    for (int32_t r = 0; r < n; ++r) {
        char c = t[r];
        if (c == '\r')
            continue;
        t[w++] = c == '\n' ? ' ' : c;
    }
    result.Shorten(n - w);
}

// The value of the attribute `name` (ASCII letters fold) of a tag as CleanTag writes it, where every
// value is quoted: only a whole attribute name matches, never the end of a longer one or text inside
// another attribute's value. False when the tag has no such attribute.
bool FindCleanTagAttribute(const char *tag, std::string_view name, StringBuffer &value) {
    TagCursor pe{tag};
    pe.Step();
    pe.p += std::strcspn(pe.p, " >");
    for (;;) {
        if (pe.SkipWhite() == '>' || *pe.p == '\0')
            return false;
        const char *attr = pe.p;
        size_t attrLen = std::strcspn(attr, " >=");
        pe.p += attrLen;
        if (*pe.p != '=')
            continue;
        pe.Step();
        char quote = *pe.p;
        if (!ascii::IsQuote(quote))
            return false;
        pe.Step();
        const char *from = pe.p;
        const char *to = std::strchr(from, quote);
        if (to == nullptr)
            return false;
        pe.p = to + 1;
        if (ascii::EqualsNoCase(std::string_view(attr, attrLen), name)) {
            value.Clear();
            value.AppendBytes(from, static_cast<int32_t>(to - from));
            value.Trim();
            return true;
        }
    }
}

} // namespace

namespace htmltag {

void CleanTag(const char *tag, StringBuffer &result) {
    result.Clear();
    if (tag == nullptr)
        return;
    const char *open = std::strchr(tag, '<');
    if (open == nullptr)
        return;
    TagCursor pe{open};

    result.AppendChar('<');
    pe.Step();
    pe.SkipWhite();
    pe.CaptureUntilAny(kWhite, result);
    if (pe.SkipWhite() == '>') {
        result.AppendChar('>');
        return;
    }

    int valued = 0;
    for (;;) {
        // The piece is the attribute name with its leading space; it is emitted only when followed
        // by '=', '>' or a letter.
        pe.SkipQuotes();
        const char *name = pe.p;
        size_t nameLen = std::strcspn(name, " \t\n\r>=");
        pe.p += nameLen;
        char next = pe.SkipWhite();
        if (next != '=' && next != '>' && !ascii::IsLetter(next)) {
            result.Trim();
            if (result.LastChar() != '>')
                result.AppendChar('>');
            FinishCleanTag(result);
            return;
        }
        result.AppendChar(' ');
        result.AppendBytes(name, static_cast<int32_t>(nameLen));
        if (next == '>') {
            result.AppendChar('>');
            FinishCleanTag(result);
            return;
        }
        if (next != '=')
            continue; // an attribute without value; the letter starts the next one

        result.AppendChar('=');
        pe.Step();
        pe.SkipWhite();
        if (*pe.p == '\\')
            pe.Step();
        char quote = *pe.p;
        if (ascii::IsQuote(quote)) {
            pe.Step();
            result.AppendChar(quote);
            pe.CaptureUntilChar(quote, result);
        } else {
            size_t n = std::strcspn(pe.p, "\r\n >");
            quote = std::memchr(pe.p, '"', n) != nullptr ? '\'' : '"';
            result.AppendChar(quote);
            result.AppendBytes(pe.p, static_cast<int32_t>(n));
            pe.p += n;
        }
        pe.SkipWhite();
        if (ascii::IsQuote(*pe.p))
            pe.Step();
        if (result.LastChar() == '\\')
            result.Shorten(1);
        result.AppendChar(quote);
        if (pe.SkipWhite() == '>') {
            result.AppendChar('>');
            FinishCleanTag(result);
            return;
        }
        if (++valued >= kMaxValuedAttributes) {
            FinishCleanTag(result);
            return;
        }
    }
}

void GetAttributeValue(const char *tag, const char *name, StringBuffer &value) {
    value.Clear();
    if (tag == nullptr || name == nullptr)
        return;
    std::string pattern(name);
    pattern += "=\"";
    const char *hit = FindNoCase(tag, pattern.c_str());
    if (hit == nullptr) {
        pattern.back() = '\'';
        hit = FindNoCase(tag, pattern.c_str());
        if (hit == nullptr)
            return;
    }
    const char *from = hit + pattern.size();
    const char *to = std::strchr(from, pattern.back());
    if (to == nullptr)
        return;
    value.AppendBytes(from, static_cast<int32_t>(to - from));
    value.Trim();
    if (std::memchr(value.Text(), '\\', static_cast<size_t>(value.Length())) != nullptr)
        value.ReplaceChar('\\', '/');
}

void GetMetaCharset(const char *page, StringBuffer &charset) {
    if (page == nullptr)
        return;
    ParseEngine pe;
    pe.Load(page);
    StringBuffer raw, tag, attr, content;
    // The first <meta charset="..."> seen, taken when no http-equiv content-type names one.
    StringBuffer ownCharset;
    while (pe.SeekTo("<meta")) {
        raw.Clear();
        pe.CaptureUntilCharQuoted('>', raw);
        raw.AppendChar('>');
        CleanTag(raw.Text(), tag);

        GetAttributeValue(tag.Text(), "HTTP-EQUIV", attr);
        GetAttributeValue(tag.Text(), "content", content);
        if (attr.Length() != 0 && attr.EqualsNoCase("content-type") && content.Length() != 0) {
            const char *cs = FindNoCase(content.Text(), "CHARSET=");
            if (cs != nullptr) {
                const char *value = cs + 8;
                size_t len = std::strlen(value);
                for (char stop : {'"', ';', ' '}) {
                    const char *hit = std::strchr(value, stop);
                    if (hit != nullptr) {
                        len = static_cast<size_t>(hit - value);
                        break;
                    }
                }
                charset.Clear();
                charset.AppendBytes(value, static_cast<int32_t>(len));
                return;
            }
            GetAttributeValue(tag.Text(), "CHARSET", charset);
            return;
        }
        if (ownCharset.Length() == 0)
            FindCleanTagAttribute(tag.Text(), "charset", ownCharset);
        // CaptureUntilCharQuoted leaves the cursor on the '>' (or at the end), so the scan moves on.
        if (pe.AtEnd())
            break;
    }
    if (ownCharset.Length() != 0)
        charset.SetBuffer(ownCharset);
}

} // namespace htmltag

} // namespace vantry
