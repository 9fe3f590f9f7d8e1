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
#include "LoopbackNginx.h"

namespace {

using namespace bench;

constexpr long long kBytes = 1ll << 30;
constexpr int kRounds = 5;

} // namespace

int main() {
#ifndef VANTRY_GET_PATH
    std::printf("VantryGetStreamBench: vantry-get is not part of this build\n");
    return 0;
#else
    ClearProxyEnvironment();
    LoopbackNginx nginx("vantry-get-stream-bench",
                        "  default_type application/octet-stream;\n  sendfile on;\n");
    {
        // Written out (not sparse), so nginx serves real pages from the page cache.
        std::ofstream big(nginx.Site() + "/big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
        for (long long done = 0; done < kBytes; done += static_cast<long long>(block.size()))
            big.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    if (!nginx.Start()) {
        std::printf("VantryGetStreamBench: nginx did not start (see %s)\n", nginx.ErrorLog().c_str());
        return 1;
    }
    const std::string url = nginx.Url("/big.bin");
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
