// vantry-get against curl: one process each fetching the same 200 URLs (1 KiB pages) from an nginx this
// program starts on a free loopback port, bodies discarded; wall and CPU time side by side with the ratio.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchProcess.h"
#include "LoopbackNginx.h"

namespace {

using namespace bench;

constexpr int kUrls = 200;
constexpr int kRounds = 7;

} // namespace

int main() {
#ifndef VANTRY_GET_PATH
    std::printf("VantryGetBench: vantry-get is not part of this build\n");
    return 0;
#else
    ClearProxyEnvironment();
    LoopbackNginx nginx("vantry-get-bench", "  default_type text/html;\n  keepalive_requests 100000;\n");
    std::vector<std::string> urls;
    for (int i = 0; i < kUrls; ++i) {
        std::string name = "page" + std::to_string(i) + ".html";
        std::ofstream(nginx.Site() + "/" + name) << std::string(1024, static_cast<char>('a' + i % 26));
        urls.push_back(nginx.Url("/" + name));
    }
    if (!nginx.Start()) {
        std::printf("VantryGetBench: nginx did not start (see %s)\n", nginx.ErrorLog().c_str());
        return 1;
    }

    // vantry-get's -o takes one URL; its standard output goes to /dev/null instead (Spawn sends it there).
    std::vector<std::string> ours = {VANTRY_GET_PATH};
    ours.insert(ours.end(), urls.begin(), urls.end());
    std::vector<std::string> theirs = {"curl", "-s"};
    for (const std::string &u : urls) {
        theirs.push_back("-o");
        theirs.push_back("/dev/null");
        theirs.push_back(u);
    }
    std::vector<Cost> ourRuns, curlRuns;
    RunTimed(ours, true); // warm both once
    RunTimed(theirs, true);
    for (int r = 0; r < kRounds; ++r) {
        ourRuns.push_back(RunTimed(ours, true));
        curlRuns.push_back(RunTimed(theirs, true));
    }
    Cost a = Median(ourRuns), b = Median(curlRuns);

    std::printf("%d URLs of 1 KiB from nginx on loopback, one process each, median of %d runs\n", kUrls,
                kRounds);
    std::printf("%-26s %12s %12s\n", "", "wall ms", "CPU ms");
    std::printf("%-26s %12.1f %12.1f%s\n", "vantry-get", a.wall * 1e3, a.cpu * 1e3, a.ok ? "" : "  (failed)");
    std::printf("%-26s %12.1f %12.1f%s\n", "curl -s -o /dev/null", b.wall * 1e3, b.cpu * 1e3,
                b.ok ? "" : "  (failed)");
    std::printf("%-26s %12.2f %12.2f\n", "ratio vantry-get / curl", a.wall / b.wall,
                b.cpu > 0 ? a.cpu / b.cpu : 0.0);
    return a.ok && b.ok ? 0 : 1;
#endif
}
