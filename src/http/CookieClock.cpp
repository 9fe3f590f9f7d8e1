// The cookie store's clock: the platform's UTC wall time as milliseconds since 1970, or the function a
// test put in its place.
#include "http/CookieClock.h"

#include <atomic>

#include "http/CookieDate.h"
#include "platform/Clock.h"

namespace vantry {

namespace {

std::atomic<int64_t (*)()> g_clock{nullptr};

int64_t MachineNowMs() {
    platform::WallTime now;
    platform::CurrentUtcTime(now);
    int64_t days = DaysFromCivil(now.year, now.month, now.day);
    return ((days * 24 + now.hour) * 60 + now.minute) * 60000 + now.second * 1000 + now.milliseconds;
}

} // namespace

int64_t CookieNowMs() {
    int64_t (*clock)() = g_clock.load();
    return clock ? clock() : MachineNowMs();
}

void SetCookieClock(int64_t (*nowMs)()) {
    g_clock.store(nowMs);
}

} // namespace vantry
