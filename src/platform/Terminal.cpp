// POSIX layer for command-line programs: the terminal's width, the process id, and the file removed when a
// signal ends the process (the handler only calls async-signal-safe functions).
#include "platform/Terminal.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vantry {

namespace platform {

namespace {

// thread-safe: one file per process, named by the command-line program; g_removeSet guards it, so a handler
// running on any thread sees either no path or a whole one.
char g_removePath[4096];
std::atomic<bool> g_removeSet{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void RemoveAndReraise(int sig) {
    if (g_removeSet.load())
        unlink(g_removePath);
    signal(sig, SIG_DFL); // thread-safe: async-signal-safe, restores the default before re-raising
    raise(sig);
}

} // namespace

int TerminalColumns(int fd) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

int ProcessId() {
    return static_cast<int>(getpid());
}

void RemoveOnSignal(const char *path) {
    static std::once_flag installOnce;
    g_removeSet.store(false);
    if (!path)
        return;
    std::strncpy(g_removePath, path, sizeof g_removePath - 1);
    g_removePath[sizeof g_removePath - 1] = '\0';
    g_removeSet.store(true);
    std::call_once(installOnce, [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, RemoveAndReraise); // thread-safe: installed once, under the flag
    });
}

} // namespace platform

} // namespace vantry
