// End-to-end harvest in the sandbox: the real lanternfold binary against nginx serving the made-up web
// of tests/sandbox/harvest-web (run through its run-test script). A first run starts with a read-only
// output directory, which is made writable after a few seconds, and is stopped by stop.txt; a second
// run is stopped by SIGTERM. The output file and nginx's access log are then checked.
#include <chrono>
#include <csignal>
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

std::vector<std::string> ReadLines(const std::string &path, bool stripCr) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (stripCr && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

bool FileExists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// lanternfold run in `work` (stop.txt goes there) with its output directory `out`.
pid_t StartHarvester(const std::string &bin, const std::string &work, const std::string &out,
                     const std::string &errFile) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0)
            _exit(127);
        int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 2);
            close(fd);
        }
        setenv("LANTERNFOLD_DIR", out.c_str(), 1);
        execl(bin.c_str(), bin.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits at most `limit` for the process; gives its exit code, or -1 (then killed) when it did not end.
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < deadline) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

struct Runs {
    std::string web, work, out, output;
    std::vector<std::string> expected, forbidden, excluded;
    bool outputMissingWhileReadOnly = false;
    size_t requestsWhileReadOnly = 0;
    int firstExit = -2, secondExit = -2;
    double secondsToStopBySignal = 0;
    std::vector<std::string> afterFirst, afterSecond;
    std::string firstStderr, secondStderr;
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
        r.expected = ReadLines(r.web + "/expected.txt", false);
        r.forbidden = ReadLines(r.web + "/forbidden.txt", false);
        r.excluded = ReadLines(r.web + "/excluded.txt", false);
        std::system(("mkdir -p " + r.out).c_str());

        // First run: the output directory is read-only for its first seconds.
        std::system(
            ("mount --bind " + r.out + " " + r.out + " && mount -o remount,bind,ro " + r.out).c_str());
        pid_t pid = StartHarvester(bin, r.work, r.out, r.work + "/err1.txt");
        // Read-only until the harvester has fetched a good number of pages (bounded in time).
        const auto roDeadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < roDeadline && ReadLines(r.web + "/access.log", false).size() < 40)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        r.outputMissingWhileReadOnly = !FileExists(r.output);
        r.requestsWhileReadOnly = ReadLines(r.web + "/access.log", false).size();
        std::system(("umount " + r.out).c_str());
        const std::set<std::string> wanted(r.expected.begin(), r.expected.end());
        // Ends as soon as every name is in; the bound leaves room for a sanitizer build on a busy machine.
        const auto deadline = Clock::now() + std::chrono::seconds(180);
        while (Clock::now() < deadline) {
            std::vector<std::string> now = ReadLines(r.output, true);
            size_t have = 0;
            for (const std::string &n : std::set<std::string>(now.begin(), now.end()))
                have += wanted.count(n);
            if (have == wanted.size())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        testsupport::WriteFileBytes(r.work + "/stop.txt", "");
        r.firstExit = WaitForExit(pid, std::chrono::seconds(30));
        std::remove((r.work + "/stop.txt").c_str());
        r.afterFirst = ReadLines(r.output, true);
        r.firstStderr = testsupport::ReadFileBytes(r.work + "/err1.txt");

        // Second run, ended by SIGTERM.
        pid = StartHarvester(bin, r.work, r.out, r.work + "/err2.txt");
        std::this_thread::sleep_for(std::chrono::seconds(4));
        const auto signalled = Clock::now();
        kill(pid, SIGTERM);
        r.secondExit = WaitForExit(pid, std::chrono::seconds(30));
        r.secondsToStopBySignal = std::chrono::duration<double>(Clock::now() - signalled).count();
        r.afterSecond = ReadLines(r.output, true);
        r.secondStderr = testsupport::ReadFileBytes(r.work + "/err2.txt");
    }
    void SetUp() override {
        if (g_runs == nullptr)
            GTEST_SKIP() << "run through tests/sandbox/harvest-web/run-test";
    }
};

} // namespace

TEST_F(HarvestWeb, FindsEveryExpectedNameExactlyOnce) {
    std::map<std::string, int> seen;
    for (const std::string &n : g_runs->afterFirst)
        ++seen[n];
    for (const std::string &n : g_runs->expected)
        EXPECT_EQ(seen[n], 1) << n;
    EXPECT_GE(g_runs->expected.size(), 200u);
}

TEST_F(HarvestWeb, WritesNoExcludedNameNoUnknownTldAndNothingFromForbiddenPaths) {
    const std::set<std::string> written(g_runs->afterSecond.begin(), g_runs->afterSecond.end());
    for (const std::string &n : g_runs->excluded)
        EXPECT_EQ(written.count(n), 0u) << n;
    for (const std::string &n : g_runs->forbidden)
        EXPECT_EQ(written.count(n), 0u) << n;
    for (const std::string &n : written)
        EXPECT_TRUE(HasKnownTld(n.c_str())) << n;
    const std::string bytes = testsupport::ReadFileBytes(g_runs->output);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_F(HarvestWeb, StopsOnTheStopFileAndOnSigtermWithExitCodeZero) {
    EXPECT_EQ(g_runs->firstExit, 0);
    EXPECT_EQ(g_runs->secondExit, 0);
}

TEST_F(HarvestWeb, RestartWritesNoNameTwiceAndCrawlsNoDomainTwice) {
    std::map<std::string, int> seen;
    for (const std::string &n : g_runs->afterSecond)
        EXPECT_EQ(++seen[n], 1) << n;
    // Each crawl asks for robots.txt once: over both runs no host is asked twice.
    std::map<std::string, int> robots;
    for (const std::string &line : ReadLines(g_runs->web + "/access.log", false)) {
        std::istringstream fields(line);
        std::string host, uri;
        fields >> host >> uri;
        if (uri == "/robots.txt") {
            EXPECT_EQ(++robots[host], 1) << host;
        }
    }
    EXPECT_GE(robots.size(), 50u);
    EXPECT_EQ(g_runs->secondStderr, "");
}

TEST_F(HarvestWeb, ReadOnlyOutputDirectoryLosesNoNameOnceWritable) {
    // While read-only the file could not be made although pages were fetched; the names found then
    // are in the file afterwards (FindsEveryExpectedNameExactlyOnce checks each is there once).
    EXPECT_TRUE(g_runs->outputMissingWhileReadOnly);
    EXPECT_GE(g_runs->requestsWhileReadOnly, 40u);
    EXPECT_NE(g_runs->firstStderr.find("ignored (missing)"), std::string::npos);
}
