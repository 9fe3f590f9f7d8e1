// POSIX layer for command-line programs: the terminal's width, the process id, and what to tidy (a file
// to remove, a line to end) when the process is ended by a signal.
#pragma once

namespace vantry {

namespace platform {
// Columns of the terminal on fd; 80 when unknown.
int TerminalColumns(int fd);
// The process id, for names that must not collide between concurrent runs.
int ProcessId();
// While path is set (null: none), SIGINT, SIGTERM and SIGHUP first remove that file, then end the process
// as the signal would have. The path is copied (at most 4095 bytes). One path per process: meant for a
// command-line program's one output file; a later call replaces the path.
void RemoveOnSignal(const char *path);
// While on, SIGINT, SIGTERM and SIGHUP first end the line on standard error (a progress line drawn in
// place), then end the process as the signal would have.
void NewlineOnSignal(bool on);
} // namespace platform

} // namespace vantry
