// OsError: error message texts from strerror_r (either the GNU or the XSI flavour) and errno.
#include "platform/OsError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vantry {

namespace {
// The XSI strerror_r returns a status and fills the buffer.
[[maybe_unused]] const char *PickMessage(int status, const char *buf) {
    return status == 0 ? buf : nullptr;
}
// The GNU strerror_r returns the message, which may or may not be the buffer.
[[maybe_unused]] const char *PickMessage(const char *message, const char *) {
    return message;
}
} // namespace

namespace platform {

int LastOsError() {
    return errno;
}

size_t OsErrorText(int errorCode, char *buf, size_t size) {
    if (buf == nullptr || size == 0) {
        return 0;
    }
    char local[256];
    local[0] = '\0';
    const char *message = PickMessage(strerror_r(errorCode, local, sizeof(local)), local);
    if (message == nullptr || message[0] == '\0') {
        std::snprintf(local, sizeof(local), "Unknown error %d", errorCode);
        message = local;
    }
    size_t n = std::strlen(message);
    if (n >= size) {
        n = size - 1;
    }
    std::memmove(buf, message, n);
    buf[n] = '\0';
    return n;
}

} // namespace platform

} // namespace vantry
