// Cookie dates: the token scan that reads the many date forms servers put in "Expires", the
// calendar arithmetic (civil dates to and from day numbers) and the form written to cookie files.
#include "http/CookieDate.h"

#include <cstdio>

#include "core/AsciiText.h"

namespace vantry {

namespace {

constexpr const char *kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char *kDayNames[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"}; // from 1970-01-01

// The bytes that separate the tokens of a cookie date.
bool IsDelimiter(unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

// Reads minDigits to maxDigits digits at pos; the digit run must end there (end of token or a
// non-digit). The value goes to out and pos moves past the digits.
bool ReadNumber(std::string_view token, size_t &pos, size_t minDigits, size_t maxDigits, int32_t &out) {
    size_t start = pos;
    int32_t value = 0;
    while (pos < token.size() && ascii::IsDigit(token[pos]) && pos - start < maxDigits) {
        value = value * 10 + (token[pos] - '0');
        ++pos;
    }
    size_t count = pos - start;
    if (count < minDigits || (pos < token.size() && ascii::IsDigit(token[pos])))
        return false;
    out = value;
    return true;
}

// A token that starts with minDigits to maxDigits digits followed by nothing or a non-digit.
bool MatchLeadingNumber(std::string_view token, size_t minDigits, size_t maxDigits, int32_t &out) {
    size_t pos = 0;
    return ReadNumber(token, pos, minDigits, maxDigits, out);
}

// time = 1*2DIGIT ":" 1*2DIGIT ":" 1*2DIGIT [ non-digit *OCTET ]
bool MatchTime(std::string_view token, int32_t &hour, int32_t &minute, int32_t &second) {
    size_t pos = 0;
    int32_t h = 0, m = 0, s = 0;
    if (!ReadNumber(token, pos, 1, 2, h) || pos >= token.size() || token[pos++] != ':')
        return false;
    if (!ReadNumber(token, pos, 1, 2, m) || pos >= token.size() || token[pos++] != ':')
        return false;
    if (!ReadNumber(token, pos, 1, 2, s))
        return false;
    hour = h;
    minute = m;
    second = s;
    return true;
}

// month = ( "jan" / ... / "dec" ) *OCTET, letters in any case.
bool MatchMonth(std::string_view token, int32_t &month) {
    if (token.size() < 3)
        return false;
    for (int i = 0; i < 12; ++i) {
        if (ascii::EqualsNoCase(token.substr(0, 3), kMonths[i])) {
            month = i + 1;
            return true;
        }
    }
    return false;
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t DaysInMonth(int64_t year, int32_t month) {
    static constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The inverse of DaysFromCivil.
void CivilFromDays(int64_t days, int64_t &year, int32_t &month, int32_t &day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int32_t>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

bool ParseCookieDate(std::string_view text, int64_t &unixSeconds) {
    bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
    int32_t hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        size_t start = pos;
        while (pos < text.size() && !IsDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        std::string_view token = text.substr(start, pos - start);
        if (token.empty())
            continue;
        if (!foundTime && MatchTime(token, hour, minute, second))
            foundTime = true;
        else if (!foundDay && MatchLeadingNumber(token, 1, 2, day))
            foundDay = true;
        else if (!foundMonth && MatchMonth(token, month))
            foundMonth = true;
        else if (!foundYear && MatchLeadingNumber(token, 2, 4, year))
            foundYear = true;
    }
    if (!foundTime || !foundDay || !foundMonth || !foundYear)
        return false;
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year >= 0 && year <= 69)
        year += 2000;
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59)
        return false;
    if (day > DaysInMonth(year, month))
        return false; // no such date
    unixSeconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string FormatCookieDate(int64_t unixSeconds) {
    const int64_t earliest = DaysFromCivil(1601, 1, 1) * 86400;
    const int64_t latest = DaysFromCivil(9999, 12, 31) * 86400 + 86399;
    if (unixSeconds < earliest)
        unixSeconds = earliest;
    if (unixSeconds > latest)
        unixSeconds = latest;
    int64_t days = unixSeconds >= 0 ? unixSeconds / 86400 : -((-unixSeconds + 86399) / 86400);
    int64_t secondOfDay = unixSeconds - days * 86400;
    int64_t year = 0;
    int32_t month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    int64_t weekday = ((days % 7) + 7) % 7;
    char text[64];
    std::snprintf(text, sizeof(text), "%s, %02d %s %04lld %02lld:%02lld:%02lld GMT", kDayNames[weekday], day,
                  kMonthNames[month - 1], static_cast<long long>(year),
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return text;
}

} // namespace vantry
