// End-to-end harvest in the sandbox: the real lanternfold binary against nginx serving a made-up web
// (tests/sandbox/harvest-web, run through its run-test script: the http-era web of make-web or the web
// of today of make-web-today). Four runs:
//   A. the output directory is read-only for the first requests and then made writable; the run goes
//      on until every expected name is in the output (bounded) and is stopped by stop.txt;
//   B. started with a stop.txt left over (reported and removed), it is stopped by SIGTERM;
//   C. with a fresh output directory, killed with SIGKILL in the middle of its work;
//   D. restarted on C's directory, it runs until it has nothing left to do and is stopped by stop.txt.
// The output files, the programs' standard error and nginx's access log are then checked. Options in
// LANTERNFOLD_ARGS (split at spaces, e.g. "--workers 1") are given to every run.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "url/KnownTlds.h"

using namespace vantry;

namespace {

using Clock = std::chrono::steady_clock;

// Requests to one host start this far apart in these runs (the default is a second).
constexpr const char *kHostSpacingMs = "50";
constexpr double kStopLimitSeconds = 5.0;

std::vector<std::string> ReadLines(const std::string &path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

bool FileExists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

size_t RequestCount(const std::string &web) {
    return ReadLines(web + "/access.log").size();
}

// The options of LANTERNFOLD_ARGS.
std::vector<std::string> ExtraArgs() {
    std::vector<std::string> args;
    const char *text = std::getenv("LANTERNFOLD_ARGS");
    std::istringstream in(text != nullptr ? text : "");
    for (std::string arg; in >> arg;)
        args.push_back(arg);
    return args;
}

// Whether the runs use one worker (the single loop) rather than the default many.
bool SingleLoop() {
    const std::vector<std::string> args = ExtraArgs();
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--workers" && args[i + 1] == "1")
            return true;
    return false;
}

// lanternfold run in `work` (stop.txt goes there) with its output directory `out`.
pid_t StartHarvester(const std::string &bin, const std::string &work, const std::string &out,
                     const std::string &errFile) {
    std::vector<std::string> args = {bin, "--dir", out, "--host-spacing", kHostSpacingMs};
    for (const std::string &arg : ExtraArgs())
        args.push_back(arg);
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0)
            _exit(127);
        int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 2);
            close(fd);
        }
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Waits at most `limit` for the process; gives its exit code (128 + the signal when one ended it), or
// -1 (then killed) when it did not end. `seconds` gets the time it took.
int WaitForExit(pid_t pid, std::chrono::seconds limit, double *seconds = nullptr) {
    const auto start = Clock::now();
    const auto deadline = start + limit;
    int status = 0;
    while (Clock::now() < deadline) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (seconds != nullptr)
                *seconds = std::chrono::duration<double>(Clock::now() - start).count();
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

template <class Ready> void WaitUntil(Ready ready, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline && !ready())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

struct Runs {
    std::string web, work, out, output, crashOut;
    std::vector<std::string> expected, forbidden, excluded;
    bool outputMissingWhileReadOnly = false;
    size_t requestsWhileReadOnly = 0;
    int stopFileExit = -2, sigtermExit = -2, killedExit = -2, restartExit = -2;
    double stopFileSeconds = 99, sigtermSeconds = 99;
    bool staleStopFileRemoved = false;
    size_t crashFirstRequest = 0, requestsBeforeKill = 0;
    std::vector<std::string> afterA, afterB, atKill, crashOutput;
    std::string stderrA, stderrB, stderrD;
};

Runs *g_runs = nullptr;

class HarvestWeb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char *web = std::getenv("VANTRY_HARVEST_WEB");
        const char *bin = std::getenv("LANTERNFOLD_BIN");
        if (web == nullptr || bin == nullptr)
            return;
        g_runs = new Runs;
        Runs &r = *g_runs;
        r.web = web;
        r.work = r.web + "/work";
        r.out = r.work + "/out";
        r.output = r.out + "/domains.txt";
        r.crashOut = r.work + "/crash";
        r.expected = ReadLines(r.web + "/expected.txt");
        r.forbidden = ReadLines(r.web + "/forbidden.txt");
        r.excluded = ReadLines(r.web + "/excluded.txt");
        std::system(("mkdir -p " + r.out + " " + r.crashOut).c_str());
        const std::set<std::string> wanted(r.expected.begin(), r.expected.end());
        auto allFound = [&] {
            const std::vector<std::string> lines = ReadLines(r.output);
            size_t have = 0;
            for (const std::string &n : std::set<std::string>(lines.begin(), lines.end()))
                have += wanted.count(n);
            return have == wanted.size();
        };

        // A: read-only output directory until the harvester has fetched a good number of pages, then
        // writable; it runs until every name is in (the bound leaves room for a sanitizer build on a
        // busy machine), then stop.txt ends it.
        std::system(
            ("mount --bind " + r.out + " " + r.out + " && mount -o remount,bind,ro " + r.out).c_str());
        pid_t pid = StartHarvester(bin, r.work, r.out, r.work + "/errA.txt");
        WaitUntil([&] { return RequestCount(r.web) >= 40; }, std::chrono::seconds(30));
        r.outputMissingWhileReadOnly = !FileExists(r.output);
        r.requestsWhileReadOnly = RequestCount(r.web);
        std::system(("umount " + r.out).c_str());
        WaitUntil(allFound, std::chrono::seconds(240));
        testsupport::WriteFileBytes(r.work + "/stop.txt", "");
        r.stopFileExit = WaitForExit(pid, std::chrono::seconds(30), &r.stopFileSeconds);
        r.afterA = ReadLines(r.output);
        r.stderrA = testsupport::ReadFileBytes(r.work + "/errA.txt");

        // B: the stop.txt of A is still there: reported and removed; SIGTERM ends the run.
        pid = StartHarvester(bin, r.work, r.out, r.work + "/errB.txt");
        WaitUntil([&] { return !FileExists(r.work + "/stop.txt"); }, std::chrono::seconds(10));
        r.staleStopFileRemoved = !FileExists(r.work + "/stop.txt");
        std::this_thread::sleep_for(std::chrono::seconds(3));
        kill(pid, SIGTERM);
        r.sigtermExit = WaitForExit(pid, std::chrono::seconds(30), &r.sigtermSeconds);
        r.afterB = ReadLines(r.output);
        r.stderrB = testsupport::ReadFileBytes(r.work + "/errB.txt");

        // C: a fresh start, killed in the middle of its work; D: restarted, until nothing is left to do
        // (no request for 5 s).
        r.crashFirstRequest = RequestCount(r.web);
        pid = StartHarvester(bin, r.work, r.crashOut, r.work + "/errC.txt");
        WaitUntil([&] { return RequestCount(r.web) >= r.crashFirstRequest + 150; }, std::chrono::seconds(60));
        r.requestsBeforeKill = RequestCount(r.web) - r.crashFirstRequest;
        kill(pid, SIGKILL);
        r.killedExit = WaitForExit(pid, std::chrono::seconds(10));
        r.atKill = ReadLines(r.crashOut + "/domains.txt");
        pid = StartHarvester(bin, r.work, r.crashOut, r.work + "/errD.txt");
        const auto quietDeadline = Clock::now() + std::chrono::seconds(240);
        size_t lastCount = 0;
        auto lastChange = Clock::now();
        while (Clock::now() < quietDeadline && Clock::now() - lastChange < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const size_t count = RequestCount(r.web);
            if (count != lastCount) {
                lastCount = count;
                lastChange = Clock::now();
            }
        }
        testsupport::WriteFileBytes(r.work + "/stop.txt", "");
        r.restartExit = WaitForExit(pid, std::chrono::seconds(30));
        std::remove((r.work + "/stop.txt").c_str());
        r.crashOutput = ReadLines(r.crashOut + "/domains.txt");
        r.stderrD = testsupport::ReadFileBytes(r.work + "/errD.txt");
    }
    void SetUp() override {
        if (g_runs == nullptr)
            GTEST_SKIP() << "run through tests/sandbox/harvest-web/run-test";
    }
};

} // namespace

TEST_F(HarvestWeb, FindsEveryExpectedNameExactlyOnce) {
    std::map<std::string, int> seen;
    for (const std::string &n : g_runs->afterA)
        ++seen[n];
    for (const std::string &n : g_runs->expected)
        EXPECT_EQ(seen[n], 1) << n;
    EXPECT_GE(g_runs->expected.size(), 250u);
}

TEST_F(HarvestWeb, WritesNoExcludedNameNoUnknownTldAndNothingFromForbiddenPaths) {
    for (const std::vector<std::string> *lines : {&g_runs->afterB, &g_runs->crashOutput}) {
        const std::set<std::string> written(lines->begin(), lines->end());
        for (const std::string &n : g_runs->excluded)
            EXPECT_EQ(written.count(n), 0u) << n;
        for (const std::string &n : g_runs->forbidden)
            EXPECT_EQ(written.count(n), 0u) << n;
        for (const std::string &n : written)
            EXPECT_TRUE(HasKnownTld(n.c_str())) << n;
    }
    const std::string bytes = testsupport::ReadFileBytes(g_runs->output);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
}

TEST_F(HarvestWeb, StopsWithinFiveSecondsOnTheStopFileAndOnSigtermWithExitCodeZero) {
    EXPECT_EQ(g_runs->stopFileExit, 0);
    EXPECT_LE(g_runs->stopFileSeconds, kStopLimitSeconds);
    EXPECT_EQ(g_runs->sigtermExit, 0);
    EXPECT_LE(g_runs->sigtermSeconds, kStopLimitSeconds);
    EXPECT_NE(g_runs->stderrA.find("lanternfold: stopping: stop.txt found\n"), std::string::npos);
    EXPECT_NE(g_runs->stderrB.find("lanternfold: stopping: SIGTERM or SIGINT received\n"), std::string::npos);
    EXPECT_NE(g_runs->stderrB.find("lanternfold: state saved in " + g_runs->output + ".journal"),
              std::string::npos);
    // B found nothing new, and wrote no name again.
    EXPECT_EQ(g_runs->afterB, g_runs->afterA);
}

TEST_F(HarvestWeb, SigkillAndRestartWriteNoNameTwiceAndCrawlNoSiteTwice) {
    EXPECT_EQ(g_runs->killedExit, 128 + SIGKILL);
    EXPECT_EQ(g_runs->restartExit, 0);
    EXPECT_GE(g_runs->requestsBeforeKill, 150u);
    std::map<std::string, int> seen;
    for (const std::string &n : g_runs->crashOutput)
        EXPECT_EQ(++seen[n], 1) << n;
    // Every name written before the kill is still there, and the restart went on to find more.
    for (const std::string &n : g_runs->atKill)
        EXPECT_EQ(seen.count(n), 1u) << n;
    EXPECT_GT(g_runs->crashOutput.size(), g_runs->atKill.size());
    std::printf("names at the kill: %zu, after the restart: %zu of %zu expected\n", g_runs->atKill.size(),
                g_runs->crashOutput.size(), g_runs->expected.size());
    // A domain whose crawl the kill cut short counts as crawled (so that none is crawled twice), and the
    // names only its unfetched pages link to are not found: one such domain in the single loop, as many
    // as there are workers otherwise (32 here, half of this web's sites, so how much is lost depends on
    // how far each of them had got when the kill came).
    const size_t kept = SingleLoop() ? g_runs->expected.size() * 3 / 4 : g_runs->expected.size() / 4;
    EXPECT_GE(g_runs->crashOutput.size(), kept);
    // Each crawl asks for robots.txt once (following its redirects): over the killed run and its
    // restart no scheme and host is asked twice.
    std::map<std::string, int> robots;
    const std::vector<std::string> log = ReadLines(g_runs->web + "/access.log");
    for (size_t i = g_runs->crashFirstRequest; i < log.size(); ++i) {
        std::istringstream fields(log[i]);
        std::string host, uri;
        fields >> host >> uri;
        if (uri == "/robots.txt") {
            EXPECT_EQ(++robots[host], 1) << host;
        }
    }
    EXPECT_GE(robots.size(), 50u);
}

TEST_F(HarvestWeb, ReadOnlyOutputDirectoryLosesNoNameOnceWritable) {
    // While read-only the file could not be made although pages were fetched; the names found then
    // are in the file afterwards (FindsEveryExpectedNameExactlyOnce checks each is there once).
    EXPECT_TRUE(g_runs->outputMissingWhileReadOnly);
    EXPECT_GE(g_runs->requestsWhileReadOnly, 40u);
    EXPECT_NE(g_runs->stderrA.find("domains.txt cannot be written"), std::string::npos);
    EXPECT_NE(g_runs->stderrA.find("domains.txt can be written again"), std::string::npos);
}

TEST_F(HarvestWeb, SaysWhereTheNamesGoAndRemovesAStopFileLeftFromBefore) {
    EXPECT_NE(g_runs->stderrA.find("lanternfold: names go to " + g_runs->output + "; the state is kept in " +
                                   g_runs->output + ".journal\n"),
              std::string::npos);
    EXPECT_TRUE(g_runs->staleStopFileRemoved);
    EXPECT_NE(g_runs->stderrB.find("lanternfold: stop.txt was present at start"), std::string::npos);
}
