// Platform clock: the 32-bit millisecond tick counter (wraps like the original), sleeping, and the
// calendar time of the wall clock in UTC and in the local zone.
#pragma once
#include <cstdint>

namespace vantry {

namespace platform {
// Milliseconds from CLOCK_MONOTONIC, truncated to 32 bits.
uint32_t GetTickCount();
void SleepMs(uint32_t ms);

// A broken-down wall-clock time (the fields of the original platform's time record).
struct WallTime {
    int year = 0;
    int month = 0;     // 1 to 12
    int dayOfWeek = 0; // 0 = Sunday
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// Now, in UTC and in the machine's local zone.
void CurrentUtcTime(WallTime &out);
void CurrentLocalTime(WallTime &out);
// The machine's current offset as the original's bias, in minutes: UTC = local + bias (daylight included).
int32_t LocalBiasMinutes();
} // namespace platform

} // namespace vantry
