// POSIX layer for the standard error stream: whether it is a terminal, and unbuffered writes to it.
#pragma once
#include <cstddef>

namespace vantry {

namespace platform {
bool StdErrIsTerminal();
// Writes the bytes to standard error; failures are ignored.
void WriteStdErr(const char *bytes, size_t count);
} // namespace platform

} // namespace vantry
