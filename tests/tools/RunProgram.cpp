// Test helper: fork and exec with standard output and error sent to temporary files, waited for with a
// time limit.
#include "RunProgram.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace testsupport {

const std::vector<std::string> &ProxyVariables() {
    static const std::vector<std::string> names = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                                   "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
    return names;
}

namespace {
// Cleared before any test runs; every program the tests start inherits the cleared environment.
const bool g_proxiesCleared = [] {
    for (const std::string &name : ProxyVariables())
        unsetenv(name.c_str());
    return true;
}();
} // namespace

int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

std::string MakeTempDirectory() {
    char name[] = "/tmp/vantry-get-test-XXXXXX";
    return mkdtemp(name) ? name : "";
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> DirectoryEntries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        for (const auto &name : DirectoryEntries(path))
            RemoveTree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

ProgramResult RunProgram(const std::vector<std::string> &args, const std::string &cwd, int timeoutSeconds,
                         const std::vector<std::string> &env) {
    ProgramResult result;
    std::string dir = MakeTempDirectory();
    std::string outPath = dir + "/out", errPath = dir + "/err";
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // The environment is built before the fork: the child only execs.
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string &mine) {
            return mine.substr(0, mine.find('=')) == name;
        });
        if (!replaced)
            environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char *> envp;
    for (auto &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || (!cwd.empty() && chdir(cwd.c_str()) != 0))
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid > 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        int status = 0;
        for (;;) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    RemoveTree(dir);
    return result;
}

} // namespace testsupport
