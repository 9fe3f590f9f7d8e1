// CacheClock: the current time as a day count for the cache's freshness rules and entry stamps.
// Tests fix "now" through SetCacheClock; by default it is the machine's clock.
#pragma once
#include <cstdint>

namespace vantry {

struct CalendarTime;

// Local time as a day count (expiry dates of the ".dat" store are local).
double CacheNowLocalDays();
// UTC time as a calendar time (the stamps of ".caf" entries).
void CacheNowUtc(CalendarTime &out);

// Replaces the clock: local day count and the bias in minutes (UTC = local + bias). A null
// function restores the machine's clock.
void SetCacheClock(double (*localDays)(), int32_t biasMinutes);

} // namespace vantry
