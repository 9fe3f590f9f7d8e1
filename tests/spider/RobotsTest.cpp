// Tests of robots exclusion against scripted robots.txt files: prefix rules, comments, records and
// the matching of User-agent values to the whole agent string or its product token.
#include <string>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "spider/Spider.h"
#include "support/ScriptedPages.h"

using namespace vantry;

namespace {

class Robots : public ::testing::Test {
protected:
    Robots() : spider(net) { spider.Initialize("example.com", false, false, false); }
    void Serve(const std::string &text) { net.Add("http://example.com/robots.txt", text); }
    bool Disallowed(const char *url) { return spider.IsDisallowed(url); }
    testsupport::ScriptedPages net;
    Spider spider;
};

} // namespace

TEST_F(Robots, PrefixRulesCompareLowerCasedPaths) {
    Serve("User-agent: *\nDisallow: /Private\n");
    EXPECT_TRUE(Disallowed("http://example.com/private/x"));
    EXPECT_TRUE(Disallowed("http://example.com/PRIVATEER"));
    EXPECT_FALSE(Disallowed("http://example.com/public"));
}

TEST_F(Robots, CommentsAreCutAndEmptyRulesForbidNothing) {
    Serve("# site rules\r\nUser-agent: *\r\nDisallow: /tmp # old\r\nDisallow:\r\nAllow: /tmp/ok\r\n");
    EXPECT_TRUE(Disallowed("http://example.com/tmp/ok"));
    EXPECT_FALSE(Disallowed("http://example.com/"));
}

TEST_F(Robots, BlankOrMissingFilesDisallowNothing) {
    Serve("\n \r\n\t\n");
    EXPECT_FALSE(Disallowed("http://example.com/x"));
    Spider other(net);
    other.Initialize("missing.org", false, false, false);
    EXPECT_FALSE(other.IsDisallowed("http://missing.org/x"));
}

TEST_F(Robots, RecordsForOtherAgentsAreIgnored) {
    spider.SetUserAgent("Lanternfold/1.1 (+http://x.org/)");
    Serve("User-agent: somebot\nDisallow: /\n");
    EXPECT_FALSE(Disallowed("http://example.com/a"));
}

TEST_F(Robots, RecordNamingTheWholeAgentOrItsProductTokenApplies) {
    spider.SetUserAgent("Lanternfold/1.1 (+http://x.org/)");
    Serve("User-agent: lanternfold\nDisallow: /token\n\nUser-agent: LANTERNFOLD/1.1 (+http://x.org/)\n"
          "Disallow: /whole\nUser-agent: Lanternfold/1.1\nDisallow: /versioned\n");
    EXPECT_TRUE(Disallowed("http://example.com/token"));
    EXPECT_TRUE(Disallowed("http://example.com/whole"));
    EXPECT_FALSE(Disallowed("http://example.com/versioned"));
}

TEST_F(Robots, ProductTokenEndsAtABlankToo) {
    spider.SetUserAgent("Harvest agent");
    Serve("User-agent: harvest\nDisallow: /h\n");
    EXPECT_TRUE(Disallowed("http://example.com/h"));
}

TEST_F(Robots, ConsecutiveAgentLinesFormOneRecord) {
    spider.SetUserAgent("Lanternfold/1.1");
    Serve("User-agent: otherbot\nUser-agent: lanternfold\nUser-agent: thirdbot\nDisallow: /shared\n"
          "User-agent: otherbot\nDisallow: /theirs\n");
    EXPECT_TRUE(Disallowed("http://example.com/shared/page"));
    EXPECT_FALSE(Disallowed("http://example.com/theirs"));
}

TEST_F(Robots, LinesBeforeTheFirstAgentCountForEveryone) {
    Serve("Disallow: /early\nUser-agent: otherbot\nDisallow: /late\n");
    EXPECT_TRUE(Disallowed("http://example.com/early"));
    EXPECT_FALSE(Disallowed("http://example.com/late"));
}

TEST_F(Robots, FetchedOnceOutsideTheCacheWithSettingsPutBack) {
    Serve("User-agent: *\nDisallow: /x\n");
    net.fetchFromCache = true;
    net.updateCache = true;
    net.calls.clear();
    StringBuffer text;
    ASSERT_TRUE(spider.FetchRobots(text));
    EXPECT_EQ(text.View(), "User-agent: *\nDisallow: /x\n");
    ASSERT_EQ(net.fetchSettings.size(), 1u);
    EXPECT_EQ(net.fetchSettings[0], "FetchFromCache=0 UpdateCache=0");
    EXPECT_EQ(net.calls, (std::vector<std::string>{"FetchFromCache=0", "UpdateCache=0", "FetchFromCache=1",
                                                   "UpdateCache=1"}));
    EXPECT_TRUE(spider.FetchRobots(text));
    EXPECT_TRUE(Disallowed("http://example.com/x"));
    EXPECT_EQ(net.fetched, (std::vector<std::string>{"http://example.com/robots.txt"}));
}

TEST_F(Robots, DisallowAllForbidsQueuedLinksButTheHomePageIsFetched) {
    Serve("User-agent: *\nDisallow: /\n");
    net.Add("http://example.com/", "<a href=/a>a</a><a href=http://o.org/>o</a>");
    spider.AddUnspidered("http://example.com/");
    StringBuffer page;
    ASSERT_TRUE(spider.CrawlNext(page));
    EXPECT_EQ(spider.UnspideredCount(), 0);
    EXPECT_EQ(spider.OutboundCount(), 1);
}

TEST(AgentMatches, WholeStringOrProductTokenIgnoringCase) {
    EXPECT_TRUE(Spider::AgentMatches("lanternfold", "Lanternfold/1.1 (+x)"));
    EXPECT_TRUE(Spider::AgentMatches("LANTERNFOLD/1.1 (+X)", "Lanternfold/1.1 (+x)"));
    EXPECT_FALSE(Spider::AgentMatches("lantern", "Lanternfold/1.1 (+x)"));
    EXPECT_FALSE(Spider::AgentMatches("", "Lanternfold/1.1"));
    EXPECT_FALSE(Spider::AgentMatches("x", ""));
}
