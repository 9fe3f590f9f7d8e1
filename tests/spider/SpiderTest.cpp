// Tests of the spider's state and crawl step against scripted pages: the queue, failures, redirects,
// robots fetched once, and the facade settings it applies.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "spider/Spider.h"
#include "support/ScriptedPages.h"

using namespace vantry;

using testsupport::ScriptedPages;

TEST(Spider, ConfiguresItsFacadeInOrder) {
    ScriptedPages net;
    Spider spider(net);
    EXPECT_EQ(net.calls, (std::vector<std::string>{"UseHttpCache=1", "ReadTimeout=10", "ConnectTimeout=10",
                                                   "FollowRedirects=1", "MaxUrlLen=800",
                                                   "RefuseMediaExtensions=1", "RequireVerifiedServer=0"}));
}

TEST(Spider, FirstUrlSetsTheDomainAndOtherHostsAreRefused) {
    ScriptedPages net;
    Spider spider(net);
    EXPECT_TRUE(spider.AddUnspidered("http://www.example.com/"));
    EXPECT_STREQ(spider.Domain().Text(), "www.example.com");
    EXPECT_FALSE(spider.AddUnspidered("http://other.org/"));
    EXPECT_TRUE(spider.AddUnspidered("/relative.html"));
    EXPECT_TRUE(spider.AddUnspidered("http://www.example.com/")); // no duplicate check
    EXPECT_EQ(spider.UnspideredCount(), 3);
}

TEST(Spider, EmptyQueueGivesFalseWithoutFetching) {
    ScriptedPages net;
    net.Add("http://example.com/robots.txt", "");
    Spider spider(net);
    spider.Initialize("example.com", false, false, false);
    StringBuffer page("old");
    EXPECT_FALSE(spider.CrawlNext(page)); // robots.txt is fetched on the first call
    EXPECT_FALSE(spider.CrawlNext(page));
    EXPECT_EQ(net.fetched, (std::vector<std::string>{"http://example.com/robots.txt"}));
    EXPECT_EQ(page.Length(), 0);
}

TEST(Spider, FailedFetchIsRecordedAndTheNextUrlFollows) {
    ScriptedPages net;
    net.Add("http://example.com/b", "<p>b</p>");
    Spider spider(net);
    spider.SetObeyRobots(false);
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered("http://example.com/a");
    spider.AddUnspidered("http://example.com/b");
    StringBuffer page, s;
    EXPECT_FALSE(spider.CrawlNext(page));
    EXPECT_EQ(spider.FailedCount(), 1);
    EXPECT_EQ(spider.SpideredCount(), 0);
    EXPECT_TRUE(spider.CrawlNext(page));
    EXPECT_STREQ(spider.LastUrl().Text(), "http://example.com/b");
    EXPECT_STREQ(spider.LastModified().Text(), "1994-11-06");
    ASSERT_TRUE(spider.GetFailed(0, s));
    EXPECT_STREQ(s.Text(), "http://example.com/a");
    ASSERT_TRUE(spider.GetSpidered(0, s));
    EXPECT_STREQ(s.Text(), "http://example.com/b");
    EXPECT_FALSE(spider.GetSpidered(1, s));
    EXPECT_EQ(s.Length(), 0);
}

TEST(Spider, RedirectToAnotherSiteYieldsOnlyTheFinalUrl) {
    ScriptedPages net;
    net.Add("http://example.com/", "<a href=/in>in</a><a href=http://o.org/>o</a>");
    net.pages["http://example.com/"].redirectTo = "http://elsewhere.net/landing";
    Spider spider(net);
    spider.SetObeyRobots(false);
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered("http://example.com/");
    StringBuffer page, s;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(spider.UnspideredCount(), 0);
    ASSERT_EQ(spider.OutboundCount(), 1);
    spider.GetOutboundLink(0, s);
    EXPECT_STREQ(s.Text(), "http://elsewhere.net/landing");
}

TEST(Spider, RedirectInsideTheDomainSortsLinksAgainstTheRequestedUrl) {
    ScriptedPages net;
    net.Add("http://example.com/dir/", "<a href=page.html>p</a>");
    net.pages["http://example.com/dir/"].redirectTo = "http://www.example.com/other/";
    Spider spider(net);
    spider.SetObeyRobots(false);
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered("http://example.com/dir/");
    StringBuffer page, s;
    ASSERT_TRUE(spider.CrawlNext(page));
    ASSERT_TRUE(spider.GetUnspidered(0, s));
    EXPECT_STREQ(s.Text(), "http://example.com/dir/page.html");
}

TEST(Spider, PageTextLosesItsAnchorsAndOutboundLinksAreCleared) {
    ScriptedPages net;
    net.Add("http://example.com/", "<p>a<a href=http://o.org/>o</a>b</p>");
    Spider spider(net);
    spider.SetObeyRobots(false);
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered("http://example.com/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_STREQ(page.Text(), "<p>ab</p>");
    EXPECT_EQ(spider.OutboundCount(), 1);
    spider.ClearOutboundLinks();
    EXPECT_EQ(spider.OutboundCount(), 0);
}

TEST(Spider, InitializeClearsListsAndRobotsAndKeepsChosenPatterns) {
    ScriptedPages net;
    net.Add("http://a.org/robots.txt", "Disallow: /x\n");
    net.Add("http://a.org/", "<a href=/y>y</a>");
    net.Add("http://b.org/robots.txt", "");
    net.Add("http://b.org/", "<a href=/x>x</a><a href=/skip>s</a>");
    Spider spider(net);
    spider.AddAvoidPattern("*/skip");
    spider.Initialize("a.org", false, false, false);
    spider.AddUnspidered("http://a.org/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(spider.UnspideredCount(), 1);
    spider.Initialize("b.org", false, false, false);
    EXPECT_EQ(spider.UnspideredCount(), 0);
    EXPECT_EQ(spider.SpideredCount(), 0);
    spider.AddUnspidered("http://b.org/");
    ASSERT_TRUE(spider.CrawlNext(page));
    StringBuffer s;
    ASSERT_EQ(spider.UnspideredCount(), 1); // /x is allowed on b.org; /skip is still avoided
    spider.GetUnspidered(0, s);
    EXPECT_STREQ(s.Text(), "http://b.org/x");
}
