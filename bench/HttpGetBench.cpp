// Sequential keep-alive GETs from an nginx this program starts on a free loopback port: our QuickGetHtml
// loop against curl fetching the same URL list over one connection, for a 1 KiB and a 1 MiB page, then
// a 64 MiB body without a length (read to the end of the connection), and system calls per 1 KiB response.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/HttpConnPool.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"

using namespace vantry;

namespace {

using namespace bench;

class Nginx {
public:
    explicit Nginx(const std::string &dir) : m_dir(dir) {
        m_port = FreeLoopbackPort();
        mkdir((dir + "/temp").c_str(), 0755);
        mkdir((dir + "/site").c_str(), 0755);
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
             << "  access_log off;\n  default_type text/html;\n  keepalive_requests 1000000;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << dir << "/temp;\n";
        conf << "  server {\n    listen 127.0.0.1:" << m_port << ";\n    root " << dir << "/site;\n"
             << "    location /toend/ { alias " << dir << "/site/; chunked_transfer_encoding off;"
             << " sub_filter 'nothing-here' 'x'; sub_filter_types *; }\n  }\n}\n";
        conf.close();
        m_pid = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"});
        for (int i = 0; i < 200 && !PortOpen(m_port); ++i)
            usleep(20000);
    }
    ~Nginx() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    void Put(const std::string &name, const std::string &bytes) const {
        std::ofstream(m_dir + "/site/" + name, std::ios::binary) << bytes;
    }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    bool Ok() const { return m_pid > 0 && PortOpen(m_port); }

private:
    std::string m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

Cost OurLoop(const std::string &url, int n, size_t expect) {
    HttpMan man;
    StringBuffer page;
    double wall = Now(), cpu = SelfCpu();
    for (int i = 0; i < n; ++i) {
        if (!man.QuickGetHtml(url.c_str(), page) || static_cast<size_t>(page.Length()) != expect) {
            std::fprintf(stderr, "our fetch %d of %s failed\n", i, url.c_str());
            break;
        }
    }
    return {Now() - wall, SelfCpu() - cpu};
}

Cost CurlLoop(const std::string &dir, const std::string &url, int n) {
    std::string list = dir + "/curl.list";
    std::ofstream out(list);
    for (int i = 0; i < n; ++i)
        out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    out.close();
    return RunTimed({"curl", "-s", "--config", list});
}

// The best of a few alternating rounds of each side, so a busy machine disturbs both alike.
template <class Ours, class Curl> void Rounds(const char *label, int n, Ours ours, Curl curl);

void Compare(const char *label, const Cost &ours, const Cost &curl, int n) {
    double ourRate = n / ours.wall, curlRate = n / curl.wall;
    std::printf(
        "%-22s ours %9.0f req/s %8.1f us CPU/req | curl %9.0f req/s %8.1f us CPU/req | rate ratio %.2fx, "
        "CPU ratio %.2fx\n",
        label, ourRate, ours.cpu / n * 1e6, curlRate, curl.cpu / n * 1e6, ourRate / curlRate,
        (curl.cpu / n) / (ours.cpu / n));
}

template <class Ours, class Curl> void Rounds(const char *label, int n, Ours ours, Curl curl) {
    Cost bestOurs{1e30, 1e30}, bestCurl{1e30, 1e30};
    for (int round = 0; round < 3; ++round) {
        Cost a = ours(), b = curl();
        bestOurs = {std::min(bestOurs.wall, a.wall), std::min(bestOurs.cpu, a.cpu)};
        bestCurl = {std::min(bestCurl.wall, b.wall), std::min(bestCurl.cpu, b.cpu)};
    }
    Compare(label, bestOurs, bestCurl, n);
}

// Total system calls of a run of this program in its loop mode, counted by strace -c.
long CountSyscalls(const std::string &self, const std::string &dir, const std::string &url, int n) {
    std::string out = dir + "/strace.txt";
    RunTimed({"strace", "-c", "-o", out, self, "--loop", url, std::to_string(n)});
    std::ifstream in(out);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find("total") != std::string::npos)
            last = line;
    std::istringstream fields(last);
    std::string pct, secs, usecs, calls;
    fields >> pct >> secs >> usecs >> calls;
    return std::atol(calls.c_str());
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--loop") {
        HttpMan man;
        StringBuffer page;
        for (int i = 0, n = std::atoi(argv[3]); i < n; ++i)
            man.QuickGetHtml(argv[2], page);
        return 0;
    }
    char tmpl[] = "/tmp/httpgetbench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    {
        Nginx nginx(dir);
        if (!nginx.Ok()) {
            std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", dir.c_str());
            return 1;
        }
        std::string kib(1024, 'k'), mib(1024 * 1024, 'm');
        nginx.Put("1k.html", kib);
        nginx.Put("1m.html", mib);
        nginx.Put("64m.bin", std::string(64u << 20, 'z'));

        const int n1k = 20000, n1m = 300;
        OurLoop(nginx.Url("/1k.html"), 200, kib.size()); // warm up both sides
        Rounds(
            "1 KiB keep-alive", n1k, [&] { return OurLoop(nginx.Url("/1k.html"), n1k, kib.size()); },
            [&] { return CurlLoop(dir, nginx.Url("/1k.html"), n1k); });
        Rounds(
            "1 MiB keep-alive", n1m, [&] { return OurLoop(nginx.Url("/1m.html"), n1m, mib.size()); },
            [&] { return CurlLoop(dir, nginx.Url("/1m.html"), n1m); });

        // 64 MiB without a length: read to the end of the connection.
        const int n64 = 3;
        HttpControl control;
        HttpConnPool pool;
        HttpResult result;
        DataBuffer body;
        LogNull log;
        auto ours64 = [&] {
            double wall = Now(), cpu = SelfCpu();
            for (int i = 0; i < n64; ++i) {
                pool.Fetch(nginx.Url("/toend/64m.bin").c_str(), control, body, result, log);
                if (body.Length() != (64u << 20) || result.Header.ContentLengthPresent)
                    std::fprintf(stderr, "64 MiB read to the end gave %u bytes\n", body.Length());
            }
            return Cost{Now() - wall, SelfCpu() - cpu};
        };
        Rounds("64 MiB to the end", n64, ours64,
               [&] { return CurlLoop(dir, nginx.Url("/toend/64m.bin"), n64); });

        if (access("/usr/bin/strace", X_OK) == 0) {
            char self[4096];
            ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
            self[len > 0 ? len : 0] = 0;
            const int n = 2000;
            long base = CountSyscalls(self, dir, nginx.Url("/1k.html"), 1);
            long many = CountSyscalls(self, dir, nginx.Url("/1k.html"), n + 1);
            std::printf("system calls per 1 KiB response (strace -c): %.2f\n", double(many - base) / n);
        }
    }
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
