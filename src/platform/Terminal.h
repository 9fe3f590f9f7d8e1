// POSIX layer for command-line programs: whether a descriptor is a terminal and how wide it is,
// and the rename that puts a finished file in place.
#pragma once

namespace platform {
bool IsTerminal(int fd);
// Columns of the terminal on fd; 80 when unknown.
int TerminalColumns(int fd);
// Renames from onto to, replacing what is there (same file system). False with err set on failure.
bool RenameOver(const char *from, const char *to, int *err);
// The process id, for names that must not collide between concurrent runs.
int ProcessId();
} // namespace platform
