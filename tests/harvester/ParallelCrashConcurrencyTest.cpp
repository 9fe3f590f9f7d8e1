// The journal under fire with many workers: a scripted harvest with four crawl workers and four
// walkers is killed with SIGKILL (in a child process) at many fetches, whichever thread makes them,
// and then run again to the end in another child. Whatever the point, the two runs together crawl no
// domain twice and write no name twice, and lose no name but those only a crawl the kill cut short
// would have found (it counts as crawled): at most one leaf per worker.
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/Harvester.h"
#include "harvester/ThreadedWorld.h"
#include "support/TestSupport.h"

using namespace lanternfold;

using testsupport::ThreadedWorld;

namespace {

constexpr int kSites = 24;

std::string Site(int n) {
    return "www.site" + std::to_string(n) + ".com";
}

std::string Leaf(int n) {
    return "www.leaf" + std::to_string(n) + ".org";
}

// The seed lists every site; site n links to sites 2n+1 and 2n+2 and, from its second page, to a leaf
// of its own (found by that crawl only); each site's address has a neighbour only the walk finds.
void BuildWeb(ThreadedWorld &world) {
    std::string seed;
    for (int n = 0; n < kSites; ++n)
        seed += "<a href=http://" + Site(n) + "/>s</a>";
    world.Add("http://seeds.example.org/list", seed);
    for (int n = 0; n < kSites; ++n) {
        const std::string site = "http://" + Site(n);
        world.Add(site + "/robots.txt", "");
        std::string home = "<a href=/p1>p</a>";
        for (int next : {2 * n + 1, 2 * n + 2})
            if (next < kSites)
                home += "<a href=http://" + Site(next) + "/>n</a>";
        world.Add(site + "/", home);
        world.Add(site + "/p1", "<a href=http://" + Leaf(n) + "/>l</a>");
        const std::string prefix = "10.7." + std::to_string(n) + ".";
        world.forward[Site(n)] = prefix + "10";
        world.reverse[prefix + "11"] = "www.near" + std::to_string(n) + ".net";
    }
}

void AppendLine(const std::string &path, const std::string &line) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n"; // one write: lines of several threads do not mix
    if (write(fd, text.data(), text.size()) < 0) {
    }
    close(fd);
}

// One run in a child process, killed at the start of its n-th fetch (0: never), every fetch logged
// first. Gives whether the child was killed.
bool RunChild(const std::string &dir, int killAt, const std::string &fetchLog) {
    const pid_t pid = fork();
    if (pid == 0) {
        ThreadedWorld world;
        BuildWeb(world);
        std::atomic<int> fetches{0};
        world.onFetch = [&](const std::string &url) {
            if (++fetches == killAt)
                raise(SIGKILL);
            AppendLine(fetchLog, url);
        };
        HarvestSettings settings;
        settings.seeds = {"http://seeds.example.org/list"};
        settings.hostSpacingMs = 1;
        settings.workers = 4;
        settings.lookups = 4;
        {
            Harvester harvester(world, settings);
            harvester.Run((dir + "/domains.txt").c_str());
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::vector<std::string> Lines(const std::string &path) {
    std::vector<std::string> lines;
    std::istringstream in(testsupport::ReadFileBytes(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(ParallelCrash, KilledAtAnyFetchOfAnyWorkerTheRestartCrawlsNothingTwiceAndWritesNothingTwice) {
    testsupport::TempDir reference;
    ASSERT_FALSE(RunChild(reference.Path(), 0, reference.File("fetches")));
    const std::vector<std::string> all = Lines(reference.File("domains.txt"));
    const std::set<std::string> web(all.begin(), all.end());
    ASSERT_EQ(web.size(), all.size());
    ASSERT_GE(web.size(), 3u * kSites);
    const int fetches = static_cast<int>(Lines(reference.File("fetches")).size());
    ASSERT_GT(fetches, 3 * kSites);

    int killed = 0;
    for (int killAt = 1; killAt <= fetches; killAt += 4) {
        const std::string where = "kill at fetch " + std::to_string(killAt);
        testsupport::TempDir dir;
        const std::string fetchLog = dir.File("fetches");
        if (!RunChild(dir.Path(), killAt, fetchLog))
            continue;
        ++killed;
        ASSERT_FALSE(RunChild(dir.Path(), 0, fetchLog)) << where;
        std::map<std::string, int> written;
        for (const std::string &name : Lines(dir.File("domains.txt"))) {
            EXPECT_EQ(++written[name], 1) << name << " written twice, " << where;
            EXPECT_EQ(web.count(name), 1u) << name << " is not of the web, " << where;
        }
        // Each crawl asks for robots.txt once: over both runs no site is asked twice.
        std::map<std::string, int> robots;
        for (const std::string &url : Lines(fetchLog)) {
            if (url.size() > 11 && url.compare(url.size() - 11, 11, "/robots.txt") == 0) {
                EXPECT_EQ(++robots[url], 1) << url << " crawled twice, " << where;
            }
        }
        // Lost: only leaves of crawls in flight at the kill, one per worker at most.
        int lost = 0;
        for (const std::string &name : web) {
            if (written.count(name) != 0)
                continue;
            ++lost;
            EXPECT_EQ(name.rfind("www.leaf", 0), 0u) << name << " lost, " << where;
        }
        EXPECT_LE(lost, 4) << where;
    }
    EXPECT_GE(killed, fetches / 4 - 2);
}
