// HtmlHelp: the spider's names for the tag routines of codec/HtmlTag, which the HTTP facade shares.
#include "spider/HtmlHelp.h"

#include "codec/HtmlTag.h"

namespace vantry {

void HtmlHelp::CleanTag(const char *tag, StringBuffer &result) {
    htmltag::CleanTag(tag, result);
}

void HtmlHelp::GetAttributeValue(const char *tag, const char *name, StringBuffer &value) {
    htmltag::GetAttributeValue(tag, name, value);
}

void HtmlHelp::GetMetaCharset(const char *page, StringBuffer &charset) {
    htmltag::GetMetaCharset(page, charset);
}

} // namespace vantry
