// The cache's clock: the machine's time through the date routines, or a fixed time set by tests.
#include "http/CacheClock.h"

#include "http/DateParser.h"

namespace vantry {

namespace {
double (*g_localDays)() = nullptr;
int32_t g_biasMinutes = 0;
} // namespace

double CacheNowLocalDays() {
    if (g_localDays)
        return g_localDays();
    CalendarTime now;
    DateParser::CurrentLocalTime(now);
    return DateParser().TimeToDays(now);
}

void CacheNowUtc(CalendarTime &out) {
    if (g_localDays) {
        DateParser().DaysToTime(g_localDays() + g_biasMinutes / 1440.0, out);
        return;
    }
    DateParser::CurrentUtcTime(out);
}

void SetCacheClock(double (*localDays)(), int32_t biasMinutes) {
    g_localDays = localDays;
    g_biasMinutes = biasMinutes;
}

} // namespace vantry
