// Html: one page's text and the tag listings taken from it by text scanning (no tree is built);
// the harvester's seed-page links come through it.
#pragma once
#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class ExtPtrArray;
class ParseEngine;
class StringConsumer;

class Html : public VantryObject {
public:
    Html();
    ~Html() override;

    void SetHtml(const char *text);
    // Appends to `tags` (as new StringBuffers) every "<name " tag of the page, cleaned by
    // HtmlHelp::CleanTag when `clean` is set. Upper-case openings in the stored text are lowered.
    void GetTags(const char *name, bool clean, ExtPtrArray &tags);
    // Appends the non-empty href values of the page's anchors, in page order. An anchor opens at
    // "<a" followed by any HTML white space; character references in the values are decoded.
    void GetHrefs(ExtPtrArray &hrefs);
    // The same values handed one at a time to a consumer, without building the list.
    void GetHrefs(StringConsumer &hrefs);

    const StringBuffer &Text() const { return m_html; }
    bool HasHtml() const { return m_loaded; }

private:
    // Lowers the upper-case opening in the stored text, then hands each "<name " tag (cleaned when
    // `clean` is set; empty ones skipped) to `take`.
    template <class Take> void ScanTags(const char *name, bool clean, Take &&take);
    // The anchors ("<a" and any HTML white space), each cleaned and handed to `take`.
    template <class Take> void ScanAnchors(Take &&take);
    // Captures the tag under the cursor up to its '>' and hands it (cleaned when asked) to `take`;
    // a form feed can be read as the white space it is in HTML, which the tag cleaner does not know.
    template <class Take>
    static void TakeTag(ParseEngine &pe, bool clean, StringBuffer &raw, Take &take, bool formFeedIsSpace);

    StringBuffer m_html;
    bool m_loaded = false;
};

} // namespace vantry
