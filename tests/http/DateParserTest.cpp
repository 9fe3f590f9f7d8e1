// Tests of DateParser: the date forms of HTTP and cookies and their zones, the move to UTC across
// midnight, what is refused, the written form with its zone suffix, and the day-count conversions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/StringBuffer.h"
#include "http/DateParser.h"

using namespace vantry;

namespace {

CalendarTime Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int dow = 0) {
    CalendarTime t;
    t.Year = static_cast<uint16_t>(y);
    t.Month = static_cast<uint16_t>(mo);
    t.Day = static_cast<uint16_t>(d);
    t.Hour = static_cast<uint16_t>(h);
    t.Minute = static_cast<uint16_t>(mi);
    t.Second = static_cast<uint16_t>(s);
    t.DayOfWeek = static_cast<uint16_t>(dow);
    return t;
}

// "YYYY-MM-DD hh:mm:ss" of a parse, or "FAIL".
std::string Parsed(const char *text) {
    DateParser dp;
    CalendarTime t;
    if (!dp.ParseHttpDate(text, t)) {
        return "FAIL";
    }
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return buf;
}

std::string Formatted(const CalendarTime &t, int bias) {
    DateParser dp;
    StringBuffer out("old text");
    dp.FormatHttpDate(t, bias, out);
    return std::string(out.View());
}

} // namespace

TEST(DateParser, ParsesRfc1123GmtWithDayOfWeek) {
    DateParser dp;
    CalendarTime t;
    ASSERT_TRUE(dp.ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", t));
    EXPECT_EQ(t.Year, 1994);
    EXPECT_EQ(t.Month, 11);
    EXPECT_EQ(t.Day, 6);
    EXPECT_EQ(t.Hour, 8);
    EXPECT_EQ(t.Minute, 49);
    EXPECT_EQ(t.Second, 37);
    EXPECT_EQ(t.DayOfWeek, 0);
    EXPECT_EQ(t.Milliseconds, 0);
    ASSERT_TRUE(dp.ParseHttpDate("  Thu, 10 Feb 2000 01:02:03 GMT", t));
    EXPECT_EQ(t.DayOfWeek, 4);
}

TEST(DateParser, NamedZonesAndNumericOffsetsMoveToUtc) {
    EXPECT_EQ(Parsed("06 Nov 1994 08:49 EST"), "1994-11-06 13:49:00");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 PDT"), "1994-11-06 15:49:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 +0130"), "1994-11-06 07:19:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 -05:30"), "1994-11-06 14:19:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 3"), "1994-11-06 05:49:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 y"), "1994-11-05 20:49:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 UTC"), "1994-11-06 08:49:37");
    EXPECT_EQ(Parsed("Sun, 06 Nov 1994 08:49:37 +0000 (UTC)"), "1994-11-06 08:49:37");
}

TEST(DateParser, NegativeOffsetCrossesMidnightIntoTheNextYear) {
    EXPECT_EQ(Parsed("Mon, 31 Dec 2007 23:30:00 -0100"), "2008-01-01 00:30:00");
    DateParser dp;
    CalendarTime t;
    ASSERT_TRUE(dp.ParseHttpDate("Mon, 31 Dec 2007 23:30:00 -0100", t));
    EXPECT_EQ(t.DayOfWeek, 2); // the weekday follows the moved date
}

TEST(DateParser, PositiveOffsetCrossesMidnightIntoThePreviousYear) {
    EXPECT_EQ(Parsed("Tue, 01 Jan 2008 00:15:00 +0100"), "2007-12-31 23:15:00");
    EXPECT_EQ(Parsed("Sat, 01 Mar 2008 00:15:00 +0100"), "2008-02-29 23:15:00");
}

TEST(DateParser, SecondMonthTableAndTwoDigitYearsByTheCookieRule) {
    EXPECT_EQ(Parsed("12 Okt 99 10:00:00"), "1999-10-12 10:00:00");
    EXPECT_EQ(Parsed("01 Dez 49 10:00:00 GMT"), "2049-12-01 10:00:00");
    EXPECT_EQ(Parsed("01 mai 50 10:00:00 GMT"), "2050-05-01 10:00:00");
    EXPECT_EQ(Parsed("Sunday, 06-Nov-69 08:49:37 GMT"), "2069-11-06 08:49:37");
    EXPECT_EQ(Parsed("Thursday, 01-Jan-70 00:00:00 GMT"), "1970-01-01 00:00:00");
    EXPECT_EQ(Parsed("Sat, 01 Jan 00 00:00:00 GMT"), "2000-01-01 00:00:00");
}

TEST(DateParser, AcceptsTheThreeFormsOfHttpAndTheCookieForm) {
    // IMF-fixdate, RFC 850 and asctime (RFC 9110 section 5.6.7), and the cookie date of RFC 6265.
    for (const char *text :
         {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
          "Sun, 06-Nov-1994 08:49:37 GMT", "Sun Nov 6 08:49:37 1994", "sunday, 06-nov-94 08:49:37 gmt",
          "Sun Nov  6 08:49:37 1994 GMT", "Sun Nov  6 08:49:37 GMT 1994", "Nov  6 08:49:37 1994",
          "6 Nov 1994 8:49:37 GMT"}) {
        EXPECT_EQ(Parsed(text), "1994-11-06 08:49:37") << text;
    }
    EXPECT_EQ(Parsed("Thu, 01-Jan-1970 00:00:01 GMT"), "1970-01-01 00:00:01");
    EXPECT_EQ(Parsed("Wed Feb 29 23:30:00 2012"), "2012-02-29 23:30:00");
}

TEST(DateParser, WeekdayComesFromTheDateWhateverTheTextSays) {
    DateParser dp;
    CalendarTime t;
    ASSERT_TRUE(dp.ParseHttpDate("06 Nov 1994 08:49:37 GMT", t));
    EXPECT_EQ(t.DayOfWeek, 0);
    ASSERT_TRUE(dp.ParseHttpDate("Fri, 06 Nov 1994 08:49:37 GMT", t));
    EXPECT_EQ(t.DayOfWeek, 0);
    ASSERT_TRUE(dp.ParseHttpDate("Tue Feb 29 12:00:00 2000", t));
    EXPECT_EQ(t.DayOfWeek, 2);
}

TEST(DateParser, RefusesImpossibleMomentsUnknownZonesAndIncompleteTexts) {
    for (const char *text :
         {// impossible times and days
          "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 23:60:59 GMT", "Sun, 06 Nov 1994 23:59:61 GMT",
          "Sun, 00 Nov 1994 08:49:37 GMT", "30 Feb 2005 10:00:00 GMT", "29 Feb 1900 10:00:00 GMT",
          "31 Apr 2000 10:00:00 GMT", "32 Jan 2000 10:00:00 GMT", "06 Nov 1994 2147483647:2147483647:1",
          "06 Nov 1994 -1:00:00 GMT", "06 Nov 1600 10:00:00 GMT", "06 Nov 10000 10:00:00 GMT",
          "06 Nov 994 10:00:00 GMT", "06 Nov 1994 08:49:37 +2400", "06 Nov 1994 08:49:37 -0160",
          "06 Nov 1994 08:49:37 -2147483647", "Fri, 31 Dec 9999 23:59:59 -0100",
          // zone names we do not know
          "Sun, 06 Nov 1994 08:49:37 CET", "Sun, 06 Nov 1994 08:49:37 gmtx", "Sun, 06 Nov 1994 08:49:37 B",
          // incomplete or not a date
          "", " \t ", "Sun,", "06 Nov 1994", "06 Xyz 1994 08:49:37 GMT", "garbage", "Sun Nov  6 1994",
          "Sun Nov  6 08:49:37", "06 Nov 1994 08 GMT", "06 Nov 1994 08:", "0 1994 08:49:37"}) {
        EXPECT_EQ(Parsed(text), "FAIL") << text;
    }
    DateParser dp;
    CalendarTime t = Make(2001, 2, 3);
    EXPECT_FALSE(dp.ParseHttpDate(nullptr, t));
    EXPECT_FALSE(dp.ParseHttpDate("garbage", t));
    EXPECT_FALSE(dp.ParseHttpDate("30 Feb 2005 10:00:00 GMT", t));
    EXPECT_EQ(t.Year, 2001); // untouched on failure
}

TEST(DateParser, LeapSecondIsTakenAsTheLastSecondOfItsMinute) {
    EXPECT_EQ(Parsed("Sat, 31 Dec 2016 23:59:60 GMT"), "2016-12-31 23:59:59");
}

TEST(DateParser, EveryParsedDateHasADayCount) {
    DateParser dp;
    CalendarTime t;
    for (const char *text : {"Mon, 01 Jan 1601 00:30:00 +0100", "Fri, 31 Dec 9999 23:59:59 GMT",
                             "Sun, 06 Nov 1994 08:49:37 -2359"}) {
        ASSERT_TRUE(dp.ParseHttpDate(text, t)) << text;
        EXPECT_NE(dp.TimeToDays(t), 0.0) << text;
    }
    ASSERT_TRUE(dp.ParseHttpDate("Mon, 01 Jan 1601 00:30:00 +0100", t));
    EXPECT_EQ(t.Year, 1600);
    EXPECT_EQ(t.Day, 31);
    EXPECT_EQ(t.Hour, 23);
}

TEST(DateParser, OnlyTheFirst199CharactersAreRead) {
    std::string text = "Sun, 06 Nov 1994 08:49:37";
    std::string padded = text + std::string(199 - text.size() - 1, ' ') + " +0100";
    EXPECT_EQ(Parsed(padded.c_str()), "1994-11-06 08:49:37"); // the zone lies beyond the copy
}

TEST(DateParser, FormatsWithTheGivenBiasAsZoneSuffix) {
    CalendarTime t = Make(2005, 8, 16, 14, 5, 9, 2);
    EXPECT_EQ(Formatted(t, -120), "Tue, 16 Aug 2005 14:05:09 +0200");
    EXPECT_EQ(Formatted(t, 300), "Tue, 16 Aug 2005 14:05:09 -0500");
    EXPECT_EQ(Formatted(t, 0), "Tue, 16 Aug 2005 14:05:09 +0000");
    EXPECT_EQ(Formatted(t, -330), "Tue, 16 Aug 2005 14:05:09 +0530");
    EXPECT_EQ(Formatted(t, 210), "Tue, 16 Aug 2005 14:05:09 -0330");
}

TEST(DateParser, FormatTakesOutOfRangeNamesAsSundayAndJanuary) {
    EXPECT_EQ(Formatted(Make(2005, 0, 1, 0, 0, 0, 7), 0), "Sun, 01 Jan 2005 00:00:00 +0000");
    EXPECT_EQ(Formatted(Make(2005, 13, 1, 0, 0, 0, 6), 0), "Sat, 01 Jan 2005 00:00:00 +0000");
}

TEST(DateParser, FormatWithoutBiasUsesTheMachineOffset) {
    DateParser dp;
    CalendarTime t = Make(2005, 8, 16, 14, 5, 9, 2);
    StringBuffer local;
    dp.FormatHttpDate(t, local);
    EXPECT_EQ(std::string(local.View()), Formatted(t, DateParser::LocalBiasMinutes()));
}

TEST(DateParser, FormatOnAMachineTwoHoursEastOfUtcWritesPlus0200) {
    const char *old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "XST-2", 1); // a zone two hours east of UTC all year
    tzset();
    DateParser dp;
    StringBuffer out;
    dp.FormatHttpDate(Make(2005, 8, 16, 14, 5, 9, 2), out);
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_STREQ(out.Text(), "Tue, 16 Aug 2005 14:05:09 +0200");
}

TEST(DateParser, TimeToDaysOfKnownDates) {
    DateParser dp;
    EXPECT_EQ(dp.TimeToDays(Make(1899, 12, 30)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(1900, 1, 1)), 2.0);
    EXPECT_EQ(dp.TimeToDays(Make(2005, 8, 16)), 38580.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 3, 1)), 36586.0);
    EXPECT_DOUBLE_EQ(dp.TimeToDays(Make(2005, 8, 16, 18)), 38580.75);
    EXPECT_EQ(dp.TimeToDays(Make(9999, 12, 31)), 2958465.0);
    EXPECT_EQ(dp.TimeToDays(Make(100, 1, 1)), -657434.0);
}

TEST(DateParser, TimeBeforeDayZeroCountsItsFractionAwayFromZero) {
    DateParser dp;
    EXPECT_DOUBLE_EQ(dp.TimeToDays(Make(1899, 12, 29, 6)), -1.25);
    CalendarTime t;
    dp.DaysToTime(-1.25, t);
    EXPECT_EQ(t.Year, 1899);
    EXPECT_EQ(t.Month, 12);
    EXPECT_EQ(t.Day, 29);
    EXPECT_EQ(t.Hour, 6);
}

TEST(DateParser, TimeToDaysRejectsInvalidFields) {
    DateParser dp;
    EXPECT_EQ(dp.TimeToDays(Make(10000, 1, 1)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(99, 12, 31)), 0.0); // before the first day of the count
    EXPECT_EQ(dp.TimeToDays(Make(6, 11, 6)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 0, 1)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 13, 1)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 1, 0)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(1900, 2, 29)), 0.0); // not a leap year
    EXPECT_NE(dp.TimeToDays(Make(2000, 2, 29)), 0.0); // a leap year
    EXPECT_NE(dp.TimeToDays(Make(2004, 2, 29)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 4, 31)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 1, 1, 24)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 1, 1, 0, 60)), 0.0);
    EXPECT_EQ(dp.TimeToDays(Make(2000, 1, 1, 0, 0, 60)), 0.0);
}

TEST(DateParser, DaysToTimeOfTheLastDayIsAFriday) {
    DateParser dp;
    CalendarTime t;
    dp.DaysToTime(2958465.0, t);
    EXPECT_EQ(t.Year, 9999);
    EXPECT_EQ(t.Month, 12);
    EXPECT_EQ(t.Day, 31);
    EXPECT_EQ(t.DayOfWeek, 5);
    dp.DaysToTime(0.0, t);
    EXPECT_EQ(t.Year, 1899);
    EXPECT_EQ(t.DayOfWeek, 6);
}

TEST(DateParser, DaysToTimeRoundsToTheNearestSecond) {
    DateParser dp;
    CalendarTime t;
    dp.DaysToTime(38580.0 + 59.9 / 86400.0, t);
    EXPECT_EQ(t.Minute, 1);
    EXPECT_EQ(t.Second, 0);
    dp.DaysToTime(38580.0 + 86399.7 / 86400.0, t);
    EXPECT_EQ(t.Day, 17);
    EXPECT_EQ(t.Hour, 0);
}

TEST(DateParser, DaysToTimeOutOfRangeGivesTheCurrentUtcTime) {
    DateParser dp;
    CalendarTime now;
    DateParser::CurrentUtcTime(now);
    CalendarTime t;
    dp.DaysToTime(2958466.0, t);
    EXPECT_GE(t.Year, now.Year);
    EXPECT_LE(t.Year, now.Year + 1);
    dp.DaysToTime(-700000.0, t);
    EXPECT_GE(t.Year, now.Year);
}

TEST(DateParser, DayCountRoundTripsEveryDayAcrossCenturyAndLeapBoundaries) {
    DateParser dp;
    for (double d = -657434.0; d <= 2958465.0; d += 997.0) {
        CalendarTime t;
        dp.DaysToTime(d, t);
        ASSERT_EQ(dp.TimeToDays(t), d) << d;
    }
    for (double d = 36500.0; d <= 37600.0; d += 1.0) { // 1999 to 2002, through 29 Feb 2000
        CalendarTime t;
        dp.DaysToTime(d + 0.5, t);
        ASSERT_DOUBLE_EQ(dp.TimeToDays(t), d + 0.5) << d;
        ASSERT_EQ(t.Hour, 12);
    }
}
