// POSIX layer for the stop signals of a long-running program: SIGTERM and SIGINT are counted; the
// first asks the program to finish its current step, the second ends the process at once (exit 0).
#pragma once

namespace vantry {

namespace platform {
// Installs the handlers (and ignores SIGPIPE). Safe to call more than once.
void InstallStopSignals();
// How many stop signals have arrived since the handlers were installed.
int StopSignalCount();
} // namespace platform

} // namespace vantry
