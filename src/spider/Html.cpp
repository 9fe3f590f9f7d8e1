// Html: tag listings over a page's text, found with ParseEngine and normalised with HtmlHelp.
#include "spider/Html.h"

#include <cstring>

#include "core/ExtPtrArray.h"
#include "core/ParseEngine.h"
#include "core/StringConsumer.h"
#include "spider/AnchorText.h"
#include "spider/HtmlHelp.h"
#include "url/HostName.h"

namespace vantry {

namespace {

// Replaces every occurrence of `from` by `to` (same length) in place, case-sensitively.
void ReplaceSameLength(StringBuffer &text, const char *from, const char *to, size_t len) {
    char *p = text.MutableText();
    char *end = p + text.Length();
    while (static_cast<size_t>(end - p) >= len) {
        char *hit = static_cast<char *>(std::memchr(p, from[0], static_cast<size_t>(end - p) - len + 1));
        if (hit == nullptr)
            return;
        size_t i = 1;
        while (i < len && hit[i] == from[i])
            ++i;
        if (i == len) {
            std::memcpy(hit, to, len);
            p = hit + len;
        } else {
            p = hit + 1;
        }
    }
}

} // namespace

Html::Html() = default;

Html::~Html() = default;

void Html::SetHtml(const char *text) {
    m_html.Clear();
    if (text != nullptr)
        m_html.AppendBytes(text, static_cast<int32_t>(std::strlen(text)));
    m_loaded = true;
}

template <class Take> void Html::ScanTags(const char *name, bool clean, Take &&take) {
    if (name == nullptr)
        return;
    StringBuffer lower("<");
    lower.Append(name);
    lower.AppendChar(' ');
    StringBuffer upper(lower);
    lower.ToLower();
    upper.ToUpper();
    // Both forms have the same length (case changes never change a byte count).
    ReplaceSameLength(m_html, upper.Text(), lower.Text(), static_cast<size_t>(lower.Length()));

    ParseEngine pe;
    pe.Load(m_html);
    StringBuffer raw;
    while (pe.SeekPast(lower.Text())) {
        pe.Step(-lower.Length());
        TakeTag(pe, clean, raw, take, false);
    }
}

template <class Take> void Html::ScanAnchors(Take &&take) {
    // An anchor opens at "<a" and any HTML white space, as a browser reads it; the upper-case
    // openings are lowered in the stored text as for the other tag listings.
    char *text = m_html.MutableText();
    const int32_t length = m_html.Length();
    for (int32_t at = anchortext::FindTagOpening(text, length, 0, "a"); at >= 0;
         at = anchortext::FindTagOpening(text, length, at + 2, "a"))
        text[at + 1] = 'a';

    ParseEngine pe;
    pe.Load(m_html);
    StringBuffer raw;
    for (;;) {
        int32_t at = anchortext::FindTagOpening(m_html.Text(), pe.Length(), pe.Pos(), "a");
        if (at < 0)
            break;
        pe.SetPos(at);
        TakeTag(pe, true, raw, take, true);
    }
}

template <class Take>
void Html::TakeTag(ParseEngine &pe, bool clean, StringBuffer &raw, Take &take, bool formFeedIsSpace) {
    raw.Clear();
    pe.CaptureUntilCharQuotedStrict('>', raw);
    if (!pe.AtEnd())
        pe.Step();
    if (formFeedIsSpace)
        raw.ReplaceChar('\f', ' ');
    if (clean) {
        StringBuffer cleaned;
        HtmlHelp::CleanTag(raw.Text(), cleaned);
        if (cleaned.Length() != 0)
            take(cleaned);
    } else if (raw.Length() != 0) {
        take(raw);
    }
}

void Html::GetTags(const char *name, bool clean, ExtPtrArray &tags) {
    ScanTags(name, clean, [&tags](const StringBuffer &tag) { tags.Append(new StringBuffer(tag)); });
}

// The href value with its character references decoded and its tabs and newlines removed, as the
// browser would follow it.
static void ReadHref(const StringBuffer &tag, StringBuffer &value) {
    value.Clear();
    HtmlHelp::GetAttributeValue(tag.Text(), "href", value);
    anchortext::DecodeCharacterReferences(value);
    StripUrlWhitespace(value);
}

void Html::GetHrefs(ExtPtrArray &hrefs) {
    StringBuffer value;
    ScanAnchors([&](const StringBuffer &tag) {
        ReadHref(tag, value);
        if (value.Length() != 0)
            hrefs.Append(new StringBuffer(value));
    });
}

void Html::GetHrefs(StringConsumer &hrefs) {
    StringBuffer value;
    ScanAnchors([&](const StringBuffer &tag) {
        ReadHref(tag, value);
        if (value.Length() != 0)
            hrefs.Consume(value.Text());
    });
}

} // namespace vantry
