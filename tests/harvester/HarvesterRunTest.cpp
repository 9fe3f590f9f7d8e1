// Tests of the harvester's run loop against a scripted world: the idle back-off, the seed pages'
// schedule, the spacing of requests to one host on the scripted clock, a stop noticed within a second
// inside a long crawl, a long walk and a long wait, and the lines it writes for the user.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "harvester/Harvester.h"
#include "harvester/ScriptedHarvest.h"
#include "harvester/SeedSchedule.h"
#include "support/TestSupport.h"
#include "url/UrlUtil.h"

using namespace vantry;
using namespace lanternfold;

using testsupport::ScriptedHarvest;

namespace {

constexpr uint32_t kMinute = 60 * 1000;

uint32_t TotalSleep(const ScriptedHarvest &env) {
    uint32_t total = 0;
    for (uint32_t ms : env.sleeps)
        total += ms;
    return total;
}

// The clock at each fetch of the URL.
std::vector<uint32_t> FetchTicksOf(const ScriptedHarvest &env, const std::string &url) {
    std::vector<uint32_t> ticks;
    for (size_t i = 0; i < env.web.fetched.size(); ++i)
        if (env.web.fetched[i] == url)
            ticks.push_back(env.web.fetchTicks[i]);
    return ticks;
}

// A site of n pages in a chain; every page links onward and to a host of its own elsewhere.
void ChainSite(ScriptedHarvest &env, const std::string &domain, int n, const std::string &robots = "") {
    env.web.Add("http://" + domain + "/robots.txt", robots);
    for (int i = 0; i < n; ++i)
        env.web.Add("http://" + domain + "/" + (i == 0 ? std::string() : "p" + std::to_string(i)),
                    "<a href=/p" + std::to_string(i + 1) + ">n</a><a href=http://o" + std::to_string(i) +
                        "-" + domain + "/>o</a>");
}

} // namespace

TEST(HarvesterRun, IdleCyclesWaitLongerEachTimeUpToAMinuteAndSayIt) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    // Every fetch fails and nothing is queued: each cycle is idle.
    env.stopAtTick = env.clock + (1 + 2 + 4 + 8 + 16 + 32 + 60 + 60) * 1000 + 50;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    for (uint32_t ms : env.sleeps)
        EXPECT_LE(ms, 100u);
    const std::string &text = env.stderrText;
    EXPECT_NE(text.find("lanternfold: nothing new to do; next look in 1 s\n"), std::string::npos);
    EXPECT_NE(text.find("lanternfold: nothing new to do; next look in 32 s\n"), std::string::npos);
    // The minute is said once, not at every wait.
    EXPECT_EQ(text.find("next look in 60 s"), text.rfind("next look in 60 s"));
    EXPECT_EQ(text.find("next look in 120 s"), std::string::npos);
    // Both seeds failed once: their next tries are 20 minutes away.
    EXPECT_NE(text.find("seed http://pinboard.in/furled.jsp could not be fetched; next try in 20 minutes"),
              std::string::npos);
    EXPECT_NE(text.find("lanternfold: stopping: scripted stop\n"), std::string::npos);
    EXPECT_NE(text.find("lanternfold: state saved in " + dir.File("domains.txt") + ".journal"),
              std::string::npos);
}

TEST(HarvesterRun, SeedPagesAreFetchedAtMostEveryTenMinutesAndAFailingOneLessOften) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://news.ycombinator.com/", "<a href=http://www.found.org/>f</a>");
    env.web.Add("http://www.found.org/robots.txt", "");
    env.web.Add("http://www.found.org/", "<p>nothing</p>");
    // pinboard.in fails: 20, 40, 80 minutes between its tries.
    env.stopAtTick = env.clock + 145 * kMinute;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    const std::vector<uint32_t> good = FetchTicksOf(env, "http://news.ycombinator.com/");
    const std::vector<uint32_t> bad = FetchTicksOf(env, "http://pinboard.in/furled.jsp");
    ASSERT_GE(good.size(), 10u);
    EXPECT_LE(good.size(), 15u);
    for (size_t i = 1; i < good.size(); ++i)
        EXPECT_GE(good[i] - good[i - 1], 10 * kMinute);
    ASSERT_EQ(bad.size(), 4u);
    EXPECT_GE(bad[1] - bad[0], 20 * kMinute);
    EXPECT_GE(bad[2] - bad[1], 40 * kMinute);
    EXPECT_GE(bad[3] - bad[2], 80 * kMinute);
    EXPECT_LT(bad[3] - bad[2], 81 * kMinute);
}

TEST(SeedSchedule, AFailingSeedWaitsTwiceAsLongEachTimeUpToSixHoursAndASuccessResetsIt) {
    SeedSchedule seeds({"http://a.example/", "http://b.example/"});
    uint32_t now = 5;
    EXPECT_EQ(seeds.PickDue(now), 0);
    EXPECT_EQ(seeds.Fetched(0, true, now), 10 * kMinute);
    EXPECT_EQ(seeds.PickDue(now), 1);
    std::vector<uint32_t> waits;
    for (int i = 0; i < 8; ++i)
        waits.push_back(seeds.Fetched(1, false, now) / kMinute);
    EXPECT_EQ(waits, (std::vector<uint32_t>{20, 40, 80, 160, 320, 360, 360, 360}));
    EXPECT_EQ(seeds.PickDue(now + 10 * kMinute - 1), -1);
    EXPECT_EQ(seeds.NextDueIn(now + 10 * kMinute - 1), 1u);
    EXPECT_EQ(seeds.PickDue(now + 10 * kMinute), 0);
    EXPECT_EQ(seeds.Fetched(1, true, now), 10 * kMinute);
    // Both due: the one due longest comes first, across the wrap of the tick counter too.
    SeedSchedule wrapped({"x", "y"});
    wrapped.Fetched(0, true, 0xFFFFFFF0u);
    wrapped.Fetched(1, true, 0xFFFFFFF8u);
    EXPECT_EQ(wrapped.PickDue(0xFFFFFFF0u + 10 * kMinute + 100), 0);
}

TEST(HarvesterRun, RequestsToOneHostStartAtLeastTheSpacingApartOnTheScriptedClock) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://pinboard.in/furled.jsp",
                "<a href=http://www.chain.org/>c</a><a href=http://slowbot.net/>s</a>");
    ChainSite(env, "www.chain.org", 8);
    ChainSite(env, "slowbot.net", 4, "User-agent: *\nCrawl-delay: 4.5\n");
    env.web.defaultMs = 30;
    env.stopAtTick = env.clock + 3 * kMinute;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    std::map<std::string, std::vector<uint32_t>> byHost;
    StringBuffer host;
    for (size_t i = 0; i < env.web.fetched.size(); ++i) {
        GetUrlHost(env.web.fetched[i].c_str(), host);
        byHost[host.Text()].push_back(env.web.fetchTicks[i]);
    }
    ASSERT_GE(byHost["www.chain.org"].size(), 8u);
    ASSERT_GE(byHost["slowbot.net"].size(), 4u);
    for (const auto &[name, ticks] : byHost) {
        const uint32_t spacing = name == "slowbot.net" ? 4500 : 1000;
        for (size_t i = 1; i < ticks.size(); ++i)
            EXPECT_GE(ticks[i] - ticks[i - 1], spacing) << name << " request " << i;
    }
    // Nothing waits for more than the spacing needs: the chain of 8 pages and robots.txt took 8 s.
    const std::vector<uint32_t> &chain = byHost["www.chain.org"];
    EXPECT_LE(chain[8] - chain[0], 8 * 1000u + 8 * 30u + 100u);
}

TEST(HarvesterRun, CrawlDelayIsCappedAtThirtySeconds) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://www.sleepy.org/>c</a>");
    ChainSite(env, "www.sleepy.org", 3, "User-agent: *\nCrawl-delay: 3600\n");
    env.stopAtTick = env.clock + 3 * kMinute;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    const std::vector<uint32_t> home = FetchTicksOf(env, "http://www.sleepy.org/");
    const std::vector<uint32_t> robots = FetchTicksOf(env, "http://www.sleepy.org/robots.txt");
    const std::vector<uint32_t> p1 = FetchTicksOf(env, "http://www.sleepy.org/p1");
    ASSERT_EQ(robots.size(), 1u);
    ASSERT_EQ(home.size(), 1u);
    ASSERT_EQ(p1.size(), 1u);
    EXPECT_GE(home[0] - robots[0], 30000u);
    EXPECT_LT(home[0] - robots[0], 30200u);
    EXPECT_LT(p1[0] - home[0], 30200u);
}

TEST(HarvesterRun, StopInsideALongCrawlIsNoticedWithinASecondAndTheStateIsSaved) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://www.long.org/>l</a>");
    ChainSite(env, "www.long.org", 150);
    env.web.defaultMs = 400;
    const uint32_t stopAt = env.clock + 40 * 1000;
    env.stopAtTick = stopAt;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_LE(env.clock - stopAt, 1000u);
    EXPECT_GT(harvester.PagesFetched(), 10u);
    EXPECT_LT(harvester.PagesFetched(), 40u);
    // The domain in flight counts as crawled after a restart.
    ScriptedHarvest env2;
    Harvester again(env2);
    again.Start(dir.File("domains.txt").c_str());
    EXPECT_TRUE(again.State().IsCrawled("www.long.org"));
    while (again.CrawlNextDomain()) {
    }
    for (const std::string &url : env2.web.fetched)
        EXPECT_NE(url.rfind("http://www.long.org/", 0), 0u) << url;
}

TEST(HarvesterRun, StopInsideALongWalkIsNoticedWithinASecond) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://www.crowded.net/>c</a>");
    env.lookups.forward["www.crowded.net"] = "127.20.0.1";
    // A whole /16 of names, each lookup taking 300 ms: a walk of many minutes.
    for (int c = 0; c < 256; ++c)
        for (int d = 0; d < 256; ++d)
            env.lookups.reverse["127.20." + std::to_string(c) + "." + std::to_string(d)] =
                "www.n" + std::to_string(c) + "-" + std::to_string(d) + ".com";
    env.lookups.reverseMs = 300;
    const uint32_t stopAt = env.clock + 60 * 1000;
    env.stopAtTick = stopAt;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_LE(env.clock - stopAt, 1000u);
    EXPECT_GT(env.lookups.reverseAsked, 100);
    EXPECT_LT(env.lookups.reverseAsked, 300);
}

TEST(HarvesterRun, StopDuringALongWaitForAHostIsNoticedWithinASecond) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://www.sleepy.org/>c</a>");
    ChainSite(env, "www.sleepy.org", 3, "User-agent: *\nCrawl-delay: 30\n");
    const uint32_t stopAt = env.clock + 12 * 1000;
    env.stopAtTick = stopAt;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_LE(env.clock - stopAt, 1000u);
    EXPECT_EQ(FetchTicksOf(env, "http://www.sleepy.org/").size(), 0u);
}

TEST(HarvesterRun, StopRequestedAtStartFetchesNothing) {
    testsupport::TempDir dir;
    ScriptedHarvest env;
    env.stopAfterChecks = 1;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_TRUE(env.web.fetched.empty());
    EXPECT_TRUE(env.sleeps.empty());
}

TEST(HarvesterRun, StatusLineOnATerminalShowsTheFiguresAndReportsTakeItsPlace) {
    class Terminal : public ScriptedHarvest {
    public:
        bool ShowStatus() override { return true; }
    };
    testsupport::TempDir dir;
    Terminal env;
    env.web.Add("http://pinboard.in/furled.jsp", "<a href=http://www.found.org/>f</a>");
    env.web.Add("http://www.found.org/", "<p>x</p>");
    env.stopAtTick = env.clock + 5000;
    Harvester harvester(env);
    harvester.Run(dir.File("domains.txt").c_str());
    EXPECT_NE(env.stderrText.find("\r1 names written | queue 0 | crawling www.found.org | 1 pages"),
              std::string::npos);
    EXPECT_NE(env.stderrText.find("\r\x1b[Klanternfold: stopping"), std::string::npos);
    EXPECT_EQ(env.stderrText.back(), '\n');
    EXPECT_EQ(TotalSleep(env) > 0, true);
}
