// AnchorScanner: walks the anchor elements of a page for the spider's link extraction: each
// anchor's opening tag in turn, the scan passing over the anchor's content up to its "</a>", and
// the page text outside the anchors. Every step moves forward and no search is repeated over text
// it has already covered, so a page costs time in proportion to its length whatever its anchors.
#pragma once
#include <cstdint>

#include "core/ParseEngine.h"
#include "core/StringBuffer.h"

namespace vantry {

class AnchorScanner {
public:
    explicit AnchorScanner(const StringBuffer &page);
    virtual ~AnchorScanner() = default;

    // The next anchor's opening tag ("<a" and HTML white space, letter case ignored), from its '<'
    // up to the '>' outside quotes (not included; without one the tag runs to the end of the page
    // and is the last). The scan goes on after the anchor's "</a>", or after the tag when no
    // "</a>" follows. False when no anchor is left.
    bool NextTag(StringBuffer &tag);
    // The page outside the anchors seen, the text after the scan position included, with every
    // "</a>" deleted. Called once, when NextTag has given false.
    void TakeRest(StringBuffer &rest);

    // The work done so far: bytes looked at by the scan (see ParseEngine::BytesExamined).
    uint64_t BytesExamined() const { return m_pe.BytesExamined() + m_openingBytes; }

private:
    ParseEngine m_pe;
    StringBuffer m_rest;
    uint64_t m_openingBytes = 0; // looked at by the searches for anchor openings
};

} // namespace vantry
