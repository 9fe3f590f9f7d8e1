// OsError: the platform's message text for an error number, and the calling thread's last error.
// Part of the POSIX layer; StringBuffer::AppendOsErrorText builds on it.
#pragma once
#include <cstddef>

namespace vantry {

namespace platform {
// The last error of the calling thread (errno).
int LastOsError();
// Writes the message text for an error number into buf (always zero-terminated when size > 0).
// Returns the text's length; an unknown number still gives the platform's "Unknown error" text.
size_t OsErrorText(int errorCode, char *buf, size_t size);
} // namespace platform

} // namespace vantry
