// POSIX layer for command-line programs: the terminal's width, the process id, and what is tidied when a
// signal ends the process: a file removed, a line ended (the handler only calls async-signal-safe
// functions).
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
// thread-safe: an atomic flag, set while a progress line is drawn in place on standard error.
std::atomic<bool> g_newlineSet{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void TidyAndReraise(int sig) {
    if (g_newlineSet.load()) {
        ssize_t ignored = write(2, "\n", 1);
        (void)ignored;
    }
    if (g_removeSet.load())
        unlink(g_removePath);
    signal(sig, SIG_DFL); // thread-safe: async-signal-safe, restores the default before re-raising
    raise(sig);
}

void InstallTidyHandlers() {
    static std::once_flag installOnce;
    std::call_once(installOnce, [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, TidyAndReraise); // thread-safe: installed once, under the flag
    });
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
    g_removeSet.store(false);
    if (!path)
        return;
    std::strncpy(g_removePath, path, sizeof g_removePath - 1);
    g_removePath[sizeof g_removePath - 1] = '\0';
    g_removeSet.store(true);
    InstallTidyHandlers();
}

void NewlineOnSignal(bool on) {
    g_newlineSet.store(on);
    if (on)
        InstallTidyHandlers();
}

} // namespace platform

} // namespace vantry
