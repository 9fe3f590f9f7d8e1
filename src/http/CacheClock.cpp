// The cache's clock: the machine's time through the date routines, or a fixed time set by tests.
#include "http/CacheClock.h"

#include <atomic>

#include "http/DateParser.h"

namespace vantry {

namespace {
// Atomic, so caches on other threads read the hook safely; a test sets it before its threads start.
std::atomic<double (*)()> g_localDays{nullptr};
std::atomic<int32_t> g_biasMinutes{0};
} // namespace

double CacheNowLocalDays() {
    if (double (*localDays)() = g_localDays.load())
        return localDays();
    CalendarTime now;
    DateParser::CurrentLocalTime(now);
    return DateParser().TimeToDays(now);
}

void CacheNowUtc(CalendarTime &out) {
    if (double (*localDays)() = g_localDays.load()) {
        DateParser().DaysToTime(localDays() + g_biasMinutes.load() / 1440.0, out);
        return;
    }
    DateParser::CurrentUtcTime(out);
}

void SetCacheClock(double (*localDays)(), int32_t biasMinutes) {
    g_biasMinutes.store(biasMinutes);
    g_localDays.store(localDays);
}

} // namespace vantry
