// Cache hits against the network: the same 10 KiB page fetched through QuickGetHtml from an nginx this
// program starts on loopback, served from the ".dat" store and from the ".caf" store, and the engine's
// no-network path (about:blank) as the floor; then the bzip2 cost of one ".caf" entry.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/CacheEntry.h"
#include "http/HttpCache.h"
#include "http/HttpMan.h"

using namespace vantry;

namespace {

using namespace bench;

// nginx on 127.0.0.1 serving dir/site, stopped when the object goes.
struct LoopbackNginx {
    explicit LoopbackNginx(const std::string &dir) {
        port = FreeLoopbackPort();
        mkdir((dir + "/site").c_str(), 0755);
        mkdir((dir + "/temp").c_str(), 0755);
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir
             << "/nginx.pid;\nerror_log " << dir
             << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n  access_log off;\n"
             << "  default_type text/html;\n  keepalive_requests 1000000;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << dir << "/temp;\n";
        conf << "  server { listen 127.0.0.1:" << port << "; root " << dir << "/site; }\n}\n";
        conf.close();
        std::vector<std::string> args = {"nginx",           "-p", dir, "-c", dir + "/nginx.conf", "-e",
                                         dir + "/error.log"};
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, "nginx", nullptr, nullptr, argv.data(), environ) != 0)
            pid = -1;
        for (int i = 0; i < 200 && pid > 0 && !PortOpen(port); ++i)
            usleep(20000);
    }
    ~LoopbackNginx() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    int port = 0;
    pid_t pid = -1;
};

// Requests per second of n QuickGetHtml calls; -1 when one fails.
double Rate(HttpMan &man, const std::string &url, int n, bool expectCache) {
    StringBuffer page;
    double start = Now();
    for (int i = 0; i < n; ++i) {
        if (!man.QuickGetHtml(url.c_str(), page) || (expectCache && !man.LastResult().FromCache)) {
            std::fprintf(stderr, "fetch %d of %s failed or missed the cache\n", i, url.c_str());
            return -1;
        }
    }
    return n / (Now() - start);
}

std::string Page(size_t size) {
    std::string page = "<html><head><title>bench</title></head><body>\n";
    for (int i = 0; page.size() < size - 20; ++i)
        page += "<p><a href=\"/link" + std::to_string(i) + ".html\">link number " + std::to_string(i) +
                "</a></p>\n";
    page += "</body></html>\n";
    return page;
}

// Microseconds per SaveAppending of a body under a URL (every tenth restarts the file).
double SaveCost(HttpCache &cache, const std::string &base, const DataBuffer &body, int n) {
    double start = Now();
    for (int i = 0; i < n; ++i)
        cache.SaveAppending((base + std::to_string(i)).c_str(),
                            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", body, false, 0, 0, 2,
                            "Nothing");
    return (Now() - start) / n * 1e6;
}

} // namespace

int main() {
    char tmpl[] = "/tmp/cachebench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    const std::string page = Page(10 * 1024);
    {
        LoopbackNginx nginx(dir);
        std::ofstream(dir + "/site/page.html", std::ios::binary) << page;
        if (nginx.pid <= 0 || !PortOpen(nginx.port)) {
            std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", dir.c_str());
            return 1;
        }
        const std::string url = nginx.Url("/page.html");
        const int n = 3000;

        HttpMan network;
        Rate(network, url, 200, false);
        double net = Rate(network, url, n, false);

        HttpMan dat;
        dat.AddCacheRoot((dir + "/dat").c_str());
        dat.SetCacheLevels(2);
        Rate(dat, url, 1, false); // stores the page
        double datHit = Rate(dat, url, n, true);

        HttpMan caf;
        caf.AddCacheRoot((dir + "/caf").c_str());
        caf.SetUseHttpCache(true);
        Rate(caf, url, 1, false);
        double cafHit = Rate(caf, url, n, true);

        HttpMan blank;
        double floor = Rate(blank, "http://127.0.0.1/about:blank", n * 10, false);

        std::printf("10 KiB page, %d requests each\n", n);
        std::printf("  nginx on loopback (keep-alive)  %9.0f req/s\n", net);
        std::printf("  .dat store hit                  %9.0f req/s  %.2fx the network\n", datHit,
                    datHit / net);
        std::printf("  .caf store hit                  %9.0f req/s  %.2fx the network\n", cafHit,
                    cafHit / net);
        std::printf("  no network at all (about:blank) %9.0f req/s\n", floor);
    }

    // bzip2 per ".caf" entry: the same save with the body packed and with it stored as it is.
    HttpCache cache;
    cache.AddRoot((dir + "/cost").c_str());
    cache.SetFileCount(1);
    for (size_t size : {size_t(10 * 1024), size_t(100 * 1024)}) {
        std::string text = Page(size);
        DataBuffer body;
        body.Append(text.data(), static_cast<uint32_t>(text.size()));
        const int n = size > 50000 ? 200 : 1000;
        SaveCost(cache, "http://w/warm", body, 20);
        double packed = SaveCost(cache, "http://w/p" + std::to_string(size) + "/", body, n);
        double plain = SaveCost(cache, "http://w/g" + std::to_string(size) + ".gif?", body, n);
        CacheEntry entry;
        entry.Url.SetString("http://w/x");
        entry.HeaderText.SetString("HTTP/1.1 200 OK\r\n");
        entry.Body.AppendData(body);
        DataBuffer out;
        entry.Serialise(out);
        std::printf(
            ".caf save of a %zu KiB page: %.0f us packed (to %u bytes), %.0f us stored as it is: bzip2 costs "
            "%.0f us per entry\n",
            size / 1024, packed, out.Length(), plain, packed - plain);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
