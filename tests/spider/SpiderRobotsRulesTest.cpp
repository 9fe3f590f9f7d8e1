// Tests of the spider crawling with RobotsRules switched on, beside its default prefix matcher:
// Allow and wildcards in link sorting, the status of the robots.txt fetch, and one fetch and one
// reading of robots.txt per domain.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "spider/Spider.h"
#include "support/ScriptedPages.h"

using namespace vantry;

namespace {

constexpr const char *kHome = "http://example.com/";
constexpr const char *kRobots = "http://example.com/robots.txt";
constexpr const char *kLinks = "<a href=/private/a>1</a><a href=/public/b>2</a><a href=/x/page.php>3</a>"
                               "<a href=/x/page.php5>4</a><a href=http://o.org/>5</a>";

class SpiderRobotsRules : public ::testing::Test {
protected:
    SpiderRobotsRules() : spider(net) {
        net.Add(kHome, kLinks);
        spider.Initialize("example.com", false, false, false);
        spider.SetUserAgent("Lanternfold/1.1 (+http://x.org/)");
        spider.AddUnspidered(kHome);
    }
    void ServeRobots(const std::string &text, int status = 0, bool ok = true) {
        testsupport::ScriptedPage &page = net.pages[kRobots];
        page.body = text;
        page.status = status;
        page.ok = ok;
    }
    std::vector<std::string> Queued() {
        std::vector<std::string> urls;
        StringBuffer s;
        for (int32_t i = 0; spider.GetUnspidered(i, s); ++i)
            urls.push_back(s.Text());
        return urls;
    }
    testsupport::ScriptedPages net;
    Spider spider;
    StringBuffer page;
};

constexpr const char *kRules = "User-agent: *\nDisallow: /\n\n"
                               "User-agent: lanternfold\nDisallow: /private/\nDisallow: /*.php$\n";

} // namespace

TEST_F(SpiderRobotsRules, AllowAndWildcardsDecideWhichLinksAreQueued) {
    ServeRobots(kRules);
    spider.SetUseRobotsRules(true);
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(Queued(),
              (std::vector<std::string>{"http://example.com/public/b", "http://example.com/x/page.php5"}));
    EXPECT_EQ(spider.OutboundCount(), 1);
}

TEST_F(SpiderRobotsRules, DefaultMatcherStaysWithoutTheSetting) {
    // The prefix matcher reads every record naming the agent or "*": "Disallow: /" forbids all
    // links, and the home page is fetched untested.
    ServeRobots(kRules);
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(net.fetched, (std::vector<std::string>{kRobots, kHome}));
}

TEST_F(SpiderRobotsRules, QueuedUrlsAreTestedBeforeTheyAreFetched) {
    ServeRobots("User-agent: *\nDisallow: /$\n");
    spider.SetUseRobotsRules(true);
    spider.AddUnspidered("http://example.com/next");
    net.Add("http://example.com/next", "<p>next</p>");
    ASSERT_TRUE(spider.CrawlNext(page)); // the home page is skipped
    EXPECT_STREQ(spider.LastUrl().Text(), "http://example.com/next");
    EXPECT_EQ(net.fetched, (std::vector<std::string>{kRobots, "http://example.com/next"}));
}

TEST_F(SpiderRobotsRules, UnavailableRobotsAllowEverything) {
    spider.SetUseRobotsRules(true);
    for (int status : {404, 403, 410}) {
        SCOPED_TRACE(status);
        ServeRobots("User-agent: *\nDisallow: /\n", status);
        spider.Initialize("example.com", false, false, false);
        spider.AddUnspidered(kHome);
        ASSERT_TRUE(spider.CrawlNext(page));
        EXPECT_EQ(Queued().size(), 4u);
    }
    net.pages.erase(kRobots); // unscripted: a 404 that the fetch reports as a failure
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered(kHome);
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(Queued().size(), 4u);
}

TEST_F(SpiderRobotsRules, ServerErrorOrNoAnswerForbidsTheWholeSite) {
    spider.SetUseRobotsRules(true);
    for (bool answered : {true, false}) {
        SCOPED_TRACE(answered);
        ServeRobots("", answered ? 503 : 0, answered);
        net.fetched.clear();
        spider.Initialize("example.com", false, false, false);
        spider.AddUnspidered(kHome);
        EXPECT_FALSE(spider.CrawlNext(page));
        EXPECT_EQ(spider.UnspideredCount(), 0);
        EXPECT_EQ(net.fetched, (std::vector<std::string>{kRobots}));
        EXPECT_TRUE(spider.IsDisallowed("http://example.com/anything"));
    }
    // The default matcher reads a failed fetch as an empty file.
    spider.SetUseRobotsRules(false);
    spider.Initialize("example.com", false, false, false);
    spider.AddUnspidered(kHome);
    EXPECT_TRUE(spider.CrawlNext(page));
}

TEST_F(SpiderRobotsRules, RobotsFetchedOncePerDomainAndRereadOnlyForAnotherAgent) {
    ServeRobots(kRules);
    spider.SetUseRobotsRules(true);
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_TRUE(spider.RobotsRulesInForce().HasOwnGroup());
    EXPECT_TRUE(spider.IsDisallowed("http://example.com/private/x"));
    spider.SetUserAgent("otherbot");
    EXPECT_FALSE(spider.RobotsRulesInForce().HasOwnGroup());
    EXPECT_TRUE(spider.IsDisallowed("http://example.com/public/b"));
    EXPECT_EQ(net.fetched, (std::vector<std::string>{kRobots, kHome}));

    // A new domain brings its own robots.txt.
    net.Add("http://other.org/robots.txt", "User-agent: *\nCrawl-delay: 4\n");
    spider.Initialize("other.org", false, false, false);
    EXPECT_FALSE(spider.IsDisallowed("http://other.org/public/b"));
    EXPECT_DOUBLE_EQ(spider.RobotsRulesInForce().CrawlDelaySeconds(), 4);
    EXPECT_EQ(net.fetched.back(), "http://other.org/robots.txt");
}
