// Stop signals: a counter set from the handler; the second signal calls _exit(0), which is safe in a
// handler and leaves every output line complete, since each line goes out in one write.
#include "platform/Signals.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace vantry {

namespace platform {

namespace {
// Written by the handler, read by any thread: a lock-free atomic is both safe in a handler and
// visible across threads (a volatile sig_atomic_t is only the former).
std::atomic<int> g_stopSignals{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnStopSignal(int) {
    if (g_stopSignals.fetch_add(1) >= 1)
        _exit(0);
}
} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignalCount() {
    return g_stopSignals.load();
}

} // namespace platform

} // namespace vantry
