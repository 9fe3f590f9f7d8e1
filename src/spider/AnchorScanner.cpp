// AnchorScanner: the anchor walk of link extraction over a ParseEngine, whose repeated searches
// for "</a>" are answered from its latest one.
#include "spider/AnchorScanner.h"

#include "spider/AnchorText.h"

namespace vantry {

AnchorScanner::AnchorScanner(const StringBuffer &page) {
    m_pe.Load(page);
}

bool AnchorScanner::NextTag(StringBuffer &tag) {
    tag.Clear();
    const int32_t from = m_pe.Pos();
    const int32_t at = anchortext::FindTagOpening(m_pe.Text(), m_pe.Length(), from, "a");
    m_openingBytes += static_cast<uint64_t>((at < 0 ? m_pe.Length() : at + 3) - from);
    if (at < 0)
        return false;
    m_rest.AppendBytes(m_pe.Text() + from, at - from);
    m_pe.SetPos(at);
    m_pe.CaptureUntilCharQuoted('>', tag);
    if (!m_pe.AtEnd()) {
        m_pe.Step();
        m_pe.SeekPast("</a>"); // the anchor's own text is dropped; without "</a>" the scan stays put
    }
    return true;
}

void AnchorScanner::TakeRest(StringBuffer &rest) {
    m_pe.CaptureRest(m_rest);
    m_rest.ReplaceAllNoCase("</a>", "");
    rest.SetBuffer(m_rest);
    m_rest.Clear();
}

} // namespace vantry
