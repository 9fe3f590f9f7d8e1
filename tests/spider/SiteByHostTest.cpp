// Tests of the spider as the harvester runs it: one site in its http/https and www/bare spellings,
// https links kept, redirects inside the site, the caps that bound a crawl, robots.txt handed in,
// and hrefs with escaped or raw newlines and tabs.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/Spider.h"
#include "support/ScriptedPages.h"

using namespace vantry;

namespace {

class SiteByHost : public ::testing::Test {
protected:
    SiteByHost() : spider(net) {
        spider.Initialize("www.site.org", false, false, false);
        spider.SetMatchSiteByHost(true);
        spider.SetSkipHttps(false);
        spider.SetKnownRobots(404, "");
    }
    std::vector<std::string> Unspidered() const {
        std::vector<std::string> out;
        StringBuffer s;
        for (int32_t i = 0; spider.GetUnspidered(i, s); ++i)
            out.push_back(s.Text());
        return out;
    }
    std::vector<std::string> Outbound() const {
        std::vector<std::string> out;
        StringBuffer s;
        for (int32_t i = 0; spider.GetOutboundLink(i, s); ++i)
            out.push_back(s.Text());
        return out;
    }
    void Process(const char *pageUrl, const char *html) {
        StringBuffer page(html);
        spider.ProcessPageLinks(pageUrl, page);
    }
    testsupport::ScriptedPages net;
    Spider spider;
};

} // namespace

TEST_F(SiteByHost, BothSchemesAndBothSpellingsAreInboundAndOnePage) {
    Process("http://www.site.org/",
            "<a href=https://site.org/a>1</a><a href=http://www.site.org/a>2</a><a "
            "href=HTTPS://WWW.SITE.ORG/a>3</a>"
            "<a href=https://site.org/b>4</a><a href=/c>5</a><a href=https://other.net/x>6</a>"
            "<a href=https://shop.site.org/>7</a><a href=http://site.org.evil.net/>8</a>");
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"https://site.org/a", "https://site.org/b",
                                                      "http://www.site.org/c"}));
    EXPECT_EQ(Outbound(), (std::vector<std::string>{"https://other.net/x", "https://shop.site.org/",
                                                    "http://site.org.evil.net/"}));
}

TEST_F(SiteByHost, LinksOfOtherSchemesAreDropped) {
    Process("https://site.org/",
            "<a href=news:comp.lang>n</a><a href=gopher://x.org/>g</a><a href=/ok>o</a>");
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"https://site.org/ok"}));
    EXPECT_TRUE(Outbound().empty());
}

TEST_F(SiteByHost, RedirectToHttpsAndTheBareNameStaysInsideAndResolvesAgainstTheFinalUrl) {
    net.Add("http://www.site.org/dir/",
            "<a href=page.html>p</a><a href=/>home</a><a href=https://x.net/>x</a>");
    net.pages["http://www.site.org/dir/"].redirectTo = "https://site.org/dir/";
    spider.AddUnspidered("http://www.site.org/");
    spider.AddUnspidered("http://www.site.org/dir/");
    StringBuffer page;
    spider.CrawlNext(page); // the home page is not scripted: a failed fetch
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"https://site.org/dir/page.html"}));
    EXPECT_EQ(Outbound(), (std::vector<std::string>{"https://x.net/"}));
}

TEST_F(SiteByHost, RedirectToAnotherSiteIsItsOnlyOutboundLink) {
    net.Add("http://www.site.org/", "<a href=/a>a</a>");
    net.pages["http://www.site.org/"].redirectTo = "https://elsewhere.net/";
    spider.AddUnspidered("http://www.site.org/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(Outbound(), (std::vector<std::string>{"https://elsewhere.net/"}));
    EXPECT_TRUE(Unspidered().empty());
}

TEST_F(SiteByHost, HomePageIsNotQueuedAgainByALinkBackToIt) {
    net.Add("http://www.site.org/", "<a href=/>home</a><a href=https://site.org/>again</a><a href=/a>a</a>");
    spider.AddUnspidered("http://www.site.org/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"http://www.site.org/a"}));
}

TEST_F(SiteByHost, QueueCapDropsFurtherInboundLinksButNotOutbound) {
    spider.SetMaxQueued(2);
    Process("http://www.site.org/",
            "<a href=/1>1</a><a href=/2>2</a><a href=/3>3</a><a href=https://o.net/>o</a>");
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"http://www.site.org/1", "http://www.site.org/2"}));
    EXPECT_EQ(Outbound(), (std::vector<std::string>{"https://o.net/"}));
}

TEST_F(SiteByHost, SeenCapStopsRememberingButOutboundLinksStillCome) {
    spider.SetMaxSeenUrls(2);
    Process("http://www.site.org/",
            "<a href=/1>1</a><a href=/2>2</a><a href=/3>3</a><a href=https://o.net/>o</a>"
            "<a href=https://p.net/>p</a>");
    Process("http://www.site.org/1", "<a href=https://p.net/>p</a>");
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"http://www.site.org/1", "http://www.site.org/2"}));
    EXPECT_EQ(Outbound(), (std::vector<std::string>{"https://o.net/", "https://p.net/", "https://p.net/"}));
}

TEST_F(SiteByHost, KnownRobotsAreUsedWithoutAFetchAndReportedBack) {
    spider.SetUseRobotsRules(true);
    spider.SetKnownRobots(200, "User-agent: *\nDisallow: /private\n");
    net.Add("http://www.site.org/", "<a href=/private/x>p</a><a href=/public>q</a>");
    spider.AddUnspidered("http://www.site.org/");
    StringBuffer page, text;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(net.fetched, (std::vector<std::string>{"http://www.site.org/"}));
    EXPECT_EQ(Unspidered(), (std::vector<std::string>{"http://www.site.org/public"}));
    int status = 0;
    ASSERT_TRUE(spider.GetRobotsOutcome(status, text));
    EXPECT_EQ(status, 200);
    EXPECT_STREQ(text.Text(), "User-agent: *\nDisallow: /private\n");
}

TEST(SpiderRobotsOutcome, FetchedRobotsAreReportedWithTheirStatus) {
    testsupport::ScriptedPages net;
    net.Add("http://a.org/robots.txt", "User-agent: *\nDisallow: /\n");
    Spider spider(net);
    spider.Initialize("a.org", false, false, false);
    StringBuffer text;
    int status = -1;
    EXPECT_FALSE(spider.GetRobotsOutcome(status, text));
    spider.RobotsRulesInForce();
    ASSERT_TRUE(spider.GetRobotsOutcome(status, text));
    EXPECT_EQ(status, 200);
    EXPECT_STREQ(text.Text(), "User-agent: *\nDisallow: /\n");
}

TEST_F(SiteByHost, NewlinesAndTabsInHrefsNeverReachAHost) {
    StringBuffer page("<a href=\"http://www.exa&#10;mple.com/\">1</a><a href=\"http://fo&#9;o.com/\">2</a>"
                      "<a href=\"http://ba\tr.com/\">3</a><a href=\"&#10;http://lead.com/&#13;\">4</a>");
    ExtPtrArray links;
    spider.ExtractLinks(page, links);
    std::vector<std::string> texts;
    for (int32_t i = 0; i < links.Count(); ++i)
        texts.push_back(links.ElementAs<StringBuffer>(i)->Text());
    EXPECT_EQ(texts, (std::vector<std::string>{"http://www.example.com/", "http://foo.com/",
                                               "http://bar.com/", "http://lead.com/"}));
}
