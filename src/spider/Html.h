// Html: one page's text and the tag listings taken from it by text scanning (no tree is built);
// the harvester's seed-page links come through it.
#pragma once
#include "core/StringBuffer.h"
#include "core/VantryObject.h"

class ExtPtrArray;
class StringConsumer;

class Html : public VantryObject {
public:
    Html();
    ~Html() override;

    void SetHtml(const char *text);
    // Appends to `tags` (as new StringBuffers) every "<name " tag of the page, cleaned by
    // HtmlHelp::CleanTag when `clean` is set. Upper-case openings in the stored text are lowered.
    void GetTags(const char *name, bool clean, ExtPtrArray &tags);
    // Appends the non-empty href values of the page's anchors, in page order.
    void GetHrefs(ExtPtrArray &hrefs);
    // The same values handed one at a time to a consumer, without building the list.
    void GetHrefs(StringConsumer &hrefs);

    const StringBuffer &Text() const { return m_html; }
    bool HasHtml() const { return m_loaded; }

private:
    // Lowers the upper-case opening in the stored text, then hands each "<name " tag (cleaned when
    // `clean` is set; empty ones skipped) to `take`.
    template <class Take> void ScanTags(const char *name, bool clean, Take &&take);

    StringBuffer m_html;
    bool m_loaded = false;
};
