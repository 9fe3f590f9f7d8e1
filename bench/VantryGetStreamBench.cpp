// vantry-get against curl on one large download: a 1 GiB file from an nginx this program starts on a
// free loopback port, each client writing the body to /dev/null as it arrives; wall and CPU time and the
// peak resident memory of each, side by side with the ratios (median of the runs).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "BenchProcess.h"

namespace {

using namespace bench;

constexpr long long kBytes = 1ll << 30;
constexpr int kRounds = 5;

Cost Median(std::vector<Cost> runs) {
    Cost m;
    m.ok = std::all_of(runs.begin(), runs.end(), [](const Cost &c) { return c.ok; });
    auto middle = [&runs](auto key) {
        std::sort(runs.begin(), runs.end(), [&](const Cost &a, const Cost &b) { return key(a) < key(b); });
        return key(runs[runs.size() / 2]);
    };
    m.wall = middle([](const Cost &c) { return c.wall; });
    m.cpu = middle([](const Cost &c) { return c.cpu; });
    m.maxRssKib = middle([](const Cost &c) { return static_cast<double>(c.maxRssKib); });
    return m;
}

} // namespace

int main() {
#ifndef VANTRY_GET_PATH
    std::printf("VantryGetStreamBench: vantry-get is not part of this build\n");
    return 0;
#else
    ClearProxyEnvironment();
    char dirTemplate[] = "/tmp/vantry-get-stream-bench-XXXXXX";
    std::string dir = mkdtemp(dirTemplate);
    chmod(dir.c_str(), 0755);
    mkdir((dir + "/site").c_str(), 0755);
    mkdir((dir + "/temp").c_str(), 0755);
    {
        // Written out (not sparse), so nginx serves real pages from the page cache.
        std::ofstream big(dir + "/site/big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
        for (long long done = 0; done < kBytes; done += static_cast<long long>(block.size()))
            big.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    int port = FreeLoopbackPort();
    {
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
             << "  access_log off;\n  default_type application/octet-stream;\n  sendfile on;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << dir << "/temp;\n";
        conf << "  server { listen 127.0.0.1:" << port << "; root " << dir << "/site; }\n}\n";
    }
    pid_t nginx = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, true);
    for (int i = 0; i < 200 && !PortOpen(port); ++i)
        usleep(20000);
    if (nginx < 0 || !PortOpen(port)) {
        std::printf("VantryGetStreamBench: nginx did not start (see %s/error.log)\n", dir.c_str());
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
    // Both write the body to standard output, which Spawn sends to /dev/null.
    const std::vector<std::string> ours = {VANTRY_GET_PATH, "-s", url};
    const std::vector<std::string> theirs = {"curl", "-s", url};
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

    std::printf("1 GiB from nginx on loopback to /dev/null, one process each, median of %d runs\n", kRounds);
    std::printf("%-26s %10s %10s %14s %10s\n", "", "wall ms", "CPU ms", "peak RSS KiB", "MiB/s");
    auto row = [](const char *name, const Cost &c) {
        std::printf("%-26s %10.1f %10.1f %14ld %10.0f%s\n", name, c.wall * 1e3, c.cpu * 1e3, c.maxRssKib,
                    c.wall > 0 ? 1024.0 / c.wall : 0.0, c.ok ? "" : "  (failed)");
    };
    row("vantry-get -s", a);
    row("curl -s", b);
    std::printf("%-26s %10.2f %10.2f %14.2f\n", "ratio vantry-get / curl", a.wall / b.wall,
                b.cpu > 0 ? a.cpu / b.cpu : 0.0,
                b.maxRssKib > 0 ? static_cast<double>(a.maxRssKib) / b.maxRssKib : 0.0);
    return a.ok && b.ok ? 0 : 1;
#endif
}
