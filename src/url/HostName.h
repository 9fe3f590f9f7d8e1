// Host names as the harvester keeps them: the check that a text is a DNS host name in its ASCII form,
// the www/bare twin of a name, and the clean-up browsers apply to a URL taken from a page.
#pragma once
#include <string_view>

namespace vantry {

class StringBuffer;

// Puts a host name into the one spelling that is written, queued and compared: ASCII (IDNA for names
// beyond ASCII), letters lower-cased, one final '.' dropped. Gives false, leaving the text as it was,
// when the result is not a DNS host name: labels of letters, digits and hyphens (none at either end of
// a label), 1 to 63 bytes each, at most 253 bytes in all, and a last label that is not all digits (an
// address is not a name). Control bytes, markup, blanks, ports and paths are thereby refused.
bool NormalizeHostName(StringBuffer &host);

// Whether two normalised host names name one site: equal, or equal once a leading "www." is removed
// from the one that has it (example.org and www.example.org).
bool IsSameSiteHost(std::string_view host, std::string_view other);

// The name without a leading "www." (when a '.' follows it: "www.com" stays), else the name itself: the
// key under which both spellings of a site are kept.
std::string_view SiteKey(std::string_view host);

// What a browser removes from a URL it takes from a page: every tab, CR and LF anywhere, and the
// control bytes and blanks at either end.
void StripUrlWhitespace(StringBuffer &url);

} // namespace vantry
