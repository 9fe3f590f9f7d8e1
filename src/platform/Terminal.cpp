// POSIX layer for command-line programs: isatty, the terminal's width, rename and the process id.
#include "platform/Terminal.h"

#include <cerrno>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(int fd) {
    return isatty(fd) == 1;
}

int TerminalColumns(int fd) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

bool RenameOver(const char *from, const char *to, int *err) {
    if (std::rename(from, to) == 0)
        return true;
    if (err)
        *err = errno;
    return false;
}

int ProcessId() {
    return static_cast<int>(getpid());
}

} // namespace platform
