// POSIX layer for command-line programs: whether a descriptor is a terminal and how wide it is, and the
// process id.
#pragma once

namespace platform {
bool IsTerminal(int fd);
// Columns of the terminal on fd; 80 when unknown.
int TerminalColumns(int fd);
// The process id, for names that must not collide between concurrent runs.
int ProcessId();
} // namespace platform
