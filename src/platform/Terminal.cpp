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
volatile sig_atomic_t g_newlineSet = 0;

void TidyAndReraise(int sig) {
    if (g_newlineSet) {
        ssize_t ignored = write(2, "\n", 1);
        (void)ignored;
    }
    if (g_removeSet)
        unlink(g_removePath);
    signal(sig, SIG_DFL);
    raise(sig);
}

void InstallTidyHandlers() {
    static bool installed = false;
    if (installed)
        return;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, TidyAndReraise);
    installed = true;
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
    g_removeSet = 0;
    if (!path)
        return;
    std::strncpy(g_removePath, path, sizeof g_removePath - 1);
    g_removePath[sizeof g_removePath - 1] = '\0';
    g_removeSet = 1;
    InstallTidyHandlers();
}

void NewlineOnSignal(bool on) {
    g_newlineSet = on ? 1 : 0;
    if (on)
        InstallTidyHandlers();
}

} // namespace platform

} // namespace vantry
