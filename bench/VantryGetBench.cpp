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

namespace {

using namespace bench;

constexpr int kUrls = 200;
constexpr int kRounds = 7;

Cost Median(std::vector<Cost> runs) {
    Cost m;
    m.ok = std::all_of(runs.begin(), runs.end(), [](const Cost &c) { return c.ok; });
    std::sort(runs.begin(), runs.end(), [](const Cost &a, const Cost &b) { return a.wall < b.wall; });
    m.wall = runs[runs.size() / 2].wall;
    std::sort(runs.begin(), runs.end(), [](const Cost &a, const Cost &b) { return a.cpu < b.cpu; });
    m.cpu = runs[runs.size() / 2].cpu;
    return m;
}

} // namespace

int main() {
#ifndef VANTRY_GET_PATH
    std::printf("VantryGetBench: vantry-get is not part of this build\n");
    return 0;
#else
    ClearProxyEnvironment();
    char dirTemplate[] = "/tmp/vantry-get-bench-XXXXXX";
    std::string dir = mkdtemp(dirTemplate);
    chmod(dir.c_str(), 0755);
    mkdir((dir + "/site").c_str(), 0755);
    mkdir((dir + "/temp").c_str(), 0755);
    int port = FreeLoopbackPort();
    {
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
             << "  access_log off;\n  default_type text/html;\n  keepalive_requests 100000;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << dir << "/temp;\n";
        conf << "  server { listen 127.0.0.1:" << port << "; root " << dir << "/site; }\n}\n";
    }
    std::vector<std::string> urls;
    for (int i = 0; i < kUrls; ++i) {
        std::string name = "page" + std::to_string(i) + ".html";
        std::ofstream(dir + "/site/" + name) << std::string(1024, static_cast<char>('a' + i % 26));
        urls.push_back("http://127.0.0.1:" + std::to_string(port) + "/" + name);
    }
    pid_t nginx = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, true);
    for (int i = 0; i < 200 && !PortOpen(port); ++i)
        usleep(20000);
    if (nginx < 0 || !PortOpen(port)) {
        std::printf("VantryGetBench: nginx did not start (see %s/error.log)\n", dir.c_str());
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
    kill(nginx, SIGTERM);
    waitpid(nginx, nullptr, 0);
    std::system(("rm -rf " + dir).c_str());

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
