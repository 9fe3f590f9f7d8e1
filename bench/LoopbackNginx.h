// LoopbackNginx: an nginx of its own for the peer comparisons of vantry-get: a scratch directory with
// a site folder, a configuration serving it on a free 127.0.0.1 port, started and stopped with the object.
#pragma once
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "BenchProcess.h"

namespace bench {

class LoopbackNginx {
public:
    // httpLines: extra directives inside the http block (one per line, each ending in ';').
    LoopbackNginx(const char *name, const std::string &httpLines) {
        std::string pattern = "/tmp/" + std::string(name) + "-XXXXXX";
        m_dir = mkdtemp(pattern.data()) ? pattern : std::string();
        chmod(m_dir.c_str(), 0755);
        mkdir(Site().c_str(), 0755);
        mkdir((m_dir + "/temp").c_str(), 0755);
        m_port = FreeLoopbackPort();
        std::ofstream conf(m_dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << m_dir << "/nginx.pid;\n"
             << "error_log " << m_dir << "/error.log warn;\nevents { worker_connections 64; }\nhttp {\n"
             << "  access_log off;\n"
             << httpLines;
        for (const char *t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << t << "_temp_path " << m_dir << "/temp;\n";
        conf << "  server { listen 127.0.0.1:" << m_port << "; root " << Site() << "; }\n}\n";
    }
    ~LoopbackNginx() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (!m_dir.empty())
            std::system(("rm -rf " + m_dir).c_str());
    }
    LoopbackNginx(const LoopbackNginx &) = delete;
    LoopbackNginx &operator=(const LoopbackNginx &) = delete;

    // The folder served; fill it before Start.
    std::string Site() const { return m_dir + "/site"; }
    // Starts nginx and waits (at most 4 s) until it accepts connections.
    bool Start() {
        m_pid = Spawn({"nginx", "-p", m_dir, "-c", m_dir + "/nginx.conf", "-e", m_dir + "/error.log"}, true);
        for (int i = 0; i < 200 && !PortOpen(m_port); ++i)
            usleep(20000);
        return m_pid > 0 && PortOpen(m_port);
    }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string ErrorLog() const { return m_dir + "/error.log"; }

private:
    std::string m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace bench
