// Platform clock: ticks on CLOCK_MONOTONIC, wall-clock times from CLOCK_REALTIME through gmtime_r and
// localtime_r.
#include "platform/Clock.h"

#include <time.h>

namespace vantry {

namespace platform {
uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

namespace {
void FillWallTime(bool local, WallTime &out) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm parts{};
    if (local) {
        localtime_r(&ts.tv_sec, &parts);
    } else {
        gmtime_r(&ts.tv_sec, &parts);
    }
    out.year = parts.tm_year + 1900;
    out.month = parts.tm_mon + 1;
    out.dayOfWeek = parts.tm_wday;
    out.day = parts.tm_mday;
    out.hour = parts.tm_hour;
    out.minute = parts.tm_min;
    out.second = parts.tm_sec > 59 ? 59 : parts.tm_sec; // a leap second is not a calendar second here
    out.milliseconds = static_cast<int>(ts.tv_nsec / 1000000L);
}
} // namespace

void CurrentUtcTime(WallTime &out) {
    FillWallTime(false, out);
}

void CurrentLocalTime(WallTime &out) {
    FillWallTime(true, out);
}

int32_t LocalBiasMinutes() {
    time_t now = time(nullptr);
    tm parts{};
    localtime_r(&now, &parts);
    return static_cast<int32_t>(-parts.tm_gmtoff / 60);
}

} // namespace platform

} // namespace vantry
