// HTTP date parsing and formatting, and the day-count conversions.
#include "http/DateParser.h"

#include "core/StringBuffer.h"

bool DateParser::ParseHttpDate(const char *, CalendarTime &) const {
    return false;
}
void DateParser::FormatHttpDate(const CalendarTime &, StringBuffer &out) const {
    out.Clear();
}
void DateParser::FormatHttpDate(const CalendarTime &, int32_t, StringBuffer &out) const {
    out.Clear();
}
double DateParser::TimeToDays(const CalendarTime &) const {
    return 0;
}
void DateParser::DaysToTime(double, CalendarTime &out) const {
    out = CalendarTime{};
}
void DateParser::CurrentUtcTime(CalendarTime &out) {
    out = CalendarTime{};
}
void DateParser::CurrentLocalTime(CalendarTime &out) {
    out = CalendarTime{};
}
int32_t DateParser::LocalBiasMinutes() {
    return 0;
}
