// Standard error: isatty and write(2), nothing buffered.
#include "platform/Console.h"

#include <cerrno>
#include <unistd.h>

namespace vantry {

namespace platform {

bool StdErrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void WriteStdErr(const char *bytes, size_t count) {
    while (count > 0) {
        ssize_t n = write(STDERR_FILENO, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

} // namespace platform

} // namespace vantry
