// Tests of the harvester's steps against a scripted web, scripted lookups and a scripted clock: seed
// links, crawlable names, the page budget, the queue caps, both spellings, and the idle back-off.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "core/StringSeen.h"
#include "harvester/Harvester.h"
#include "harvester/ScriptedHarvest.h"
#include "support/TestSupport.h"

using namespace vantry;
using namespace lanternfold;

using testsupport::ScriptedHarvest;

namespace {

class HarvesterSteps : public ::testing::Test {
protected:
    HarvesterSteps() : harvester(env) {
        output = dir.File("domains.txt");
        harvester.Start(output.c_str());
        env.stderrText.clear();
    }
    std::string Output() const { return testsupport::ReadFileBytes(output); }
    std::vector<std::string> Queue() {
        std::vector<std::string> out;
        StringBuffer s;
        for (int32_t i = 0; harvester.CrawlQueue().GetString(i, s); ++i)
            out.push_back(s.Text());
        return out;
    }
    std::vector<std::string> NewDomains() {
        std::vector<std::string> out;
        StringBuffer s;
        for (int32_t i = 0; harvester.NewDomains().GetString(i, s); ++i)
            out.push_back(s.Text());
        return out;
    }
    // A site whose home page links to n pages of its own, each with the given body.
    void Site(const std::string &domain, int n, const std::string &body) {
        std::string home;
        for (int i = 1; i <= n; ++i) {
            home += "<a href=/p" + std::to_string(i) + ">p</a>";
            env.web.Add("http://" + domain + "/p" + std::to_string(i), body);
        }
        env.web.Add("http://" + domain + "/", home);
        env.web.Add("http://" + domain + "/robots.txt", "");
    }
    int PagesFetchedOf(const std::string &domain) {
        int n = 0;
        for (const std::string &url : env.web.fetched)
            if (url.rfind("http://" + domain + "/", 0) == 0 && url.find("robots.txt") == std::string::npos)
                ++n;
        return n;
    }
    testsupport::TempDir dir;
    std::string output;
    ScriptedHarvest env;
    Harvester harvester;
};

} // namespace

TEST(AgentString, DecodesToTheAgentWithItsDescriptionUrl) {
    StringBuffer agent;
    Harvester::DecodeAgentString(agent);
    EXPECT_TRUE(agent.BeginsWith("Lanternfold/1.1 (+http://"));
    EXPECT_TRUE(agent.EndsWith(")"));
}

TEST_F(HarvesterSteps, SeedLinkTestRefusesNumericHostsExcludedNamesAndNamesWithoutDot) {
    EXPECT_FALSE(harvester.PassesSeedLinkTest("http://192.168.1.1/page"));
    EXPECT_TRUE(harvester.PassesSeedLinkTest("http://www.example.org/page.html"));
    EXPECT_FALSE(harvester.PassesSeedLinkTest("http://maps.Google.de/"));
    EXPECT_FALSE(harvester.PassesSeedLinkTest("http://www.ebay.com/itm"));
    EXPECT_FALSE(harvester.PassesSeedLinkTest("http://localhost/"));
}

TEST_F(HarvesterSteps, CrawlableDomainsHaveAKnownTldAndNoExcludedPart) {
    EXPECT_TRUE(harvester.IsCrawlableDomain("www.example.org"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("www.example.zz"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("news.cnn.com"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("YAHOO.co.uk"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("example"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("x//10.0.0.1.com"));
}

TEST_F(HarvesterSteps, SeedFetcherIsSetUpInOrder) {
    env.web.calls.clear();
    auto fetcher = harvester.MakeSeedFetcher();
    StringBuffer agent;
    Harvester::DecodeAgentString(agent);
    EXPECT_EQ(env.web.calls,
              (std::vector<std::string>{"UseHttpCache=1", "FetchFromCache=0", "UpdateCache=0",
                                        "MaxConnections=5", "UserAgent=" + std::string(agent.Text()),
                                        "MaxContentLength=250000", "ConnectTimeout=5", "ReadTimeout=8",
                                        "MaxUrlLen=800", "RefuseMediaExtensions=1"}));
}

TEST_F(HarvesterSteps, SeedSiteAndProfileFollowTheTwoTickReadings) {
    env.clock = 11; // odd, then even
    env.tickStep = 1;
    env.web.calls.clear();
    EXPECT_FALSE(harvester.HarvestSeeds());
    EXPECT_EQ(env.web.fetched.back(), "http://pinboard.in/furled.jsp");
    EXPECT_EQ(env.web.calls.back(), "MimicIE=1");
    env.clock = 20;
    EXPECT_FALSE(harvester.HarvestSeeds());
    EXPECT_EQ(env.web.fetched.back(), "http://news.ycombinator.com/");
    EXPECT_EQ(env.web.calls.back(), "MimicFirefox=1");
}

TEST_F(HarvesterSteps, SeedPageHostsBecomeNewDomains) {
    env.web.Add("http://news.ycombinator.com/",
                "<a href=http://www.example.org/a>1</a><a href=http://192.168.1.1/>2</a>"
                "<a href=/local>3</a><a href=http://example.org/b>4</a><a href=http://x.ebay.com/>5</a>"
                "<a href=http://noknown.zz/>6</a><a href=http://www.example.org/c>7</a>");
    ASSERT_TRUE(harvester.HarvestSeeds());
    EXPECT_EQ(NewDomains(), (std::vector<std::string>{"www.example.org", "example.org"}));
}

TEST_F(HarvesterSteps, OutboundHostOfACrawlIsRecordedWithWww) {
    env.web.Add("http://news.ycombinator.com/", "<a href=http://example.org/>seed</a>");
    ASSERT_TRUE(harvester.HarvestSeeds());
    harvester.FlushNewDomains();
    env.web.Add("http://site.com/robots.txt", "");
    env.web.Add("http://site.com/", "<a href=http://Example.ORG/x>out</a>");
    harvester.CrawlQueue().Clear();
    harvester.CrawlQueue().Append("site.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    EXPECT_EQ(Output(), "example.org\r\nwww.example.org\r\n");
    EXPECT_TRUE(harvester.CrawledDomains().Contains(StringBuffer("site.com")));
}

TEST_F(HarvesterSteps, SiteWithoutOutboundHostsIsCrawledForFivePages) {
    Site("quiet.com", 12, "<p>nothing</p>");
    harvester.CrawlQueue().Append("quiet.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    EXPECT_EQ(PagesFetchedOf("quiet.com"), 5);
}

TEST_F(HarvesterSteps, CrawlEndsFourPagesAfterTheLastPageThatAddedHosts) {
    Site("busy.com", 12, "<p>nothing</p>");
    env.web.Add("http://busy.com/p2", "<a href=http://out.org/>o</a>");
    harvester.CrawlQueue().Append("busy.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    // Home page, p1, p2 (adds a host: budget = 3 + 4), then p3..p6.
    EXPECT_EQ(PagesFetchedOf("busy.com"), 7);
}

TEST_F(HarvesterSteps, SlowPageEndsTheCrawlAfterItsLinksAreTaken) {
    Site("slow.com", 6, "<a href=http://x.org/>x</a>");
    env.web.pages["http://slow.com/p1"].takesMs = 3001;
    harvester.CrawlQueue().Append("slow.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    EXPECT_EQ(PagesFetchedOf("slow.com"), 2);
    EXPECT_EQ(Output(), "www.x.org\r\n");
}

TEST_F(HarvesterSteps, PageOfExactly3000MsDoesNotEndTheCrawl) {
    Site("edge.com", 2, "<p>x</p>");
    env.web.pages["http://edge.com/p1"].takesMs = 3000;
    harvester.CrawlQueue().Append("edge.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    EXPECT_EQ(PagesFetchedOf("edge.com"), 3);
}

TEST_F(HarvesterSteps, FailedHomePageEndsTheCrawlAndTheDomainIsNotRetried) {
    harvester.CrawlQueue().Append("down.com");
    ASSERT_TRUE(harvester.CrawlNextDomain());
    harvester.NewDomains().Append("down.com");
    harvester.PromoteNewDomains();
    EXPECT_TRUE(Queue().empty());
    EXPECT_FALSE(harvester.CrawlNextDomain());
}

TEST_F(HarvesterSteps, PromotionIsSkippedAt1001AndMayPassTheCapAt1000) {
    for (int i = 0; i < 1001; ++i)
        harvester.CrawlQueue().Append(("q" + std::to_string(i) + ".com").c_str());
    harvester.NewDomains().Append("fresh.com");
    harvester.PromoteNewDomains();
    EXPECT_EQ(harvester.CrawlQueue().Count(), 1001);
    harvester.CrawlQueue().RemoveAt(0);
    harvester.NewDomains().Append("second.com");
    harvester.PromoteNewDomains();
    EXPECT_EQ(harvester.CrawlQueue().Count(), 1002);
}

TEST_F(HarvesterSteps, OutboundHostsJoinTheQueueOnlyBelow1000) {
    harvester.CrawlQueue().Append("site.com");
    for (int i = 0; i < 999; ++i)
        harvester.CrawlQueue().Append(("q" + std::to_string(i) + ".com").c_str());
    env.web.Add("http://site.com/robots.txt", "");
    env.web.Add("http://site.com/", "<a href=http://a.org/>a</a><a href=http://b.org/>b</a>");
    ASSERT_TRUE(harvester.CrawlNextDomain()); // 999 left: one more fits
    EXPECT_EQ(harvester.CrawlQueue().Count(), 1000);
    EXPECT_EQ(Queue().back(), "www.a.org");
    EXPECT_EQ(NewDomains(), (std::vector<std::string>{"www.a.org", "www.b.org"}));
}

TEST_F(HarvesterSteps, EmptyFlushNeitherWritesNorScans) {
    harvester.FlushNewDomains();
    EXPECT_TRUE(env.lookups.asked.empty());
    EXPECT_FALSE(testsupport::ReadFileBytes(output).size() > 0);
}

TEST_F(HarvesterSteps, FlushWritesEachNameOnceAcrossFlushes) {
    harvester.NewDomains().Append("www.once.com");
    harvester.NewDomains().Append("unknown.zz");
    harvester.FlushNewDomains();
    harvester.NewDomains().Append("www.once.com");
    harvester.FlushNewDomains();
    harvester.RecordDomain("www.once.com");
    EXPECT_EQ(Output(), "www.once.com\r\n");
    EXPECT_EQ(env.lookups.asked, (std::vector<std::string>{"www.once.com", "unknown.zz", "www.once.com"}));
    EXPECT_TRUE(NewDomains().empty());
}

TEST_F(HarvesterSteps, ScanResultsAreWrittenOnceAndQueued) {
    env.lookups.forward["www.start.com"] = "127.9.0.10";
    env.lookups.reverse["127.9.0.11"] = "www.neighbour.net";
    env.lookups.reverse["127.9.0.9"] = "www.start.com"; // already written: the file keeps it once
    env.lookups.reverse["127.9.0.8"] = "nowhere.zz";
    harvester.RecordDomain("www.start.com");
    harvester.NewDomains().Append("www.start.com");
    harvester.FlushNewDomains();
    EXPECT_EQ(Output(), "www.start.com\r\nwww.neighbour.net\r\n");
    EXPECT_EQ(Queue(), (std::vector<std::string>{"www.neighbour.net", "www.start.com"}));
    EXPECT_TRUE(harvester.ScannedNames().Contains(StringBuffer("nowhere.zz")));
}

TEST_F(HarvesterSteps, NamesWaitWhileTheOutputCannotBeOpenedAndAreWrittenInOrderLater) {
    const std::string sub = dir.File("later");
    const std::string path = sub + "/domains.txt";
    harvester.Output().SetPath(path.c_str());
    harvester.RecordDomain("www.first.com");
    harvester.RecordDomain("www.second.com");
    harvester.RecordDomain("www.first.com");
    EXPECT_EQ(harvester.Output().PendingCount(), 2u);
    EXPECT_FALSE(harvester.WrittenNames().Contains(StringBuffer("www.first.com")));
    ASSERT_EQ(0, system(("mkdir " + sub).c_str()));
    harvester.RecordDomain("www.third.com");
    EXPECT_EQ(testsupport::ReadFileBytes(path), "www.first.com\r\nwww.second.com\r\nwww.third.com\r\n");
    EXPECT_EQ(harvester.Output().WrittenCount(), 3u);
    harvester.RecordDomain("www.second.com");
    EXPECT_EQ(harvester.Output().PendingCount(), 0u);
}

TEST_F(HarvesterSteps, RestartLoadsTheNamesAlreadyWritten) {
    testsupport::WriteFileBytes(output, "www.old.com\r\nwww.older.org\r\n");
    ScriptedHarvest env2;
    Harvester again(env2);
    again.Start(output.c_str());
    again.RecordDomain("www.old.com");
    again.RecordDomain("www.new.com");
    EXPECT_EQ(Output(), "www.old.com\r\nwww.older.org\r\nwww.new.com\r\n");
}

TEST(HarvesterRun, IdleCyclesWaitLongerEachTimeAndStillNoticeTheStop) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.stopAfterChecks = 1000000;
    Harvester harvester(env);
    // Every fetch fails, nothing is queued: each cycle is idle. Stop after enough checks to see 1, 2, 4 s.
    env.stopAfterChecks = 1 + 4 + 1 + 8 + 1 + 16 + 1 + 2;
    harvester.Run(dir.File("domains.txt").c_str());
    uint32_t total = 0;
    for (uint32_t ms : env.sleeps) {
        EXPECT_LE(ms, 1000u);
        total += ms;
    }
    // 1 s + 2 s + 4 s of waits, then two slices into the 8 s wait.
    EXPECT_EQ(total, 1000u + 2000u + 4000u + 500u);
}

TEST(HarvesterRun, IdleWaitGrowsToAtMostOneMinute) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    // Checks per idle cycle: 1 at the end of the cycle plus one per 250 ms slice of the wait.
    int checks = 0;
    uint32_t wait = 1000;
    for (int cycle = 0; cycle < 9; ++cycle) {
        checks += 1 + static_cast<int>(wait / 250);
        wait = wait * 2 > 60000 ? 60000 : wait * 2;
    }
    env.stopAfterChecks = checks + 1; // the end-of-cycle check after the ninth wait
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    uint32_t total = 0;
    for (uint32_t ms : env.sleeps)
        total += ms;
    EXPECT_EQ(total, 1000u + 2000u + 4000u + 8000u + 16000u + 32000u + 60000u + 60000u + 60000u);
}

TEST(HarvesterRun, StopIsNoticedAtTheEndOfAWorkingCycleAndTheStateIsSaved) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://news.ycombinator.com/", "<a href=http://www.found.org/>f</a>");
    env.stopAfterChecks = 1;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_TRUE(env.sleeps.empty());
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("domains.txt")), "www.found.org\r\n");
    // Crawled in the one cycle, then saved at the stop.
    ScriptedHarvest env2;
    Harvester again(env2);
    again.Start(dir.File("domains.txt").c_str());
    EXPECT_TRUE(again.CrawledDomains().Contains(StringBuffer("www.found.org")));
    EXPECT_EQ(env2.stderrText, "");
}

TEST(HarvesterRun, StatusLineOnATerminalShowsTheFigures) {
    class Terminal : public ScriptedHarvest {
    public:
        bool ShowStatus() override { return true; }
    };
    testsupport::TempDir dir;
    Terminal env;
    env.web.Add("http://news.ycombinator.com/", "<a href=http://www.found.org/>f</a>");
    env.web.Add("http://www.found.org/", "<p>x</p>");
    env.stopAfterChecks = 1;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_NE(env.stderrText.find("\r1 names written | queue 0 | crawling www.found.org | 1 pages"),
              std::string::npos);
    EXPECT_EQ(env.stderrText.back(), '\n');
}
