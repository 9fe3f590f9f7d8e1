// HTML tag reading on 8-bit text: one tag normalised, a quoted attribute value, and the charset a page
// names in its meta tags. It sits in codec because the HTTP facade needs a page's charset before it
// converts the page; the spider's HtmlHelp offers the same routines under its own names.
#pragma once

namespace vantry {

class StringBuffer;

namespace htmltag {

// Rewrites one tag into the form <name attr="value" ...>: every value quoted, CR removed,
// LF turned into a space. Without a '<' the result is empty.
void CleanTag(const char *tag, StringBuffer &result);
// The value of name="..." or name='...' (found case-insensitively, as a plain substring),
// trimmed and with every '\' turned into '/'; empty when not found or not closed.
void GetAttributeValue(const char *tag, const char *name, StringBuffer &value);
// The charset named by the first <meta http-equiv="content-type" content="..."> of the page, or
// else by the first <meta charset="..."> (quotes optional); `charset` is left unchanged when neither.
void GetMetaCharset(const char *page, StringBuffer &charset);

} // namespace htmltag

} // namespace vantry
