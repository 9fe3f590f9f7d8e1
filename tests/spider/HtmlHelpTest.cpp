// Tests of the tag routines (CleanTag, GetAttributeValue, GetMetaCharset) and of Html's tag and
// link listings, on made-up tags and on excerpts of the HTML documentation Debian packages install.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/Html.h"
#include "spider/HtmlHelp.h"
#include "support/TestSupport.h"

using namespace vantry;

namespace {

std::string Clean(const char *tag) {
    StringBuffer out("stale");
    HtmlHelp::CleanTag(tag, out);
    return out.Text();
}

std::string Attr(const char *tag, const char *name) {
    StringBuffer out("stale");
    HtmlHelp::GetAttributeValue(tag, name, out);
    return out.Text();
}

std::string Charset(const char *page, const char *prior = "prior") {
    StringBuffer out(prior);
    HtmlHelp::GetMetaCharset(page, out);
    return out.Text();
}

std::string Fixture(const char *name) {
    return testsupport::ReadFileBytes(std::string(VANTRY_SOURCE_DIR) + "/tests/spider/fixtures/" + name);
}

std::vector<std::string> Texts(const ExtPtrArray &list) {
    std::vector<std::string> v;
    for (int32_t i = 0; i < list.Count(); ++i)
        v.emplace_back(list.ElementAs<StringBuffer>(i)->Text());
    return v;
}

} // namespace

TEST(CleanTag, QuotesUnquotedValuesAndDropsExtraSpace) {
    EXPECT_EQ(Clean("<A  HREF=/x.html TARGET=_blank>"), "<A HREF=\"/x.html\" TARGET=\"_blank\">");
    EXPECT_EQ(Clean("<a href='it\"s'>"), "<a href='it\"s'>");
    EXPECT_EQ(Clean("<a title=it\"s>"), "<a title='it\"s'>");
    EXPECT_EQ(Clean("<br>"), "<br>");
    EXPECT_EQ(Clean("<input type=checkbox checked name = \"n\" >"),
              "<input type=\"checkbox\" checked name=\"n\">");
    EXPECT_EQ(Clean("<img src=\"a.gif\" />"), "<img src=\"a.gif\" />");
}

TEST(CleanTag, ClosesATagWithoutItsEnd) {
    EXPECT_EQ(Clean("<img src=\"a.gif\" alt=x"), "<img src=\"a.gif\" alt=\"x\">");
    EXPECT_EQ(Clean("<a href=\"unclosed"), "<a href=\"unclosed\">");
    EXPECT_EQ(Clean("<a href="), "<a href=\"\">");
    EXPECT_EQ(Clean("<"), "<>");
    EXPECT_EQ(Clean("no tag here"), "");
    EXPECT_EQ(Clean(""), "");
    EXPECT_EQ(Clean(nullptr), "");
}

TEST(CleanTag, BackslashEscapedQuotesFromScriptText) {
    EXPECT_EQ(Clean("<a href=\\\"/x\\\">"), "<a href=\"/x\">");
    EXPECT_EQ(Clean("<a href=\"C:\\dir\\\">"), "<a href=\"C:\\dir\">");
}

TEST(CleanTag, LineBreaksInsideValues) {
    EXPECT_EQ(Clean("<a title=\"one\r\ntwo\" href=\"x\">"), "<a title=\"one two\" href=\"x\">");
}

TEST(CleanTag, StopsAfter101ValuedAttributes) {
    std::string tag = "<p";
    for (int i = 0; i < 150; ++i)
        tag += " a" + std::to_string(i) + "=v";
    tag += ">";
    std::string cleaned = Clean(tag.c_str());
    size_t count = 0;
    for (char c : cleaned)
        count += c == '=';
    EXPECT_EQ(count, 101u);
    EXPECT_NE(cleaned.back(), '>');
    EXPECT_NE(cleaned.find(" a100=\"v\""), std::string::npos);
}

TEST(GetAttributeValue, QuotedValuesFoundAsPlainSubstrings) {
    EXPECT_EQ(Attr("<a data-href=\"/y\" href=\"/x\">", "href"), "/y");
    EXPECT_EQ(Attr("<a href=\"C:\\dir\\f.html\">", "href"), "C:/dir/f.html");
    EXPECT_EQ(Attr("<A HREF=' /x.html '>", "href"), "/x.html");
    EXPECT_EQ(Attr("<a href=\"a'b\" title='t'>", "title"), "t");
    EXPECT_EQ(Attr("<a href=/x>", "href"), "");
    EXPECT_EQ(Attr("<a href=\"/never-closed>", "href"), "");
    EXPECT_EQ(Attr("<a href=\"\">", "href"), "");
    EXPECT_EQ(Attr("<a>", ""), "");
    // An empty name is a plain search for the first quoted value.
    EXPECT_EQ(Attr("<a x=\"1\" y='2'>", ""), "1");
    EXPECT_EQ(Attr(nullptr, "href"), "");
}

TEST(GetMetaCharset, HttpEquivContentType) {
    EXPECT_EQ(Charset("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">"),
              "windows-1252");
    EXPECT_EQ(Charset("<meta http-equiv=content-type content=\"text/html; charset=utf-8; x=y\">"), "utf-8");
    EXPECT_EQ(Charset("<meta http-equiv=\"Content-Type\" content=\"text/html\" charset=\"koi8-r\">"),
              "koi8-r");
    EXPECT_EQ(Charset("<meta http-equiv=\"Content-Type\" content=\"text/html\">"), "");
}

TEST(GetMetaCharset, LeavesTheResultWithoutAContentTypeMeta) {
    EXPECT_EQ(Charset("<html><body>no meta</body></html>"), "prior");
    EXPECT_EQ(Charset("<meta name=\"x\" content=\"y\"><meta http-equiv=\"refresh\" content=\"5\">"), "prior");
    EXPECT_EQ(Charset("<meta http-equiv=\"content-type\" content=\"text/html; charset=x"), "x>");
    EXPECT_EQ(Charset(""), "prior");
    EXPECT_EQ(Charset("<meta"), "prior");
}

TEST(GetMetaCharset, SkipsMetaTagsUntilTheContentType) {
    EXPECT_EQ(Charset("<meta name=\"a\" content=\"b>c\"><META HTTP-EQUIV='CONTENT-TYPE' "
                      "CONTENT='text/html;CHARSET=Shift_JIS'>"),
              "Shift_JIS");
}

TEST(GetMetaCharset, CharsetAttributeOfAMetaTagWithoutHttpEquiv) {
    EXPECT_EQ(Charset("<meta charset=\"windows-1251\">"), "windows-1251");
    EXPECT_EQ(Charset("<META CharSet=windows-1251>"), "windows-1251");
    EXPECT_EQ(Charset("<head><meta name=x content=y><meta charset=' koi8-r ' /></head>"), "koi8-r");
    // Only a whole attribute name counts, not the end of a longer one nor text inside another value.
    EXPECT_EQ(Charset("<meta data-charset=\"big5\">"), "prior");
    EXPECT_EQ(Charset("<meta name=\"x charset='big5'\" content=y>"), "prior");
    EXPECT_EQ(Charset("<meta charset=\"\">"), "prior");
    // The first such tag counts.
    EXPECT_EQ(Charset("<meta charset=\"euc-kr\"><meta charset=\"gb2312\">"), "euc-kr");
}

TEST(GetMetaCharset, HttpEquivContentTypeComesBeforeTheCharsetAttribute) {
    EXPECT_EQ(Charset("<meta charset=\"utf-8\"><meta http-equiv=\"Content-Type\" "
                      "content=\"text/html; charset=iso-8859-2\">"),
              "iso-8859-2");
    // An http-equiv tag without a charset in its content gives its own (here empty) charset attribute.
    EXPECT_EQ(Charset("<meta charset=\"utf-8\"><meta http-equiv=\"Content-Type\" content=\"text/html\">"),
              "");
}

TEST(GetMetaCharset, DebianDocumentationPages) {
    EXPECT_EQ(Charset(Fixture("doc-meta-iso.html").c_str()), "ISO-8859-1");
    EXPECT_EQ(Charset(Fixture("doc-meta-utf8.html").c_str()), "utf-8");
}

TEST(HtmlTags, RealAnchorsFromDebianDocumentation) {
    Html html;
    html.SetHtml(Fixture("doc-anchors.html").c_str());
    ExtPtrArray raw, clean, hrefs;
    html.GetTags("a", false, raw);
    html.GetTags("a", true, clean);
    html.GetHrefs(hrefs);
    // Anchors whose name is followed by a line break ("<a\nhref", "<A\nNAME") are not "<a " openings
    // for GetTags; GetHrefs reads them as a browser does.
    std::vector<std::string> expectedRaw = {
        "<a name=FPwithoutfpu",
        "<a href=\"#windows-ports-build\" title=\"Building the Ports in\nMS-Windows\"",
        "<a class=\"xref\" href=\"mc-manual.html#mc-manual.machine\" title=\"4.5.\xC2\xA0"
        "Details of Memcheck's checking machinery\"", // the page's no-break space is kept
        "<a href='#index-ffi_005ftype-3' class='copiable-anchor'",
        "<a href=\"https://tidelift.com/subscription/pkg/"
        "npm-underscore?utm_source=npm-underscore&utm_medium=referral&utm_campaign=enterprise\"",
    };
    EXPECT_EQ(Texts(raw), expectedRaw);
    std::vector<std::string> expectedClean = {
        "<a name=\"FPwithoutfpu\">",
        "<a href=\"#windows-ports-build\" title=\"Building the Ports in MS-Windows\">",
        expectedRaw[2] + ">",
        expectedRaw[3] + ">",
        expectedRaw[4] + ">",
    };
    EXPECT_EQ(Texts(clean), expectedClean);
    std::vector<std::string> expectedHrefs = {
        "mailto:xslt@gnome.org",
        "http://mail.gnome.org/archives/xslt/",
        "#windows-ports-build",
        "mc-manual.html#mc-manual.machine",
        "#index-ffi_005ftype-3",
        "https://tidelift.com/subscription/pkg/"
        "npm-underscore?utm_source=npm-underscore&utm_medium=referral&utm_campaign=enterprise",
        "docs/underscore-esm.html",
        "docs/modules/index-all.html",
    };
    EXPECT_EQ(Texts(hrefs), expectedHrefs);
}

TEST(HtmlTags, UpperCaseOpeningsAreLoweredInTheStoredText) {
    Html html;
    html.SetHtml("<A HREF=x>1</A> <a href='y'>2</a> <a href='z'");
    ExtPtrArray tags;
    html.GetTags("a", true, tags);
    EXPECT_EQ(Texts(tags), (std::vector<std::string>{"<a HREF=\"x\">", "<a href='y'>", "<a href='z'>"}));
    EXPECT_STREQ(html.Text().Text(), "<a HREF=x>1</A> <a href='y'>2</a> <a href='z'");
}

TEST(HtmlTags, QuotedGreaterThanStaysInsideTheTag) {
    Html html;
    html.SetHtml("<a title=\"a>b\" href=\"/in\">t</a><a href=\"/2\">");
    ExtPtrArray hrefs;
    html.GetHrefs(hrefs);
    EXPECT_EQ(Texts(hrefs), (std::vector<std::string>{"/in", "/2"}));
}
