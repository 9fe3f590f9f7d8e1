// Shared scaffolding of the benchmarks that compare us with a peer program: clocks, free loopback ports,
// running a peer to its end with its own CPU time, and this process's resident memory.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace bench {

// Wall and CPU seconds of one measured run; ok when a peer program exited with 0.
struct Cost {
    double wall = 0;
    double cpu = 0;
    long maxRssKib = 0; // peak resident memory of a peer program
    bool ok = false;
};

inline double Seconds(const timeval &t) {
    return t.tv_sec + t.tv_usec / 1e6;
}

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of this process so far (user and system).
inline double SelfCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return Seconds(r.ru_utime) + Seconds(r.ru_stime);
}

// The proxy variables of the environment are removed, so that both peers talk to the loopback server
// directly.
inline void ClearProxyEnvironment() {
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        unsetenv(name);
}

// A port on 127.0.0.1 that nothing listens on at the moment of asking.
inline int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// Whether something accepts connections on 127.0.0.1:port.
inline bool PortOpen(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// Starts a program found on the PATH; quiet sends its standard output and error to /dev/null.
inline pid_t Spawn(const std::vector<std::string> &args, bool quiet = false) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Runs a program to its end; its CPU time comes from wait4.
inline Cost RunTimed(const std::vector<std::string> &args, bool quiet = false) {
    Cost c;
    double start = Now();
    pid_t pid = Spawn(args, quiet);
    if (pid < 0)
        return c;
    int status = 0;
    rusage r{};
    wait4(pid, &status, 0, &r);
    c.wall = Now() - start;
    c.cpu = Seconds(r.ru_utime) + Seconds(r.ru_stime);
    c.maxRssKib = r.ru_maxrss;
    c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return c;
}

// The median wall time, CPU time and peak memory of several runs (each taken on its own); ok when all were.
inline Cost Median(std::vector<Cost> runs) {
    Cost m;
    m.ok = !runs.empty();
    for (const Cost &c : runs)
        m.ok = m.ok && c.ok;
    if (runs.empty())
        return m;
    auto middle = [&runs](auto key) {
        std::sort(runs.begin(), runs.end(), [&](const Cost &a, const Cost &b) { return key(a) < key(b); });
        return key(runs[runs.size() / 2]);
    };
    m.wall = middle([](const Cost &c) { return c.wall; });
    m.cpu = middle([](const Cost &c) { return c.cpu; });
    m.maxRssKib = static_cast<long>(middle([](const Cost &c) { return static_cast<double>(c.maxRssKib); }));
    return m;
}

// This process's resident set size in bytes, from /proc/self/statm.
inline size_t ResidentBytes() {
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr)
        return 0;
    unsigned long size = 0, resident = 0;
    if (std::fscanf(f, "%lu %lu", &size, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

inline double MiB(size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace bench
