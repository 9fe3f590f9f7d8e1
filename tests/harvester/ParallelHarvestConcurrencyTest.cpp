// The parallel harvester against a scripted world shared by all its threads: the same web harvested
// with 1, 4 and 32 workers gives the same names, each written once, each page fetched once; across
// workers no host has two requests at once or two starts closer than its spacing, no address more
// than two requests at once, no /16 block more than four reverse lookups at once; a stop while every
// worker is held in a fetch ends the run soon, with the domains in flight counted as crawled.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/HarvestState.h"
#include "harvester/Harvester.h"
#include "harvester/ThreadedWorld.h"
#include "harvester/WorkerThreads.h"
#include "support/TestSupport.h"

using namespace lanternfold;

using testsupport::RequestRecord;
using testsupport::ThreadedWorld;

namespace {

const char *const kSeed = "http://seeds.example.org/list";

std::string Site(int n) {
    return "www.site" + std::to_string(n) + ".com";
}
std::string Near(int n) {
    return "www.near" + std::to_string(n) + ".net";
}

// A web of `sites` sites: the seed lists the first three; site n has a chain of three pages, linking
// to sites 2n+1 and 2n+2 and to a leaf host of its own (not served); each site's address has a
// neighbour only the walk finds, whose one page links to a leaf of its own. Every name is reached by
// one path only, so the names found do not depend on the order of the work.
void BuildWeb(ThreadedWorld &world, int sites) {
    world.Add(kSeed, "<a href=http://" + Site(0) + "/>a</a><a href=http://" + Site(1) +
                         "/>b</a><a href=http://" + Site(2) + "/>c</a>");
    for (int n = 0; n < sites; ++n) {
        const std::string site = "http://" + Site(n);
        world.Add(site + "/robots.txt", "User-agent: *\nDisallow: /private\n");
        std::string home = "<a href=/p1>p</a><a href=/private>x</a>";
        for (int next : {2 * n + 1, 2 * n + 2})
            if (next < sites)
                home += "<a href=http://" + Site(next) + "/>n</a>";
        world.Add(site + "/", home);
        world.Add(site + "/p1",
                  "<a href=/p2>p</a><a href=http://www.leaf" + std::to_string(n) + ".org/>l</a>");
        world.Add(site + "/p2", "<p>end</p>");
        // Addresses in blocks of eight sites per /16, spaced so that a walk meets a neighbour or two.
        const std::string prefix = "10." + std::to_string(n / 8) + ".0.";
        const int last = 10 + (n % 8) * 6;
        world.forward[Site(n)] = prefix + std::to_string(last);
        world.reverse[prefix + std::to_string(last)] = Site(n);
        world.reverse[prefix + std::to_string(last + 2)] = Near(n);
        world.forward[Near(n)] = prefix + std::to_string(last + 2);
        world.Add("http://" + Near(n) + "/robots.txt", "");
        world.Add("http://" + Near(n) + "/", "<a href=http://www.far" + std::to_string(n) + ".info/>f</a>");
    }
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Harvest {
    std::set<std::string> names;
    std::vector<std::string> lines;
    std::map<std::string, int> fetchesPerUrl;
    uint64_t domainsCrawled = 0;
};

Harvest HarvestToTheEnd(int workers, int sites) {
    testsupport::TempDir dir;
    ThreadedWorld world;
    BuildWeb(world, sites);
    HarvestSettings settings;
    settings.seeds = {kSeed};
    settings.hostSpacingMs = 1;
    settings.workers = workers;
    settings.lookups = workers;
    Harvest result;
    {
        Harvester harvester(world, settings);
        harvester.Run(dir.File("domains.txt").c_str());
        result.domainsCrawled = harvester.State().DomainsCrawled();
    }
    result.lines = Lines(testsupport::ReadFileBytes(dir.File("domains.txt")));
    result.names.insert(result.lines.begin(), result.lines.end());
    for (const RequestRecord &r : world.Requests())
        ++result.fetchesPerUrl[r.url];
    return result;
}

} // namespace

TEST(ParallelHarvest, OneFourAndThirtyTwoWorkersFindTheSameNamesEachWrittenOnceEachPageFetchedOnce) {
    constexpr int kSites = 40;
    const Harvest single = HarvestToTheEnd(1, kSites);
    // The whole web: the sites, their neighbours and the leaves of both.
    for (int n = 0; n < kSites; ++n) {
        EXPECT_EQ(single.names.count(Site(n)), 1u) << Site(n);
        EXPECT_EQ(single.names.count(Near(n)), 1u) << Near(n);
        EXPECT_EQ(single.names.count("www.leaf" + std::to_string(n) + ".org"), 1u) << n;
        EXPECT_EQ(single.names.count("www.far" + std::to_string(n) + ".info"), 1u) << n;
    }
    for (int workers : {1, 4, 32}) {
        SCOPED_TRACE("workers " + std::to_string(workers));
        const Harvest run = workers == 1 ? single : HarvestToTheEnd(workers, kSites);
        EXPECT_EQ(run.names, single.names);
        EXPECT_EQ(run.lines.size(), run.names.size()) << "a name written twice";
        EXPECT_EQ(run.domainsCrawled, single.domainsCrawled);
        for (const auto &[url, count] : run.fetchesPerUrl)
            EXPECT_EQ(count, 1) << url << " fetched " << count << " times";
        EXPECT_EQ(run.fetchesPerUrl.count("http://" + Site(3) + "/private"), 0u);
    }
}

TEST(ParallelHarvest, AcrossWorkersOneRequestPerHostAtATimeSpacedApartTwoPerAddressFourLookupsPerBlock) {
    testsupport::TempDir dir;
    ThreadedWorld world;
    constexpr int kSites = 24;
    BuildWeb(world, kSites);
    // Virtual hosts: the first twelve sites share one address.
    for (int n = 0; n < 12; ++n)
        world.forward[Site(n)] = "10.99.0.1";
    // One site asks for a longer spacing.
    world.Add("http://" + Site(5) + "/robots.txt", "User-agent: *\nCrawl-delay: 0.2\n");
    world.fetchMs = 3;
    world.lookupMs = 2;
    HarvestSettings settings;
    settings.seeds = {kSeed};
    settings.hostSpacingMs = 40;
    settings.workers = 16;
    settings.lookups = 32;
    {
        Harvester harvester(world, settings);
        harvester.Run(dir.File("domains.txt").c_str());
    }
    const std::vector<RequestRecord> requests = world.Requests();
    ASSERT_GT(requests.size(), 4u * kSites);
    EXPECT_EQ(world.MostAtOnceToOneHost(), 1);
    EXPECT_LE(world.MostAtOnceToOneAddress(), 2);
    EXPECT_LE(world.MostLookupsAtOnceInOneBlock(), 4);
    EXPECT_GE(world.ReverseLookupsAsked(), kSites);

    // Per host, the starts in order, as the clock read when the pacer let each one go.
    std::map<std::string, std::vector<uint32_t>> starts;
    std::map<std::string, std::vector<std::pair<uint32_t, uint32_t>>> spans;
    for (const RequestRecord &r : requests) {
        starts[r.host].push_back(r.granted);
        spans[r.address].push_back({r.start, r.end});
    }
    for (auto &[host, ticks] : starts) {
        std::sort(ticks.begin(), ticks.end());
        const uint32_t spacing = host == Site(5) ? 200 : 40;
        for (size_t i = 1; i < ticks.size(); ++i)
            EXPECT_GE(ticks[i] - ticks[i - 1], spacing) << host << " request " << i;
    }
    // The shared address had its two places in use at times: the workers did run side by side.
    EXPECT_GT(spans["10.99.0.1"].size(), 12u * 3);
}

TEST(ParallelHarvest, AStopWhileEveryWorkerIsHeldInAFetchEndsTheRunSoonAndCountsTheirDomainsAsCrawled) {
    testsupport::TempDir dir;
    constexpr int kWorkers = 8;
    std::set<std::string> inFlight;
    {
        ThreadedWorld world;
        BuildWeb(world, 40);
        world.stopWhenIdle = false;
        // The seed and robots answer; every page fetch then hangs until the stop aborts it.
        HarvestSettings settings;
        settings.seeds = {kSeed};
        settings.hostSpacingMs = 1;
        settings.workers = kWorkers;
        settings.lookups = 4;
        Harvester harvester(world, settings);
        std::thread run([&] { harvester.Run(dir.File("domains.txt").c_str()); });
        // Wait (bounded) until the seed page is in and then hold every fetch.
        for (int i = 0; i < 2000 && world.Requests().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        world.fetchesHang = true; // not read before: the seed fetch is done
        for (int i = 0; i < 5000 && world.RequestsRunning() < kWorkers; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(world.RequestsRunning(), kWorkers) << "every worker held in a fetch";
        const auto asked = std::chrono::steady_clock::now();
        world.stop = true;
        run.join();
        const auto took = std::chrono::steady_clock::now() - asked;
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 5000);
        EXPECT_EQ(harvester.ThreadsLeftRunning(), 0);
        EXPECT_EQ(world.RequestsRunning(), 0);
        for (const RequestRecord &r : world.Requests())
            inFlight.insert(r.host);
        EXPECT_NE(world.StdErr().find("stopping: scripted stop"), std::string::npos);
    }
    // Restarted: every domain a worker had begun counts as crawled, and nothing of it is queued.
    HarvestState state([](const char *) { return true; }, [](const std::string &) {});
    state.Open(dir.File("domains.txt"), 0);
    inFlight.erase("seeds.example.org");
    ASSERT_FALSE(inFlight.empty());
    const std::vector<std::string> queued = state.CrawlQueue();
    for (const std::string &host : inFlight) {
        EXPECT_TRUE(state.IsCrawled(host)) << host;
        EXPECT_EQ(std::count(queued.begin(), queued.end(), host), 0) << host;
    }
    state.Close();
}

TEST(WorkerThreads, EndWaitsABoundedTimeForALoopHeldElsewhereAndJoinsItOnceItReturns) {
    std::atomic<bool> release{false};
    std::atomic<int> done{0};
    WorkerThreads threads;
    threads.Start(3, [&](int index) {
        // Loop 1 stands for a thread held in a system call that no stop can cut short.
        while (index == 1 && !release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++done;
    });
    EXPECT_FALSE(threads.End(50));
    EXPECT_EQ(threads.Running(), 1);
    release = true;
    EXPECT_TRUE(threads.End(10000));
    EXPECT_EQ(done.load(), 3);
    EXPECT_EQ(threads.Running(), 0);
}

TEST(ParallelHarvest, SeedPagesStaySpacedWhileTheWorkersRun) {
    for (const bool seedAnswers : {true, false}) {
        SCOPED_TRACE(seedAnswers ? "seed answers" : "seed fails");
        testsupport::TempDir dir;
        ThreadedWorld world;
        BuildWeb(world, 6);
        if (!seedAnswers)
            world.pages.erase(kSeed);
        world.stopWhenIdle = false;
        HarvestSettings settings;
        settings.seeds = {kSeed};
        settings.hostSpacingMs = 1;
        settings.workers = 8;
        settings.lookups = 8;
        Harvester harvester(world, settings);
        std::thread run([&] { harvester.Run(dir.File("domains.txt").c_str()); });
        // A second of the main loop's rounds (ten a second) with the walk queue short all along.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        world.stop = true;
        run.join();
        int seedFetches = 0;
        for (const RequestRecord &r : world.Requests())
            seedFetches += r.url == kSeed ? 1 : 0;
        EXPECT_EQ(seedFetches, 1);
    }
}
