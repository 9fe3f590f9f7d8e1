// HtmlHelp: tag normalisation, quoted attribute values and the meta-tag charset, all by text scanning.
#include "spider/HtmlHelp.h"

#include <cstring>

#include "core/StringBuffer.h"
#include "spider/ParseEngine.h"

namespace {

constexpr const char *kWhite = " \t\r\n";
constexpr int kMaxValuedAttributes = 101;

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

void FinishCleanTag(StringBuffer &result) {
    result.RemoveChar('\r');
    result.ReplaceChar('\n', ' ');
}

} // namespace

void HtmlHelp::CleanTag(const char *tag, StringBuffer &result) {
    result.Clear();
    if (tag == nullptr)
        return;
    ParseEngine pe;
    pe.Load(tag);
    if (!pe.AdvanceTo('<'))
        return;

    result.AppendChar('<');
    pe.Step();
    pe.SkipChars(kWhite);
    pe.CaptureUntilAny(kWhite, result);
    if (pe.SkipChars(kWhite) == '>') {
        result.AppendChar('>');
        return;
    }

    StringBuffer piece;
    int valued = 0;
    for (;;) {
        piece.Clear();
        piece.AppendChar(' ');
        pe.SkipChars("\"'");
        pe.CaptureUntilAny(" \t\n\r>=", piece);
        char next = pe.SkipChars(kWhite);
        if (IsLetter(next)) {
            result.AppendBuffer(piece);
            continue;
        }
        if (next == '>') {
            result.AppendBuffer(piece);
            result.AppendChar('>');
            FinishCleanTag(result);
            return;
        }
        if (next != '=') {
            result.Trim();
            if (result.LastChar() != '>')
                result.AppendChar('>');
            FinishCleanTag(result);
            return;
        }

        result.AppendBuffer(piece);
        result.AppendChar('=');
        pe.Step();
        pe.SkipChars(kWhite);
        if (pe.Current() == '\\')
            pe.Step();
        char quote = pe.Current();
        if (IsQuote(quote)) {
            pe.Step();
            result.AppendChar(quote);
            pe.CaptureUntilChar(quote, result);
        } else {
            StringBuffer value;
            pe.CaptureUntilAny("\r\n >", value);
            quote = value.ContainsChar('"') ? '\'' : '"';
            result.AppendChar(quote);
            result.AppendBuffer(value);
        }
        pe.SkipChars(kWhite);
        if (IsQuote(pe.Current()))
            pe.Step();
        if (result.LastChar() == '\\')
            result.Shorten(1);
        result.AppendChar(quote);
        if (pe.SkipChars(kWhite) == '>') {
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

void HtmlHelp::GetAttributeValue(const char *tag, const char *name, StringBuffer &value) {
    value.Clear();
    if (tag == nullptr || name == nullptr || name[0] == '\0')
        return;
    StringBuffer pattern(name);
    pattern.Append("=\"");
    char quote = '"';
    const char *hit = FindNoCase(tag, pattern.Text());
    if (hit == nullptr) {
        pattern.Shorten(1);
        pattern.AppendChar('\'');
        quote = '\'';
        hit = FindNoCase(tag, pattern.Text());
        if (hit == nullptr)
            return;
    }
    const char *from = hit + pattern.Length();
    const char *to = std::strchr(from, quote);
    if (to == nullptr)
        return;
    value.AppendBytes(from, static_cast<int32_t>(to - from));
    value.Trim();
    value.ReplaceChar('\\', '/');
}

void HtmlHelp::GetMetaCharset(const char *page, StringBuffer &charset) {
    if (page == nullptr)
        return;
    ParseEngine pe;
    pe.Load(page);
    StringBuffer raw, tag, attr, content;
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
        // CaptureUntilCharQuoted leaves the cursor on the '>' (or at the end), so the scan moves on.
        if (pe.AtEnd())
            return;
    }
}
