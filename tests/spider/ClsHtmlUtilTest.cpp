// Tests of ClsHtmlUtil::GetHttpLinks: the http links of a page, each once.
#include <gtest/gtest.h>

#include <string>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "spider/ClsHtmlUtil.h"
#include "support/TestSupport.h"

using namespace vantry;

TEST(GetHttpLinks, KeepsLinksStartingWithHttpOnceEach) {
    ClsHtmlUtil util;
    ClsStringArray links;
    util.GetHttpLinks("<a href=\"http://example.org/\">1</a><a href=\"https://example.org/\">2</a>"
                      "<a href=\"/local.html\">3</a><a href=\"HTTP://EXAMPLE.ORG/\">4</a>"
                      "<a href=\"http://example.org/\">again</a>",
                      links);
    EXPECT_TRUE(links.Unique());
    ASSERT_EQ(links.Count(), 2);
    StringBuffer s;
    links.GetString(0, s);
    EXPECT_STREQ(s.Text(), "http://example.org/");
    links.GetString(1, s);
    EXPECT_STREQ(s.Text(), "https://example.org/");
}

TEST(GetHttpLinks, DebianDocumentationExcerpt) {
    ClsHtmlUtil util;
    ClsStringArray links;
    std::string page = testsupport::ReadFileBytes(std::string(VANTRY_SOURCE_DIR) +
                                                  "/tests/spider/fixtures/doc-anchors.html");
    util.GetHttpLinks(page.c_str(), links);
    // The tidelift link, and the archive link of an anchor opened by "<a" and a line break.
    ASSERT_EQ(links.Count(), 2);
}

TEST(GetHttpLinks, EscapedAndRawNewlinesAndTabsAreRemovedFromLinks) {
    ClsHtmlUtil util;
    ClsStringArray links;
    util.GetHttpLinks(
        "<a href=\"http://www.exa&#10;mple.com/\">1</a><a href=\"&#10;http://b&#9;c.org/\">2</a>", links);
    ASSERT_EQ(links.Count(), 2);
    StringBuffer s;
    links.GetString(0, s);
    EXPECT_STREQ(s.Text(), "http://www.example.com/");
    links.GetString(1, s);
    EXPECT_STREQ(s.Text(), "http://bc.org/");
}
