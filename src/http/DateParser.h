// HTTP dates: parsing header dates into UTC calendar times, writing them with the local zone suffix,
// and the OLE Automation day count (days since 30 December 1899) used for all date arithmetic.
#pragma once
#include <cstdint>

namespace vantry {

class StringBuffer;

// A calendar time as the platform's SYSTEMTIME record: eight unsigned 16-bit fields in this order.
struct CalendarTime {
    uint16_t Year = 0;
    uint16_t Month = 0;     // 1 to 12
    uint16_t DayOfWeek = 0; // 0 = Sunday
    uint16_t Day = 0;       // 1 to 31
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint16_t Milliseconds = 0;
};

class DateParser {
public:
    DateParser() = default;
    virtual ~DateParser() = default;

    // Parses an RFC 1123 style date ("Sun, 06 Nov 1994 08:49:37 GMT") into UTC; false leaves out untouched.
    bool ParseHttpDate(const char *text, CalendarTime &out) const;
    // "Sun, 06 Nov 1994 08:49:37 +0100": the time as given, the suffix from the machine's local offset.
    void FormatHttpDate(const CalendarTime &time, StringBuffer &out) const;
    // The same with an explicit bias in minutes (UTC = local + bias), e.g. -120 gives "+0200".
    void FormatHttpDate(const CalendarTime &time, int32_t biasMinutes, StringBuffer &out) const;
    // Day count of a calendar time; 0 for an invalid one.
    double TimeToDays(const CalendarTime &time) const;
    // Calendar time of a day count; a count outside -657434 to 2958465 gives the current UTC time.
    void DaysToTime(double days, CalendarTime &out) const;
    // FormatHttpDate of the calendar time of a day count.
    void FormatDays(double days, StringBuffer &out) const;

    // The current time, in UTC and in the machine's local zone.
    static void CurrentUtcTime(CalendarTime &out);
    static void CurrentLocalTime(CalendarTime &out);
    // The machine's current bias in minutes (UTC = local + bias), daylight saving included.
    static int32_t LocalBiasMinutes();
};

} // namespace vantry
