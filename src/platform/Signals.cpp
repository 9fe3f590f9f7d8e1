// Stop signals: a counter set from the handler; the second signal calls _exit(0), which is safe in a
// handler and leaves every output line complete, since each line goes out in one write.
#include "platform/Signals.h"

#include <csignal>
#include <unistd.h>

namespace vantry {

namespace platform {

namespace {
volatile sig_atomic_t g_stopSignals = 0;

void OnStopSignal(int) {
    if (g_stopSignals >= 1)
        _exit(0);
    g_stopSignals = g_stopSignals + 1;
}
} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int StopSignalCount() {
    return static_cast<int>(g_stopSignals);
}

} // namespace platform

} // namespace vantry
