// Tests of the harvester's steps against a scripted web, scripted lookups and a scripted clock: seed
// links, crawlable names, the page rules, the queue caps, both spellings, https sites, the host names
// that may be written, and the walks of new names.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "harvester/Harvester.h"
#include "harvester/PacedFetcher.h"
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
    int PagesFetchedOf(const std::string &prefix) {
        int n = 0;
        for (const std::string &url : env.web.fetched)
            if (url.rfind(prefix, 0) == 0 && url.find("robots.txt") == std::string::npos)
                ++n;
        return n;
    }
    void Queue(const std::string &domain) { harvester.State().AddOutboundHosts({domain}); }
    // Queues the domain and crawls the queue up to and including it.
    void Crawl(const std::string &domain) {
        Queue(domain);
        while (!harvester.State().IsCrawled(domain))
            ASSERT_TRUE(harvester.CrawlNextDomain());
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

TEST(HarvesterSeeds, SeedsGivenReplaceTheBuiltInOnesAndTheirSitesAreNeverHarvested) {
    ScriptedHarvest env;
    HarvestSettings settings;
    settings.seeds = {"https://links.example.net/today"};
    Harvester harvester(env, settings);
    ASSERT_EQ(harvester.Seeds().Count(), 1u);
    EXPECT_FALSE(harvester.PassesSeedLinkTest("https://www.example.net/about"));
    EXPECT_FALSE(harvester.IsCrawlableDomain("example.net"));
    EXPECT_TRUE(harvester.IsCrawlableDomain("www.example.org"));
    EXPECT_EQ(Harvester(env).Seeds().Count(), 2u);
}

TEST_F(HarvesterSteps, SeedFetcherFetchesUnverifiedWithTheStopAsAbortAndFollowsRedirectsItself) {
    env.web.calls.clear();
    auto fetcher = harvester.MakeSeedFetcher();
    StringBuffer agent;
    Harvester::DecodeAgentString(agent);
    EXPECT_EQ(env.web.calls,
              (std::vector<std::string>{"FollowRedirects=0", "RequireVerifiedServer=0", "ProgressMonitor=set",
                                        "UseHttpCache=1", "FetchFromCache=0", "UpdateCache=0",
                                        "MaxConnections=5", "UserAgent=" + std::string(agent.Text()),
                                        "MaxContentLength=250000", "ConnectTimeout=5", "ReadTimeout=8",
                                        "MaxUrlLen=800", "RefuseMediaExtensions=1"}));
    EXPECT_EQ(env.web.monitor, &harvester.Stop());
}

TEST_F(HarvesterSteps, SpiderFetchersAreUnverifiedToo) {
    Site("plain.com", 0, "");
    env.web.calls.clear();
    Crawl("plain.com");
    ASSERT_GE(env.web.calls.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(env.web.calls.begin(), env.web.calls.begin() + 3),
        (std::vector<std::string>{"FollowRedirects=0", "RequireVerifiedServer=0", "ProgressMonitor=set"}));
}

TEST_F(HarvesterSteps, StartSaysWhereNamesAndStateGoAndThatCertificatesAreNotChecked) {
    ScriptedHarvest env2;
    env2.staleStopFile = true;
    Harvester again(env2);
    again.Start(dir.File("second.txt").c_str());
    const std::string &text = env2.stderrText;
    EXPECT_NE(text.find("lanternfold: stop.txt was present at start"), std::string::npos);
    EXPECT_NE(text.find("lanternfold: names go to " + dir.File("second.txt") + "; the state is kept in " +
                        dir.File("second.txt") + ".journal\n"),
              std::string::npos);
    EXPECT_NE(text.find("without checking their certificates"), std::string::npos);
    EXPECT_FALSE(env2.staleStopFile);
    EXPECT_FALSE(again.Stop().Requested());
}

TEST_F(HarvesterSteps, SeedPageHostsAreWrittenQueuedAndLeftToWalk) {
    env.web.Add("http://pinboard.in/furled.jsp",
                "<a href=http://www.example.org/a>1</a><a href=http://192.168.1.1/>2</a>"
                "<a href=/local>3</a><a href=http://example.org/b>4</a><a href=http://x.ebay.com/>5</a>"
                "<a href=http://noknown.zz/>6</a><a href=http://www.example.org/c>7</a>");
    ASSERT_TRUE(harvester.HarvestSeeds());
    EXPECT_EQ(harvester.State().WalkQueue(), (std::vector<std::string>{"www.example.org", "example.org"}));
    EXPECT_EQ(harvester.State().CrawlQueue(), (std::vector<std::string>{"www.example.org", "example.org"}));
    EXPECT_EQ(Output(), "www.example.org\nexample.org\n");
    EXPECT_NE(
        env.stderrText.find("lanternfold: seed http://pinboard.in/furled.jsp fetched: 6 links, new names "
                            "found; next fetch in 10 minutes\n"),
        std::string::npos)
        << env.stderrText;
}

TEST_F(HarvesterSteps, OutboundHostOfACrawlIsRecordedWithWww) {
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://example.org/>seed</a>");
    ASSERT_TRUE(harvester.HarvestSeeds());
    env.web.Add("http://site.com/robots.txt", "");
    env.web.Add("http://site.com/", "<a href=http://Example.ORG/x>out</a>");
    Crawl("site.com");
    EXPECT_EQ(Output(), "example.org\nsite.com\nwww.example.org\n");
    EXPECT_TRUE(harvester.State().IsCrawled("site.com"));
}

TEST_F(HarvesterSteps, SiteWithoutOutboundHostsIsCrawledForFivePages) {
    Site("quiet.com", 12, "<p>nothing</p>");
    Crawl("quiet.com");
    EXPECT_EQ(PagesFetchedOf("http://quiet.com/"), 5);
}

TEST_F(HarvesterSteps, CrawlEndsFourPagesAfterTheLastPageThatAddedHosts) {
    Site("busy.com", 12, "<p>nothing</p>");
    env.web.Add("http://busy.com/p2", "<a href=http://out.org/>o</a>");
    Crawl("busy.com");
    // Home page, p1, p2 (adds a host: budget = 3 + 4), then p3..p6.
    EXPECT_EQ(PagesFetchedOf("http://busy.com/"), 7);
}

TEST_F(HarvesterSteps, SlowPageEndsTheCrawlAfterItsLinksAreTakenButWaitingForTheHostDoesNotCount) {
    Site("slow.com", 6, "<a href=http://x.org/>x</a>");
    env.web.pages["http://slow.com/p1"].takesMs = 3001;
    env.web.pages["http://slow.com/p2"].takesMs = 3000;
    Crawl("slow.com");
    EXPECT_EQ(PagesFetchedOf("http://slow.com/"), 2);
    EXPECT_NE(Output().find("www.x.org\n"), std::string::npos);
    // Each page also waited a second for its turn: p2 (3000 ms of fetch) did not end the crawl.
    Site("edge.com", 3, "<p>x</p>");
    env.web.pages["http://edge.com/p1"].takesMs = 3000;
    Crawl("edge.com");
    EXPECT_EQ(PagesFetchedOf("http://edge.com/"), 4);
}

TEST_F(HarvesterSteps, FailedHomePageEndsTheCrawlAndTheDomainIsNotRetried) {
    Crawl("down.com");
    harvester.State().AddOutboundHosts({"down.com"});
    EXPECT_TRUE(harvester.State().CrawlQueue().empty());
    EXPECT_FALSE(harvester.CrawlNextDomain());
}

TEST_F(HarvesterSteps, SeedHostsJoinTheQueueWhenItHeldAtMost1000AndOthersOnlyBelow1000) {
    std::vector<std::string> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back("q" + std::to_string(i) + ".com");
    harvester.State().AddOutboundHosts(many);
    EXPECT_EQ(harvester.State().CrawlQueueLength(), 1000);
    harvester.State().AddOutboundHosts({"late.com"});
    EXPECT_EQ(harvester.State().CrawlQueueLength(), 1000);
    harvester.State().AddSeedHosts({"first.com", "second.com"});
    EXPECT_EQ(harvester.State().CrawlQueueLength(), 1002);
    harvester.State().AddSeedHosts({"third.com"});
    EXPECT_EQ(harvester.State().CrawlQueueLength(), 1002);
}

TEST_F(HarvesterSteps, NoNameIsWrittenTwiceWhateverFindsIt) {
    env.lookups.forward["www.once.com"] = "127.9.0.10";
    env.lookups.reverse["127.9.0.11"] = "www.once.com";
    harvester.State().AddSeedHosts({"www.once.com"});
    harvester.State().AddOutboundHosts({"www.once.com", "WWW.ONCE.COM", "www.once.com."});
    harvester.FlushNewDomains();
    EXPECT_EQ(Output(), "www.once.com\n");
}

TEST_F(HarvesterSteps, WalkFindsAreWrittenOnceQueuedAndTheWalkedNamesAreNotWalkedAgain) {
    env.lookups.forward["www.start.com"] = "127.9.0.10";
    env.lookups.reverse["127.9.0.11"] = "www.neighbour.net";
    env.lookups.reverse["127.9.0.9"] = "nowhere.zz";
    env.lookups.reverse["127.9.0.8"] = "www.<b>.com";
    harvester.State().AddOutboundHosts({"www.start.com"});
    harvester.FlushNewDomains();
    EXPECT_EQ(Output(), "www.start.com\nwww.neighbour.net\n");
    EXPECT_EQ(harvester.State().CrawlQueue(),
              (std::vector<std::string>{"www.start.com", "www.neighbour.net"}));
    EXPECT_TRUE(harvester.State().IsScanned("nowhere.zz"));
    EXPECT_TRUE(harvester.State().IsScanned("www.start.com"));
    // Found again on a page, the walked name is not walked again.
    harvester.State().AddOutboundHosts({"www.start.com", "www.neighbour.net"});
    EXPECT_EQ(harvester.State().WalkQueueLength(), 0);
    const size_t asked = env.lookups.asked.size();
    harvester.FlushNewDomains();
    EXPECT_EQ(env.lookups.asked.size(), asked);
}

TEST_F(HarvesterSteps, EmptyWalkQueueAsksNothing) {
    harvester.FlushNewDomains();
    EXPECT_TRUE(env.lookups.asked.empty());
    EXPECT_EQ(Output(), "");
}

// ---- https, both spellings, host names ----

TEST_F(HarvesterSteps, HttpsLinksAreKeptAndHttpsPagesCrawled) {
    env.web.Add("http://www.shop.com/robots.txt", "");
    env.web.Add("http://www.shop.com/",
                "<a href=https://www.shop.com/a>a</a><a href=https://secure.org/>s</a>");
    env.web.Add("https://www.shop.com/a", "<a href=https://deep.net/x>d</a>");
    Crawl("www.shop.com");
    EXPECT_EQ(PagesFetchedOf("https://www.shop.com/a"), 1);
    EXPECT_EQ(Output(), "www.shop.com\nwww.secure.org\nwww.deep.net\n");
}

TEST_F(HarvesterSteps, RedirectsToHttpsAndBetweenWwwAndBareStayInsideTheSite) {
    // http://www.today.org/ -> https://www.today.org/ -> https://today.org/, each hop paced.
    env.web.Add("http://www.today.org/robots.txt", "");
    env.web.pages["http://www.today.org/robots.txt"].redirectTo = "https://today.org/robots.txt";
    env.web.Add("https://today.org/robots.txt", "User-agent: *\nDisallow: /private\n");
    env.web.Add("http://www.today.org/", "");
    env.web.pages["http://www.today.org/"].redirectTo = "https://www.today.org/";
    env.web.Add("https://www.today.org/", "");
    env.web.pages["https://www.today.org/"].redirectTo = "https://today.org/";
    env.web.Add("https://today.org/",
                "<a href=/a>a</a><a href=http://www.today.org/b>b</a>"
                "<a href=https://today.org/private/x>p</a><a href=https://away.net/>o</a>");
    env.web.Add("https://today.org/a", "<p>a</p>");
    env.web.Add("http://www.today.org/b", "<p>b</p>");
    Crawl("www.today.org");
    EXPECT_EQ(PagesFetchedOf("https://today.org/a"), 1);
    EXPECT_EQ(PagesFetchedOf("http://www.today.org/b"), 1);
    EXPECT_EQ(PagesFetchedOf("https://today.org/private"), 0);
    EXPECT_EQ(Output(), "www.today.org\nwww.away.net\n"); // neither spelling of the site is outbound
    // The bare spelling counts as crawled too.
    EXPECT_TRUE(harvester.State().IsCrawled("today.org"));
}

TEST_F(HarvesterSteps, OnlyValidHostNamesAreWrittenOrQueued) {
    env.web.Add("http://junk.com/robots.txt", "");
    env.web.Add("http://junk.com/",
                "<a href=\"http://www.exa&#10;mple.com/\">1</a><a href=\"http://ta&#9;b.org/\">2</a>"
                "<a href=\"http://<b>.com/\">3</a><a href='http://sp ace.com/'>4</a>"
                "<a href=http://b\xC3\xBC"
                "cher.de/>5</a><a href=http://x_y.com/>6</a>");
    Crawl("junk.com");
    EXPECT_EQ(Output(), "junk.com\nwww.example.com\nwww.tab.org\nwww.xn--bcher-kva.de\n");
    for (const std::string &name : harvester.State().CrawlQueue())
        EXPECT_EQ(name.find_first_of("<> \t\r\n_"), std::string::npos) << name;
}

// ---- the per-site budget ----

TEST_F(HarvesterSteps, ACrawlEndsAfter200PagesEvenWhenEveryPageAddsHosts) {
    // Every page links to the next and to a new outbound host: the page rules never end it.
    env.web.Add("http://endless.com/robots.txt", "");
    for (int i = 0; i < 260; ++i)
        env.web.Add("http://endless.com/" + (i == 0 ? std::string() : "p" + std::to_string(i)),
                    "<a href=/p" + std::to_string(i + 1) + ">n</a><a href=http://o" + std::to_string(i) +
                        ".com/>o</a>");
    harvester.Pacer().SetSpacing(0);
    Crawl("endless.com");
    EXPECT_EQ(PagesFetchedOf("http://endless.com/"), 200);
}

TEST_F(HarvesterSteps, ACrawlEndsAfterTenMinutes) {
    env.web.Add("http://patient.com/robots.txt", "User-agent: *\nCrawl-delay: 20\n");
    for (int i = 0; i < 100; ++i)
        env.web.Add("http://patient.com/" + (i == 0 ? std::string() : "p" + std::to_string(i)),
                    "<a href=/p" + std::to_string(i + 1) + ">n</a><a href=http://o" + std::to_string(i) +
                        ".com/>o</a>");
    const uint32_t start = env.clock;
    Crawl("patient.com");
    // A page every 20 s: the 30th ends the tenth minute.
    EXPECT_EQ(PagesFetchedOf("http://patient.com/"), 30);
    EXPECT_LT(env.clock - start, 11u * 60 * 1000);
}
