// POSIX layer for command-line programs: the terminal's width, the process id, and the file removed when a
// signal ends the process (the handler only calls async-signal-safe functions).
#include "platform/Terminal.h"

#include <csignal>
#include <cstring>
#include <initializer_list>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vantry {

namespace platform {

namespace {

char g_removePath[4096];
volatile sig_atomic_t g_removeSet = 0;

void RemoveAndReraise(int sig) {
    if (g_removeSet)
        unlink(g_removePath);
    signal(sig, SIG_DFL);
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
    static bool installed = false;
    g_removeSet = 0;
    if (!path)
        return;
    std::strncpy(g_removePath, path, sizeof g_removePath - 1);
    g_removePath[sizeof g_removePath - 1] = '\0';
    g_removeSet = 1;
    if (!installed) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, RemoveAndReraise);
        installed = true;
    }
}

} // namespace platform

} // namespace vantry
