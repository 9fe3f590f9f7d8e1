// The dates of cookies: the lenient date scan of a Set-Cookie "Expires" attribute, the form the
// cookie files store expiry dates in, and the calendar arithmetic both need (seconds since 1970, UTC).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vantry {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar (negative before it).
constexpr int64_t DaysFromCivil(int64_t year, int32_t month, int32_t day) {
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Reads a cookie date: the text is cut into tokens at the delimiter bytes and the first token that
// looks like a time (h:m:s), a day of the month, a month name and a year is taken for each, in that
// order of preference. Two-digit years 70-99 mean 19xx and 00-69 mean 20xx. False for a missing
// part, a day outside 1-31 or past the month's end, a year before 1601, or a time beyond 23:59:59.
bool ParseCookieDate(std::string_view text, int64_t &unixSeconds);

// "Wdy, DD Mon YYYY HH:MM:SS GMT" for a time between the years 1601 and 9999 (clamped to them).
std::string FormatCookieDate(int64_t unixSeconds);

} // namespace vantry
