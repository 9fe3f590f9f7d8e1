// HtmlHelp: routines on single HTML tags (normalising a tag, reading a quoted attribute) and the
// meta-tag charset lookup; used by the spider's link extraction and Html. They forward to
// codec/HtmlTag, where the HTTP facade's text fetch reads the meta-tag charset too.
#pragma once

namespace vantry {

class StringBuffer;

class HtmlHelp {
public:
    // Rewrites one tag into the form <name attr="value" ...>: every value quoted, CR removed,
    // LF turned into a space. Without a '<' the result is empty.
    static void CleanTag(const char *tag, StringBuffer &result);
    // The value of name="..." or name='...' (found case-insensitively, as a plain substring),
    // trimmed and with every '\' turned into '/'; empty when not found or not closed.
    static void GetAttributeValue(const char *tag, const char *name, StringBuffer &value);
    // The charset named by the first <meta http-equiv="content-type" content="..."> of the page, or
    // else by the first <meta charset="..."> (quotes optional); `charset` is left unchanged when neither.
    static void GetMetaCharset(const char *page, StringBuffer &charset);
};

} // namespace vantry
