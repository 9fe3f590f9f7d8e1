// Tests of the stop signals: the first SIGTERM or SIGINT is only counted, the second ends the process
// at once with exit code 0. Each case runs in a child process.
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Signals.h"

using namespace vantry;

namespace {
// Runs body in a child; gives its exit code, or -1 when it did not exit normally.
template <class Body> int InChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(42);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(StopSignals, FirstSignalIsCountedAndTheSecondExitsWithZero) {
    EXPECT_EQ(InChild([] {
                  platform::InstallStopSignals();
                  raise(SIGTERM);
                  if (platform::StopSignalCount() != 1)
                      _exit(1);
                  raise(SIGINT);
                  _exit(2); // not reached: the second signal exits with 0
              }),
              0);
}

TEST(StopSignals, OneSignalLeavesTheProcessRunning) {
    EXPECT_EQ(InChild([] {
                  platform::InstallStopSignals();
                  raise(SIGINT);
                  _exit(platform::StopSignalCount() == 1 ? 7 : 1);
              }),
              7);
}
