// Tests of the spider's link extraction and sorting against scripted pages: the skip list,
// redirector unwrapping, query and fragment cuts, both spellings of www, patterns and the anchor mend.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/Spider.h"
#include "support/ScriptedPages.h"

using namespace vantry;

namespace {

std::vector<std::string> Texts(const ExtPtrArray &list) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.Count(); ++i)
        out.push_back(list.ElementAs<StringBuffer>(i)->Text());
    return out;
}

std::vector<std::string> Extract(Spider &spider, const char *html, std::string *rest = nullptr) {
    StringBuffer page(html);
    ExtPtrArray links;
    spider.ExtractLinks(page, links);
    if (rest != nullptr)
        *rest = page.Text();
    return Texts(links);
}

std::vector<std::string> Unspidered(const Spider &spider) {
    std::vector<std::string> out;
    StringBuffer s;
    for (int32_t i = 0; spider.GetUnspidered(i, s); ++i)
        out.push_back(s.Text());
    return out;
}

std::vector<std::string> Outbound(const Spider &spider) {
    std::vector<std::string> out;
    StringBuffer s;
    for (int32_t i = 0; spider.GetOutboundLink(i, s); ++i)
        out.push_back(s.Text());
    return out;
}

class LinkSorting : public ::testing::Test {
protected:
    LinkSorting() : spider(net) {
        net.Add("http://example.com/robots.txt", "");
        spider.Initialize("example.com", false, false, false);
    }
    void Process(const char *pageUrl, const char *html) {
        StringBuffer page(html);
        spider.ProcessPageLinks(pageUrl, page);
    }
    testsupport::ScriptedPages net;
    Spider spider;
};

} // namespace

TEST_F(LinkSorting, UpperCaseAnchorYieldsItsLinkAndLeavesThePageWithoutIt) {
    std::string rest;
    EXPECT_EQ(Extract(spider, "<p>x<A HREF='/about.html'>About</A>y</p>", &rest),
              (std::vector<std::string>{"/about.html"}));
    EXPECT_EQ(rest, "<p>xy</p>");
}

TEST_F(LinkSorting, AnchorOpensAtAnyHtmlWhiteSpaceAfterTheA) {
    EXPECT_EQ(Extract(spider, "<a\thref=/t>1</a><a\nhref=/n>2</a><a\rhref=/r>3</a><a\fhref=/f>4</a>"
                              "<A\r\nHREF=/crlf>5</A><abbr href=/no>6</abbr><a href=/s>7</a>"),
              (std::vector<std::string>{"/t", "/n", "/r", "/f", "/crlf", "/s"}));
}

TEST_F(LinkSorting, CharacterReferencesInHrefAreDecodedBeforeTheTests) {
    spider.SetAvoidQueryStrings(false);
    EXPECT_EQ(Extract(spider, "<a href=\"/q?a=1&amp;b=2\">x</a><a href=\"mailto:me&#64;x.org\">m</a>"
                              "<a href=\"/&#x41;&#66;&lt;&gt;&quot;&apos;\">y</a><a href=\"&#35;top\">t</a>"),
              (std::vector<std::string>{"/q?a=1&b=2", "mailto:me@x.org", "/AB<>\"'"}));
    // An escaped "https:" is still found by the https test.
    spider.SetAvoidQueryStrings(true);
    EXPECT_TRUE(Extract(spider, "<a href=\"https&#58;//x.org/\">s</a>").empty());
}

TEST_F(LinkSorting, FragmentsAndQueriesAreCutAndDuplicatesOfOnePageDropped) {
    EXPECT_EQ(Extract(spider, "<a href=#top>t</a><a href=/a.html#top>a</a><a href=/list?page=2>l</a>"
                              "<a href=/a.html>again</a><a href=ftp://x.org/f>f</a><a href=' '>e</a>"),
              (std::vector<std::string>{"/a.html", "/list"}));
    spider.SetAvoidQueryStrings(false);
    EXPECT_EQ(Extract(spider, "<a href=/list?page=2>l</a>"), (std::vector<std::string>{"/list?page=2"}));
}

TEST_F(LinkSorting, AnchorWithoutClosingTagKeepsTheFollowingText) {
    std::string rest;
    EXPECT_EQ(Extract(spider, "a<a href=/x>b<a href=/y c", &rest), (std::vector<std::string>{"/x", "/y"}));
    EXPECT_EQ(rest, "ab");
}

TEST_F(LinkSorting, SkipListDecidesExtensionsByTheirFirstOccurrence) {
    EXPECT_TRUE(Spider::IsSkippedLink("/report.PDF"));
    EXPECT_FALSE(Spider::IsSkippedLink("/report.pdf.html"));
    EXPECT_FALSE(Spider::IsSkippedLink("/a.zip/b.zip"));
    EXPECT_TRUE(Spider::IsSkippedLink("MAILTO:x@y.org"));
    EXPECT_TRUE(Spider::IsSkippedLink("JavaScript:void(0)"));
    EXPECT_TRUE(Spider::IsSkippedLink("http://ad.DoubleClick.net/x"));
    EXPECT_TRUE(Spider::IsSkippedLink("http://ib.adnxs.com/x"));
    EXPECT_FALSE(Spider::IsSkippedLink("http://example.org/ftp:x"));
    EXPECT_FALSE(Spider::IsSkippedLink("/page.html"));
}

TEST_F(LinkSorting, RedirectorLinksAreUnwrapped) {
    StringBuffer link("/redir.php?id=3&url=http%3A%2F%2Fexample.org%2F");
    Spider::UnwrapRedirect(link);
    EXPECT_STREQ(link.Text(), "http://example.org/");
    StringBuffer portal("http://rds.yahoo.com/_ylt=A0/SIG=1/*http%3A//example.net/a");
    Spider::UnwrapRedirect(portal);
    EXPECT_STREQ(portal.Text(), "http://example.net/a");
    StringBuffer noMarker("http://srd.yahoo.com/plain");
    Spider::UnwrapRedirect(noMarker);
    EXPECT_STREQ(noMarker.Text(), "http://srd.yahoo.com/plain");
    StringBuffer otherCase("HTTP://rds.yahoo.com/*http://x.org/");
    Spider::UnwrapRedirect(otherCase);
    EXPECT_STREQ(otherCase.Text(), "HTTP://rds.yahoo.com/*http://x.org/");
}

TEST_F(LinkSorting, RedirPhpIsUnwrappedOnlyWhenQueriesAreKept) {
    spider.SetAvoidQueryStrings(false);
    EXPECT_EQ(Extract(spider, "<a href='/redir.php?url=http%3A%2F%2Fexample.org%2F'>r</a>"),
              (std::vector<std::string>{"http://example.org/"}));
    spider.SetAvoidQueryStrings(true);
    EXPECT_EQ(Extract(spider, "<a href='/redir.php?url=http%3A%2F%2Fexample.org%2F'>r</a>"),
              (std::vector<std::string>{"/redir.php"}));
}

TEST_F(LinkSorting, LinksAreSortedIntoQueueAndOutbound) {
    Process("http://example.com/dir/page.html",
            "<a href=b.html>1</a><a href=http://other.org/x>2</a><a href=/c.html#frag>3</a>"
            "<a href=http://www.example.com/d>4</a><a href=https://secure.org/>5</a><a href=/pic.jpg>6</a>"
            "<a href=http://other.org/x>dup</a>");
    EXPECT_EQ(Unspidered(spider),
              (std::vector<std::string>{"http://example.com/dir/b.html", "http://example.com/c.html",
                                        "http://www.example.com/d"}));
    EXPECT_EQ(Outbound(spider), (std::vector<std::string>{"http://other.org/x"}));
}

TEST_F(LinkSorting, BothSpellingsOfWwwAreOnePage) {
    Process("http://example.com/",
            "<a href=http://www.example.com/a>1</a><a href=http://example.com/a>2</a>");
    Process("http://example.com/",
            "<a href=http://example.com/b>1</a><a href=http://www.example.com/b>2</a>");
    EXPECT_EQ(Unspidered(spider),
              (std::vector<std::string>{"http://www.example.com/a", "http://example.com/b"}));
}

TEST_F(LinkSorting, AlreadySortedLinksAreNotSortedAgainAcrossPages) {
    Process("http://example.com/", "<a href=/a>1</a><a href=http://o.org/>o</a>");
    spider.ClearOutboundLinks();
    Process("http://example.com/x", "<a href=/a>1</a><a href=http://o.org/>o</a>");
    EXPECT_EQ(Unspidered(spider), (std::vector<std::string>{"http://example.com/a"}));
    EXPECT_TRUE(Outbound(spider).empty());
}

TEST_F(LinkSorting, AvoidOutboundPatternDropsMatchingOutboundLinks) {
    spider.AddAvoidOutboundPattern("http://*.tracker.org/*");
    Process("http://example.com/", "<a href=http://a.TRACKER.org/p>1</a><a href=http://b.org/>2</a>");
    EXPECT_EQ(Outbound(spider), (std::vector<std::string>{"http://b.org/"}));
}

TEST_F(LinkSorting, AvoidAndMustMatchPatternsFilterLinks) {
    spider.AddAvoidPattern("*/private/*");
    spider.AddMustMatchPattern("*example.com/*");
    spider.AddMustMatchPattern("/keep*");
    Process("http://example.com/", "<a href=/private/x>1</a><a href=/keep/y>2</a><a href=/drop>3</a>");
    EXPECT_EQ(Unspidered(spider), (std::vector<std::string>{"http://example.com/keep/y"}));
}

TEST(WildcardMatch, StarsStandForAnyRunAndCaseIsIgnored) {
    EXPECT_TRUE(Spider::WildcardMatch("*", ""));
    EXPECT_TRUE(Spider::WildcardMatch("http://*.ORG/*", "http://a.b.org/"));
    EXPECT_TRUE(Spider::WildcardMatch("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(Spider::WildcardMatch("a*b*c", "aXbYbZ"));
    EXPECT_FALSE(Spider::WildcardMatch("abc", "abcd"));
    EXPECT_FALSE(Spider::WildcardMatch("", "a"));
    EXPECT_TRUE(Spider::WildcardMatch("**x", "x"));
}

TEST_F(LinkSorting, MaxUrlsStopsInboundLinksButNotOutbound) {
    net.Add("http://example.com/", "<a href=/a>a</a>");
    net.Add("http://example.com/a", "<a href=/b>b</a><a href=http://o.org/>o</a>");
    spider.SetMaxUrls(1);
    spider.AddUnspidered("http://example.com/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    ASSERT_TRUE(spider.CrawlNext(page)); // now two spidered, more than 1
    EXPECT_EQ(spider.UnspideredCount(), 0);
    EXPECT_EQ(Outbound(spider), (std::vector<std::string>{"http://o.org/"}));
}

TEST_F(LinkSorting, HttpsLinksAreKeptWhenSkipHttpsIsOff) {
    spider.SetSkipHttps(false);
    EXPECT_EQ(Extract(spider, "<a href=https://x.org/>s</a>"), (std::vector<std::string>{"https://x.org/"}));
}
