// Html: tag listings over a page's text, found with ParseEngine and normalised with HtmlHelp.
#include "spider/Html.h"

#include <cstring>

#include "core/ExtPtrArray.h"
#include "core/StringConsumer.h"
#include "spider/HtmlHelp.h"
#include "spider/ParseEngine.h"

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
    StringBuffer raw, cleaned;
    while (pe.SeekPast(lower.Text())) {
        pe.Step(-lower.Length());
        raw.Clear();
        pe.CaptureUntilCharQuotedStrict('>', raw);
        if (!pe.AtEnd())
            pe.Step();
        if (clean) {
            HtmlHelp::CleanTag(raw.Text(), cleaned);
            if (cleaned.Length() != 0)
                take(cleaned);
        } else if (raw.Length() != 0) {
            take(raw);
        }
    }
}

void Html::GetTags(const char *name, bool clean, ExtPtrArray &tags) {
    ScanTags(name, clean, [&tags](const StringBuffer &tag) { tags.Append(new StringBuffer(tag)); });
}

void Html::GetHrefs(ExtPtrArray &hrefs) {
    ScanTags("a", true, [&hrefs](const StringBuffer &tag) {
        StringBuffer value;
        HtmlHelp::GetAttributeValue(tag.Text(), "href", value);
        if (value.Length() != 0)
            hrefs.Append(new StringBuffer(value));
    });
}

void Html::GetHrefs(StringConsumer &hrefs) {
    StringBuffer value;
    ScanTags("a", true, [&](const StringBuffer &tag) {
        HtmlHelp::GetAttributeValue(tag.Text(), "href", value);
        if (value.Length() != 0)
            hrefs.Consume(value.Text());
    });
}
