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

// Zone names and their offsets in minutes east of UTC (RFC 5322 section 4.3, with "utc").
struct ZoneOffset {
    const char *name;
    int minutes;
};
constexpr ZoneOffset kZones[] = {{"ut", 0},        {"utc", 0},       {"gmt", 0},       {"z", 0},
                                 {"est", -5 * 60}, {"edt", -4 * 60}, {"cst", -6 * 60}, {"cdt", -5 * 60},
                                 {"mst", -7 * 60}, {"mdt", -6 * 60}, {"pst", -8 * 60}, {"pdt", -7 * 60},
                                 {"a", -1 * 60},   {"m", -12 * 60},  {"n", 1 * 60},    {"y", 12 * 60}};

constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958465.0;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    int days = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1];
    return (month == 2 && IsLeapYear(year)) ? days + 1 : days;
}

// The fields a date text names, before they are checked and moved to UTC.
struct DateFields {
    int day = 0, month = 0, year = 0;
    int hour = 0, minute = 0, second = 0;
    int offsetMinutes = 0; // east of UTC
};

// A cursor over the lower-cased text with the small readers the date forms are built from.
class DateCursor {
public:
    explicit DateCursor(const char *text) : m_p(text) {}

    bool AtEnd() const { return *m_p == '\0'; }
    bool AtDigit() const { return ascii::IsDigit(*m_p); }
    bool AtLetter() const { return ascii::IsLower(*m_p); }
    char Peek() const { return *m_p; }
    void Skip() { ++m_p; }

    void SkipBlanks() {
        while (ascii::IsSpaceOrTab(*m_p))
            ++m_p;
    }
    // Blanks, and one of the separators ',' or '-' among them.
    void SkipSeparator(char separator) {
        SkipBlanks();
        if (*m_p == separator) {
            ++m_p;
            SkipBlanks();
        }
    }
    // A run of letters (at most 15).
    bool Word(char (&word)[16]) {
        size_t n = 0;
        while (AtLetter()) {
            if (n == sizeof word - 1)
                return false;
            word[n++] = *m_p++;
        }
        word[n] = '\0';
        return n > 0;
    }
    // A run of digits, its value and how many there were (at most 4).
    bool Number(int minDigits, int maxDigits, int &value, int *count = nullptr) {
        int n = 0;
        value = 0;
        while (AtDigit()) {
            if (n == maxDigits)
                return false;
            value = value * 10 + (*m_p++ - '0');
            ++n;
        }
        if (count != nullptr)
            *count = n;
        return n >= minDigits;
    }
    // "h:m:s" or "h:m", one or two digits each.
    bool Time(DateFields &f) {
        if (!Number(1, 2, f.hour) || *m_p != ':')
            return false;
        ++m_p;
        if (!Number(1, 2, f.minute))
            return false;
        f.second = 0;
        if (*m_p == ':') {
            ++m_p;
            return Number(1, 2, f.second);
        }
        return true;
    }

private:
    const char *m_p;
};

int MonthOf(const char *word) {
    if (std::strlen(word) < 3)
        return 0;
    for (const auto *table : {kParseMonths, kParseMonthsAlt})
        for (int i = 0; i < 12; ++i)
            if (std::strncmp(word, table[i], 3) == 0)
                return i + 1;
    return 0;
}

bool IsDayName(const char *word) {
    if (std::strlen(word) < 3)
        return false;
    for (const char *day : kParseDays)
        if (std::strncmp(word, day, 3) == 0)
            return true;
    return false;
}

// The zone after the time: a name of the table, or an offset "+hhmm", "-hh:mm", "+h" (a bare number
// counts as east of UTC). Nothing at all is GMT; an unknown name fails. What follows it is not read.
bool ReadZone(DateCursor &c, DateFields &f) {
    c.SkipBlanks();
    if (c.AtLetter()) {
        char word[16];
        if (!c.Word(word))
            return false;
        for (const ZoneOffset &zone : kZones) {
            if (std::strcmp(word, zone.name) == 0) {
                f.offsetMinutes = zone.minutes;
                return true;
            }
        }
        return false;
    }
    bool negative = c.Peek() == '-';
    if (c.Peek() == '-' || c.Peek() == '+')
        c.Skip();
    else if (!c.AtDigit())
        return true; // no zone: GMT
    int digits = 0, value = 0, hours = 0, minutes = 0;
    if (!c.Number(1, 4, value, &digits))
        return false;
    if (digits == 4) {
        hours = value / 100;
        minutes = value % 100;
    } else if (digits <= 2 && c.Peek() == ':') {
        c.Skip();
        hours = value;
        if (!c.Number(2, 2, minutes))
            return false;
    } else if (digits <= 2) {
        hours = value;
    } else {
        return false;
    }
    if (hours > 23 || minutes > 59)
        return false;
    f.offsetMinutes = (negative ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// "06 Nov 1994", "06-Nov-94", "06-Nov-1994": the day, the month name and the year, then the time and zone.
bool ReadDayFirst(DateCursor &c, DateFields &f) {
    char month[16];
    if (!c.Number(1, 2, f.day))
        return false;
    c.SkipSeparator('-');
    if (!c.Word(month) || (f.month = MonthOf(month)) == 0)
        return false;
    c.SkipSeparator('-');
    if (!c.Number(2, 4, f.year))
        return false;
    c.SkipBlanks();
    return c.Time(f) && ReadZone(c, f);
}

// The asctime form "Nov  6 08:49:37 1994" (the weekday already read), with a zone before or after
// the year for the variants that carry one.
bool ReadMonthFirst(DateCursor &c, DateFields &f) {
    char month[16];
    if (!c.Word(month) || (f.month = MonthOf(month)) == 0)
        return false;
    c.SkipBlanks();
    if (!c.Number(1, 2, f.day))
        return false;
    c.SkipBlanks();
    if (!c.Time(f))
        return false;
    c.SkipBlanks();
    if (c.AtDigit())
        return c.Number(4, 4, f.year) && ReadZone(c, f);
    return ReadZone(c, f) && (c.SkipBlanks(), c.Number(4, 4, f.year));
}

// Two-digit years as RFC 6265 reads them: 70 to 99 are 19xx, 0 to 69 are 20xx. Then the fields must
// name a real moment: a year from 1601 to 9999, a day the month has, a time of day (a leap second 60
// is taken as 59).
bool CheckFields(DateFields &f) {
    if (f.year < 70)
        f.year += 2000;
    else if (f.year < 100)
        f.year += 1900;
    if (f.second == 60)
        f.second = 59;
    return f.year >= 1601 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= DaysInMonth(f.year, f.month) && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
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

    // An optional weekday ("sun", "sunday", with or without a comma), then the day first (IMF-fixdate,
    // RFC 850, the cookie form) or the month first (asctime).
    DateCursor c(copy);
    c.SkipBlanks();
    DateCursor afterWeekday = c;
    char word[16];
    if (c.AtLetter() && c.Word(word) && IsDayName(word)) {
        c.SkipSeparator(',');
        afterWeekday = c;
    }
    c = afterWeekday;
    DateFields f;
    bool read = c.AtDigit() ? ReadDayFirst(c, f) : ReadMonthFirst(c, f);
    if (!read || !CheckFields(f)) {
        return false;
    }

    // To UTC: a zone east of UTC is ahead, so its offset is subtracted; the date moves through the day
    // count, which also gives the weekday.
    CalendarTime date;
    date.Year = static_cast<uint16_t>(f.year);
    date.Month = static_cast<uint16_t>(f.month);
    date.Day = static_cast<uint16_t>(f.day);
    long dayNumber = static_cast<long>(TimeToDays(date));
    long minutes = static_cast<long>(f.hour) * 60 + f.minute - f.offsetMinutes;
    if (minutes < 0) {
        minutes += 1440;
        --dayNumber;
    } else if (minutes >= 1440) {
        minutes -= 1440;
        ++dayNumber;
    }
    if (dayNumber < kMinDays || dayNumber > kMaxDays) {
        return false;
    }
    CalendarTime t;
    DaysToTime(static_cast<double>(dayNumber), t);
    t.Hour = static_cast<uint16_t>(minutes / 60);
    t.Minute = static_cast<uint16_t>(minutes % 60);
    t.Second = static_cast<uint16_t>(f.second);
    t.Milliseconds = 0;
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
