// The journal under fire: a scripted harvest is killed with SIGKILL (in a child process) at many points
// of its run, at the start of a fetch or of a lookup, and then run again to the end in another child.
// Whatever the point, the two runs together crawl no domain twice, write no name twice, and lose no
// name: the output ends up holding exactly the names of a run that was never killed.
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
#include "harvester/ScriptedHarvest.h"
#include "support/TestSupport.h"

using namespace lanternfold;

using testsupport::ScriptedHarvest;

namespace {

constexpr int kSites = 10;

std::string Site(int n) {
    return "www.s" + std::to_string(n) + ".com";
}
std::string Leaf(int n) {
    return "www.leaf-" + std::to_string(n) + ".org";
}

// A small web in which every name can be reached two ways, so that the one crawl a kill leaves
// unfinished (it counts as crawled) hides no name: the seed lists s0, s1 and s2; site n links to
// sites n+2 and n+3 and to leaves n and n+1 (from its second page; the last to leaf 0); each site's address
// has a neighbour that only the walk finds.
void BuildWeb(ScriptedHarvest &env) {
    std::string seed;
    for (int n = 0; n < 3; ++n)
        seed += "<a href=http://" + Site(n) + "/>s</a>";
    seed += "<a href=http://" + Leaf(0) + "/>l</a>";
    env.web.Add("http://pinboard.in/furled.jsp", seed);
    for (int n = 0; n < kSites; ++n) {
        const std::string site = "http://" + Site(n);
        env.web.Add(site + "/robots.txt", "");
        std::string home = "<a href=/p1>p</a>";
        for (int next : {n + 2, n + 3})
            if (next < kSites)
                home += "<a href=http://" + Site(next) + "/>n</a>";
        env.web.Add(site + "/", home);
        env.web.Add(site + "/p1", "<a href=http://" + Leaf(n) + "/>a</a><a href=http://" +
                                      Leaf((n + 1) % kSites) + "/>b</a>");
        const std::string address = "127.30." + std::to_string(n) + ".10";
        env.lookups.forward[Site(n)] = address;
        env.lookups.reverse["127.30." + std::to_string(n) + ".11"] =
            "www.hidden-" + std::to_string(n) + ".net";
    }
}

void AppendLine(const std::string &path, const std::string &line) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    if (write(fd, text.data(), text.size()) < 0) {
    }
    close(fd);
}

// Where a child is killed: at the start of its n-th fetch or of its n-th lookup (0: never).
struct KillPoint {
    int fetch = 0;
    int lookup = 0;
};

// One run in a child process, killed at the point given, every fetch logged to fetchLog first.
// Gives whether the child was killed.
bool RunChild(const std::string &dir, KillPoint kill, const std::string &fetchLog) {
    const pid_t pid = fork();
    if (pid == 0) {
        ScriptedHarvest env;
        BuildWeb(env);
        int fetches = 0, lookups = 0;
        env.web.onFetch = [&](const char *url) {
            if (++fetches == kill.fetch)
                raise(SIGKILL);
            AppendLine(fetchLog, url);
        };
        env.lookups.onLookup = [&] {
            if (++lookups == kill.lookup)
                raise(SIGKILL);
        };
        env.stopAtTick = env.clock + 25 * 60 * 1000;
        {
            Harvester harvester(env);
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
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(CrashRestart, KilledAnywhereTheHarvestCrawlsNothingTwiceWritesNothingTwiceAndLosesNothing) {
    testsupport::TempDir reference;
    ASSERT_FALSE(RunChild(reference.Path(), KillPoint(), reference.File("fetches")));
    const std::vector<std::string> expectedLines = Lines(reference.File("domains.txt"));
    const std::set<std::string> expected(expectedLines.begin(), expectedLines.end());
    ASSERT_EQ(expected.size(), expectedLines.size());
    ASSERT_GE(expected.size(), 30u);
    // The fetches and lookups of the whole run: the kills fall at every fetch and every fifth lookup.
    int fetches = 0, lookups = 0;
    {
        ScriptedHarvest env;
        BuildWeb(env);
        env.web.onFetch = [&](const char *) { ++fetches; };
        env.lookups.onLookup = [&] { ++lookups; };
        env.stopAtTick = env.clock + 25 * 60 * 1000;
        testsupport::TempDir dir;
        Harvester harvester(env);
        harvester.Run(dir.File("domains.txt").c_str());
    }
    ASSERT_GT(fetches, 40);
    ASSERT_GT(lookups, 100);
    std::vector<KillPoint> points;
    for (int n = 1; n <= fetches; ++n)
        points.push_back(KillPoint{n, 0});
    for (int n = 1; n <= lookups; n += 5)
        points.push_back(KillPoint{0, n});

    int killed = 0;
    for (const KillPoint &kill : points) {
        const std::string where =
            kill.fetch != 0 ? "fetch " + std::to_string(kill.fetch) : "lookup " + std::to_string(kill.lookup);
        testsupport::TempDir dir;
        const std::string fetchLog = dir.File("fetches");
        if (!RunChild(dir.Path(), kill, fetchLog))
            continue;
        ++killed;
        ASSERT_FALSE(RunChild(dir.Path(), KillPoint(), fetchLog)) << "kill at " << where;
        const std::vector<std::string> lines = Lines(dir.File("domains.txt"));
        std::map<std::string, int> written;
        for (const std::string &name : lines)
            EXPECT_EQ(++written[name], 1) << name << " written twice, kill at " << where;
        EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected) << "kill at " << where;
        std::map<std::string, int> homePages;
        // Home pages of crawled domains (the seed pages are not crawls: a restart may fetch them again).
        for (const std::string &url : Lines(fetchLog)) {
            if (url.size() > 7 && url.find('/', 7) == url.size() - 1 &&
                url.find("ycombinator") == std::string::npos) {
                EXPECT_EQ(++homePages[url], 1) << url << " crawled twice, kill at " << where;
            }
        }
    }
    EXPECT_GE(killed, fetches);
}
