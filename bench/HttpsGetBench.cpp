// Sequential HTTPS GETs from an nginx this program starts on loopback with a certificate made by the openssl
// command: our keep-alive QuickGetHtml loop over TLS against curl fetching the same URL list in one process
// (a 1 KiB page), then fresh connections (full handshakes, no session resumption on either side).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"

using namespace vantry;

namespace {

using namespace bench;

// nginx with TLS on two ports: one keeping connections alive, one closing after every response with
// session caches and tickets off, so every connection there costs a full handshake.
class TlsNginx {
public:
    explicit TlsNginx(const std::string &dir) : m_dir(dir) {
        m_keepPort = FreeLoopbackPort();
        m_freshPort = FreeLoopbackPort();
        mkdir((dir + "/temp").c_str(), 0755);
        mkdir((dir + "/site").c_str(), 0755);
        m_cert = dir + "/cert.pem";
        std::string key = dir + "/key.pem";
        RunTimed({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                  "-keyout", key, "-out", m_cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                  "subjectAltName=IP:127.0.0.1"});
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
             << "  access_log off;\n  default_type text/html;\n  keepalive_requests 1000000;\n"
             << "  ssl_certificate " << m_cert << ";\n  ssl_certificate_key " << key << ";\n"
             << "  ssl_protocols TLSv1.2 TLSv1.3;\n";
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << dir << "/temp;\n";
        conf << "  server { listen 127.0.0.1:" << m_keepPort << " ssl; root " << dir << "/site; }\n"
             << "  server { listen 127.0.0.1:" << m_freshPort << " ssl; root " << dir << "/site;"
             << " keepalive_timeout 0; ssl_session_cache off; ssl_session_tickets off; }\n}\n";
        conf.close();
        m_pid = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"});
        for (int i = 0; i < 200 && !(PortOpen(m_keepPort) && PortOpen(m_freshPort)); ++i)
            usleep(20000);
    }
    ~TlsNginx() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    void Put(const std::string &name, const std::string &bytes) const {
        std::ofstream(m_dir + "/site/" + name, std::ios::binary) << bytes;
    }
    std::string Url(bool fresh, const std::string &path) const {
        return "https://127.0.0.1:" + std::to_string(fresh ? m_freshPort : m_keepPort) + path;
    }
    const std::string &Cert() const { return m_cert; }
    bool Ok() const { return m_pid > 0 && PortOpen(m_keepPort) && PortOpen(m_freshPort); }

private:
    std::string m_dir, m_cert;
    int m_keepPort = 0, m_freshPort = 0;
    pid_t m_pid = -1;
};

Cost OurKeepAlive(const TlsNginx &nginx, const std::string &url, int n, size_t expect) {
    HttpMan man;
    man.Control().TlsCaFile.SetString(nginx.Cert().c_str());
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

// Every GET on a connection of its own: connect, full handshake, certificate check, request, close.
Cost OurFresh(const TlsNginx &nginx, const std::string &url, int n, size_t expect) {
    HttpClient client;
    HttpControl control;
    control.TlsCaFile.SetString(nginx.Cert().c_str());
    HttpResult result;
    DataBuffer body;
    LogNull log;
    double wall = Now(), cpu = SelfCpu();
    for (int i = 0; i < n; ++i) {
        result.Reset();
        if (!client.HttpGet(url.c_str(), 0, false, control, body, result, log) || body.Length() != expect) {
            std::fprintf(stderr, "our fresh fetch %d of %s failed\n", i, url.c_str());
            break;
        }
    }
    return {Now() - wall, SelfCpu() - cpu};
}

Cost CurlLoop(const std::string &dir, const TlsNginx &nginx, const std::string &url, int n) {
    std::string list = dir + "/curl.list";
    std::ofstream out(list);
    for (int i = 0; i < n; ++i)
        out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    out.close();
    return RunTimed({"curl", "-s", "--cacert", nginx.Cert(), "--config", list});
}

// Keeps the faster of two runs.
void Best(Cost &best, const Cost &run) {
    if (best.wall == 0 || (run.wall > 0 && run.wall < best.wall))
        best = run;
}

void Compare(const char *label, const char *unit, const Cost &ours, const Cost &curl, int n) {
    double ourRate = n / ours.wall, curlRate = n / curl.wall;
    std::printf("%-26s ours %8.0f %s %8.1f us CPU each | curl %8.0f %s %8.1f us CPU each | rate ratio %.2fx, "
                "CPU ratio %.2fx\n",
                label, ourRate, unit, ours.cpu / n * 1e6, curlRate, unit, curl.cpu / n * 1e6,
                ourRate / curlRate, (curl.cpu / n) / (ours.cpu / n));
}

} // namespace

int main() {
    char tmpl[] = "/tmp/httpsgetbench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    {
        TlsNginx nginx(dir);
        if (!nginx.Ok()) {
            std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", dir.c_str());
            return 1;
        }
        std::string kib(1024, 'k');
        nginx.Put("1k.html", kib);
        const int nKeep = 10000, nFresh = 500, rounds = 3;
        OurKeepAlive(nginx, nginx.Url(false, "/1k.html"), 200, kib.size()); // warm up both sides
        // Rounds alternate between the two clients and the best of each is kept, so a neighbour's burst of
        // load on a shared machine does not decide the ratio.
        Cost ourKeep, curlKeep, ourFresh, curlFresh;
        for (int r = 0; r < rounds; ++r) {
            Best(ourKeep, OurKeepAlive(nginx, nginx.Url(false, "/1k.html"), nKeep, kib.size()));
            Best(curlKeep, CurlLoop(dir, nginx, nginx.Url(false, "/1k.html"), nKeep));
            Best(ourFresh, OurFresh(nginx, nginx.Url(true, "/1k.html"), nFresh, kib.size()));
            Best(curlFresh, CurlLoop(dir, nginx, nginx.Url(true, "/1k.html"), nFresh));
        }
        Compare("1 KiB keep-alive HTTPS", "req/s", ourKeep, curlKeep, nKeep);
        Compare("fresh connections", "hs/s", ourFresh, curlFresh, nFresh);
    }
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
