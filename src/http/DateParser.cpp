// HTTP date parsing and formatting, and the conversions between calendar times and the day count
// (days since 30 December 1899, the time of day as the fraction).
#include "http/DateParser.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"
#include "platform/Clock.h"

namespace vantry {

namespace {

constexpr const char *kParseDays[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
constexpr const char *kParseMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
// Month names of a second language family some servers write.
constexpr const char *kParseMonthsAlt[12] = {"ian", "fev", "mar", "apr", "mai", "jun",
                                             "jul", "aug", "set", "okt", "nov", "dez"};
constexpr const char *kWriteDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kWriteMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kDaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

struct ZoneOffset {
    const char *name;
    const char *offset;
};
constexpr ZoneOffset kZones[] = {{"ut", "0000"},   {"gmt", "0000"},  {"est", "-0500"}, {"edt", "-0400"},
                                 {"cst", "-0600"}, {"cdt", "-0500"}, {"mst", "-0700"}, {"mdt", "-0600"},
                                 {"pst", "-0800"}, {"pdt", "-0700"}, {"z", "0000"},    {"a", "-0100"},
                                 {"m", "-1200"},   {"n", "0100"},    {"y", "1200"}};

constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958465.0;

const char *SkipBlanks(const char *p) {
    while (ascii::IsSpaceOrTab(*p)) {
        ++p;
    }
    return p;
}

const char *SkipWord(const char *p) {
    while (*p != '\0' && !ascii::IsSpaceOrTab(*p)) {
        ++p;
    }
    return p;
}

const char *SkipWordAndBlanks(const char *p) {
    return SkipBlanks(SkipWord(p));
}

int LookUp(const char *const *table, int count, const char *word) {
    for (int i = 0; i < count; ++i) {
        if (std::strncmp(word, table[i], 3) == 0) {
            return i;
        }
    }
    return -1;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    int days = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1];
    return (month == 2 && IsLeapYear(year)) ? days + 1 : days;
}

// The zone word (lower-cased, any leading "+" already skipped) as an offset text.
const char *ZoneOffsetText(const char *word) {
    if (*word == '-' || (*word >= '0' && *word <= '9')) {
        return word;
    }
    for (const ZoneOffset &zone : kZones) {
        if (std::strcmp(word, zone.name) == 0) {
            return zone.offset;
        }
    }
    return "0000";
}

// Offset minutes east of UTC from "hhmm", "hh:mm" or "h", after an optional "-".
long long ParseOffsetMinutes(const char *text) {
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }
    int hours = 0;
    int minutes = 0;
    if (std::sscanf(text, "%02d%02d", &hours, &minutes) != 2 &&
        std::sscanf(text, "%02d:%02d", &hours, &minutes) != 2) {
        minutes = 0;
        if (std::sscanf(text, "%d", &hours) != 1) {
            hours = 0;
        }
    }
    long long total = static_cast<long long>(hours) * 60 + minutes; // hostile digits must not overflow
    return negative ? -total : total;
}

void FromWallTime(const platform::WallTime &wall, CalendarTime &out) {
    out.Year = static_cast<uint16_t>(wall.year);
    out.Month = static_cast<uint16_t>(wall.month);
    out.DayOfWeek = static_cast<uint16_t>(wall.dayOfWeek);
    out.Day = static_cast<uint16_t>(wall.day);
    out.Hour = static_cast<uint16_t>(wall.hour);
    out.Minute = static_cast<uint16_t>(wall.minute);
    out.Second = static_cast<uint16_t>(wall.second);
    out.Milliseconds = static_cast<uint16_t>(wall.milliseconds);
}

} // namespace

bool DateParser::ParseHttpDate(const char *text, CalendarTime &out) const {
    if (text == nullptr) {
        return false;
    }
    char copy[200];
    size_t n = 0;
    for (; n < sizeof(copy) - 1 && text[n] != '\0'; ++n) {
        copy[n] = ascii::ToLower(text[n]);
    }
    copy[n] = '\0';

    const char *p = SkipBlanks(copy);
    if (*p == '\0') {
        return false;
    }
    int dayOfWeek = LookUp(kParseDays, 7, p);
    if (dayOfWeek >= 0) {
        p = SkipWordAndBlanks(p);
        if (*p == '\0') {
            return false;
        }
        if (*p == ',') {
            ++p;
        }
        p = SkipBlanks(p);
        if (*p == '\0') {
            return false;
        }
    } else {
        dayOfWeek = 0;
    }

    int day = 0;
    int year = 0;
    char monthWord[200];
    if (std::sscanf(p, "%d %199s %d", &day, monthWord, &year) != 3) {
        return false;
    }
    p = SkipWordAndBlanks(SkipWordAndBlanks(SkipWordAndBlanks(p)));

    int month = LookUp(kParseMonths, 12, monthWord);
    if (month < 0) {
        month = LookUp(kParseMonthsAlt, 12, monthWord);
    }
    if (month < 0) {
        return false;
    }
    ++month;
    if (year < 1900) {
        year += year < 50 ? 2000 : 1900;
    }

    int hour = 0;
    int minute = 0;
    int second = 0;
    if (std::sscanf(p, "%d:%d:%d", &hour, &minute, &second) != 3) {
        second = 0;
        if (std::sscanf(p, "%d:%d", &hour, &minute) != 2) {
            return false;
        }
    }
    p = SkipWordAndBlanks(p);

    if (*p == '+') {
        ++p;
    }
    char zoneWord[200];
    if (std::sscanf(p, "%199s", zoneWord) != 1) {
        std::strcpy(zoneWord, "GMT");
    }
    long long offset = ParseOffsetMinutes(ZoneOffsetText(zoneWord));

    CalendarTime t;
    t.Year = static_cast<uint16_t>(year);
    t.Month = static_cast<uint16_t>(month);
    t.DayOfWeek = static_cast<uint16_t>(dayOfWeek);
    t.Day = static_cast<uint16_t>(day);
    t.Hour = static_cast<uint16_t>(hour);
    t.Minute = static_cast<uint16_t>(minute);
    t.Second = static_cast<uint16_t>(second);
    t.Milliseconds = 0;

    // To UTC: a zone east of UTC is ahead, so its offset is subtracted.
    long long total = static_cast<long long>(hour) * 60 + minute - offset;
    int dayShift = 0;
    if (total < 0) {
        dayShift = -1;
        total += 1440;
    } else if (total > 1439) {
        dayShift = 1;
        total -= 1440;
    }
    if (dayShift != 0) {
        // The date moves through the day count; a date that has none (30 February) keeps its fields.
        double days = TimeToDays(t);
        if (days != 0.0) {
            uint16_t keepSecond = t.Second;
            DaysToTime(std::trunc(days) + dayShift, t);
            t.Second = keepSecond;
        }
    }
    t.Hour = static_cast<uint16_t>(total / 60);
    t.Minute = static_cast<uint16_t>(total % 60);
    out = t;
    return true;
}

void DateParser::FormatHttpDate(const CalendarTime &time, StringBuffer &out) const {
    FormatHttpDate(time, LocalBiasMinutes(), out);
}

void DateParser::FormatHttpDate(const CalendarTime &time, int32_t biasMinutes, StringBuffer &out) const {
    const char *dayName = kWriteDays[time.DayOfWeek > 6 ? 0 : time.DayOfWeek];
    const char *monthName = kWriteMonths[(time.Month == 0 || time.Month > 12) ? 0 : time.Month - 1];
    int absBias = biasMinutes < 0 ? -biasMinutes : biasMinutes;
    char text[96];
    std::snprintf(text, sizeof(text), "%s, %02d %s %d %02d:%02d:%02d %+.2d%.2d", dayName, time.Day, monthName,
                  time.Year, time.Hour, time.Minute, time.Second, biasMinutes / -60, absBias % 60);
    out.SetString(text);
}

double DateParser::TimeToDays(const CalendarTime &time) const {
    int year = time.Year;
    int month = time.Month;
    // Years below 100 lie before the first day the count can hold (and DaysToTime accepts).
    if (year < 100 || year > 9999 || month < 1 || month > 12 || time.Day == 0 ||
        time.Day > DaysInMonth(year, month) || time.Hour > 23 || time.Minute > 59 || time.Second > 59) {
        return 0.0;
    }
    long days = 365L * year + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + time.Day;
    if (month <= 2 && IsLeapYear(year)) {
        --days;
    }
    days -= 693959L;
    double fraction = (time.Hour * 3600.0 + time.Minute * 60.0 + time.Second) / 86400.0;
    return days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
}

void DateParser::DaysToTime(double days, CalendarTime &out) const {
    if (!(days >= kMinDays && days <= kMaxDays)) {
        CurrentUtcTime(out);
        return;
    }
    const double halfSecond = 0.5 / 86400.0;
    days += days < 0 ? -halfSecond : halfSecond;
    double whole = std::trunc(days);
    double fraction = std::fabs(days - whole);
    long wholeDays = static_cast<long>(whole);

    CalendarTime t;
    t.DayOfWeek = static_cast<uint16_t>((wholeDays + 693958L) % 7);

    // Days since 1 January of the year 1, split into the Gregorian cycles.
    long n = wholeDays + 693593L;
    long cycles400 = n / 146097;
    n %= 146097;
    long cycles100 = n / 36524;
    if (cycles100 == 4) {
        cycles100 = 3;
    }
    n -= cycles100 * 36524;
    long cycles4 = n / 1461;
    n %= 1461;
    long years = n / 365;
    if (years == 4) {
        years = 3;
    }
    n -= years * 365;
    int year = static_cast<int>(400 * cycles400 + 100 * cycles100 + 4 * cycles4 + years + 1);
    int dayOfYear = static_cast<int>(n); // 0-based
    int month = 1;
    while (month < 12) {
        int before = kDaysBeforeMonth[month] + ((month >= 2 && IsLeapYear(year)) ? 1 : 0);
        if (dayOfYear < before) {
            break;
        }
        ++month;
    }
    int monthStart = kDaysBeforeMonth[month - 1] + ((month > 2 && IsLeapYear(year)) ? 1 : 0);
    t.Year = static_cast<uint16_t>(year);
    t.Month = static_cast<uint16_t>(month);
    t.Day = static_cast<uint16_t>(dayOfYear - monthStart + 1);

    long seconds = static_cast<long>(fraction * 86400.0);
    if (seconds > 86399) {
        seconds = 86399;
    }
    t.Hour = static_cast<uint16_t>(seconds / 3600);
    t.Minute = static_cast<uint16_t>(seconds / 60 % 60);
    t.Second = static_cast<uint16_t>(seconds % 60);
    t.Milliseconds = 0;
    out = t;
}

void DateParser::CurrentUtcTime(CalendarTime &out) {
    platform::WallTime wall;
    platform::CurrentUtcTime(wall);
    FromWallTime(wall, out);
}

void DateParser::CurrentLocalTime(CalendarTime &out) {
    platform::WallTime wall;
    platform::CurrentLocalTime(wall);
    FromWallTime(wall, out);
}

int32_t DateParser::LocalBiasMinutes() {
    return platform::LocalBiasMinutes();
}

void DateParser::FormatDays(double days, StringBuffer &out) const {
    CalendarTime t;
    DaysToTime(days, t);
    FormatHttpDate(t, out);
}

} // namespace vantry
