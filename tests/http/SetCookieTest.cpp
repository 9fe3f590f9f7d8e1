// Tests of Set-Cookie parsing (name and value, attributes, what makes a whole value ignored), of the
// Set-Cookie values taken from a raw response head, and of cookie dates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/CookieDate.h"
#include "http/SetCookie.h"

using namespace vantry;

namespace {

SetCookie Parsed(std::string_view text) {
    SetCookie c;
    EXPECT_TRUE(ParseSetCookie(text, c)) << text;
    return c;
}

bool Ignored(std::string_view text) {
    SetCookie c;
    return !ParseSetCookie(text, c);
}

int64_t Date(std::string_view text) {
    int64_t seconds = -1;
    EXPECT_TRUE(ParseCookieDate(text, seconds)) << text;
    return seconds;
}

bool DateFails(std::string_view text) {
    int64_t seconds = 0;
    return !ParseCookieDate(text, seconds);
}

std::vector<std::string> Values(const std::string &head) {
    std::vector<std::string> out;
    CollectSetCookieValues(head, out);
    return out;
}

} // namespace

TEST(SetCookieParse, NameAndValueSplitAtTheFirstEqualsAndTrimmedOfSpacesAndTabs) {
    SetCookie c = Parsed(" \ta = b=c \t; path=/");
    EXPECT_EQ(c.Name, "a");
    EXPECT_EQ(c.Value, "b=c");
    c = Parsed("a b=\"x y\"");
    EXPECT_EQ(c.Name, "a b");
    EXPECT_EQ(c.Value, "\"x y\"");
}

TEST(SetCookieParse, APairWithoutEqualsIsANamelessCookie) {
    SetCookie c = Parsed("foo; path=/");
    EXPECT_EQ(c.Name, "");
    EXPECT_EQ(c.Value, "foo");
    c = Parsed("=a=bar");
    EXPECT_EQ(c.Name, "");
    EXPECT_EQ(c.Value, "a=bar");
    c = Parsed("x=");
    EXPECT_EQ(c.Name, "x");
    EXPECT_EQ(c.Value, "");
}

TEST(SetCookieParse, EmptyNameAndValueIgnoreTheWholeValue) {
    for (const char *text : {"", "=", " = ", "; path=/", "  \t", ";a=b"})
        EXPECT_TRUE(Ignored(text)) << text;
}

TEST(SetCookieParse, AControlByteAnywhereIgnoresTheWholeValue) {
    using namespace std::string_literals;
    for (const std::string &text : {"a=b\r\nSet-Cookie: c=d"s, "a=b\nc"s, "a=b\rc"s, "a=b; path=/\x01"s,
                                    "a\0b=c"s, "a=b\x7f"s, "a=b; domain=x\x1f.org"s})
        EXPECT_TRUE(Ignored(text));
    EXPECT_EQ(Parsed("a=b\tc").Value, "b\tc");
}

TEST(SetCookieParse, NoDecodingOfAnyKindIsApplied) {
    EXPECT_EQ(Parsed("a==?utf-8?Q?x=0D=0AGET_/?=").Value, "=?utf-8?Q?x=0D=0AGET_/?=");
    EXPECT_EQ(Parsed("a=%0D%0A").Value, "%0D%0A");
    EXPECT_EQ(Parsed("a=\xE6\x98\xA5\xFF").Value, "\xE6\x98\xA5\xFF");
}

TEST(SetCookieParse, CommasDoNotSplitAValue) {
    SetCookie c = Parsed("a=b, c=d; Expires=Wed, 09 Jun 2021 10:18:14 GMT, x=y");
    EXPECT_EQ(c.Value, "b, c=d");
    EXPECT_TRUE(c.HasExpires);
}

TEST(SetCookieParse, AttributesAreRecognisedByNameInAnyCase) {
    SetCookie c = Parsed("a=b; SeCuRe; HTTPONLY; sAmEsItE=lax; PATH=/x; DoMaIn=Example.ORG; MAX-AGE=5");
    EXPECT_TRUE(c.Secure);
    EXPECT_TRUE(c.HttpOnly);
    EXPECT_EQ(c.SameSite, "Lax");
    EXPECT_EQ(c.Path, "/x");
    EXPECT_EQ(c.Domain, "example.org");
    EXPECT_EQ(c.MaxAgeSeconds, 5);
    // With a value, and with blanks around the name, they still count.
    EXPECT_TRUE(Parsed("a=b; secure=no").Secure);
    EXPECT_TRUE(Parsed("a=b;   Secure    ; qux").Secure);
    EXPECT_FALSE(Parsed("a=b; \"Secure\"").Secure);
    EXPECT_FALSE(Parsed("a=b; Secure qux").Secure);
    EXPECT_EQ(Parsed("a=b; samesite=bogus").SameSite, "Default");
}

TEST(SetCookieParse, UnknownAttributesLeaveNameAndValueAlone) {
    SetCookie c = Parsed("a=b; Version=1; comment=x; foo=bar; flag; port=80");
    EXPECT_EQ(c.Name, "a");
    EXPECT_EQ(c.Value, "b");
    EXPECT_FALSE(c.HasPath);
    EXPECT_FALSE(c.HasDomain);
}

TEST(SetCookieParse, TheLastOccurrenceOfAnAttributeCounts) {
    SetCookie c = Parsed("a=b; path=/x; path=/y; domain=a.org; domain=.B.Org");
    EXPECT_EQ(c.Path, "/y");
    EXPECT_EQ(c.Domain, "b.org");
    // A later Path not starting with "/" means the default path again.
    c = Parsed("a=b; path=/x; path=qux");
    EXPECT_TRUE(c.HasPath);
    EXPECT_EQ(c.Path, "");
    // An empty Domain is left unused, so an earlier one stands.
    EXPECT_EQ(Parsed("a=b; domain=example.org; domain=").Domain, "example.org");
    EXPECT_FALSE(Parsed("a=b; domain=").HasDomain);
    // Only one leading dot goes.
    EXPECT_EQ(Parsed("a=b; domain=..x.org").Domain, ".x.org");
}

TEST(SetCookieParse, MaxAgeIsAnOptionallyNegativeInteger) {
    EXPECT_EQ(Parsed("a=b; max-age=10").MaxAgeSeconds, 10);
    EXPECT_EQ(Parsed("a=b; max-age=-5").MaxAgeSeconds, -5);
    EXPECT_EQ(Parsed("a=b; max-age=0").MaxAgeSeconds, 0);
    EXPECT_GT(Parsed("a=b; max-age=99999999999999999999999").MaxAgeSeconds, 1000000000);
    for (const char *bad : {"1.5", "a", "", "+5", "-", "5s", " 5x"})
        EXPECT_FALSE(Parsed(std::string("a=b; max-age=") + bad).HasMaxAge) << bad;
    // An invalid later Max-Age leaves the earlier one in force.
    EXPECT_EQ(Parsed("a=b; max-age=7; max-age=x").MaxAgeSeconds, 7);
}

TEST(SetCookieParse, AnExpiresThatDoesNotParseIsIgnored) {
    EXPECT_FALSE(Parsed("a=b; expires=tomorrow").HasExpires);
    SetCookie c = Parsed("a=b; expires=Wed, 09 Jun 2021 10:18:14 GMT; expires=soon");
    EXPECT_TRUE(c.HasExpires);
    EXPECT_EQ(c.ExpiresSeconds, 1623233894);
}

TEST(SetCookieParse, SizeLimitsOfPairAndAttributeValues) {
    EXPECT_EQ(Parsed("n=" + std::string(4095, 'v')).Value.size(), 4095u);
    EXPECT_TRUE(Ignored("n=" + std::string(4096, 'v')));
    EXPECT_TRUE(Ignored(std::string(4097, 'n') + "="));
    EXPECT_TRUE(Parsed("a=b; path=/" + std::string(1023, 'p')).HasPath);
    EXPECT_FALSE(Parsed("a=b; path=/" + std::string(1024, 'p')).HasPath);
}

TEST(SetCookieValues, TheSetCookieFieldsOfARawHeadInOrder) {
    EXPECT_EQ(Values("HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX: y\r\nset-cookie:b=2 \r\nSet-Cookie2: c=3\r\n"
                     "X-Set-Cookie: d=4\r\nSET-COOKIE : e=5\r\n\r\n"),
              (std::vector<std::string>{"a=1", "b=2", "e=5"}));
}

TEST(SetCookieValues, BytesAreKeptAsSentAndFoldedLinesJoined) {
    EXPECT_EQ(Values("HTTP/1.1 200 OK\r\nSet-Cookie: a==?utf-8?B?DQo=?=\r\nSet-Cookie: b=\xC3\xA9\r\n"
                     "Set-Cookie: c=1;\r\n path=/x\r\n\r\n"),
              (std::vector<std::string>{"a==?utf-8?B?DQo=?=", "b=\xC3\xA9", "c=1; path=/x"}));
}

TEST(SetCookieValues, ABareLineFeedEndsAFieldAndABareCarriageReturnStaysInIt) {
    std::vector<std::string> v = Values("HTTP/1.1 200 OK\nSet-Cookie: a=1\nInjected: x\r\n"
                                        "Set-Cookie: b=2\rGET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], "a=1");
    EXPECT_EQ(v[1], "b=2\rGET / HTTP/1.1");
    SetCookie c;
    EXPECT_FALSE(ParseSetCookie(v[1], c));
}

TEST(SetCookieValues, TheStatusLineAndTheBodyAreNotFields) {
    EXPECT_TRUE(Values("Set-Cookie: a=1\r\n\r\n").empty());
    EXPECT_TRUE(Values("HTTP/1.1 200 OK\r\n\r\nSet-Cookie: x=1\r\n").empty());
    EXPECT_TRUE(Values("").empty());
}

TEST(CookieDate, TheCommonFormsOfHttpDates) {
    EXPECT_EQ(Date("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(Date("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(Date("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(Date("06 nov 1994 08:49:37"), 784111777);
    EXPECT_EQ(Date("Thu, 01-Jan-1970 00:00:01 GMT"), 1);
    // Junk around the tokens is skipped; the first token of each kind counts.
    EXPECT_EQ(Date("Sun, 06th November 1994 08:49:37xyz GMT+0100 12:00:00 1999"), 784111777);
}

TEST(CookieDate, TwoDigitYears) {
    EXPECT_EQ(Date("1 Jan 70 00:00:00"), 0);
    EXPECT_EQ(Date("31 Dec 99 23:59:59"), DaysFromCivil(1999, 12, 31) * 86400 + 86399);
    EXPECT_EQ(Date("1 Jan 00 00:00:00"), DaysFromCivil(2000, 1, 1) * 86400);
    EXPECT_EQ(Date("1 Jan 69 00:00:00"), DaysFromCivil(2069, 1, 1) * 86400);
}

TEST(CookieDate, OutOfRangeOrMissingPartsFail) {
    for (const char *text :
         {"0 Jan 2000 00:00:00", "32 Jan 2000 00:00:00", "1 Jan 1600 00:00:00", "1 Jan 2000 24:00:00",
          "1 Jan 2000 23:60:00", "1 Jan 2000 23:59:60", "30 Feb 2000 00:00:00", "29 Feb 2001 00:00:00",
          "1 Jan 2000", "Jan 2000 00:00:00", "1 2000 00:00:00", "1 Jan 00:00:00", "", "1 Jan 12345 00:00:00",
          "1 Jan 2000 1:2:345", "100 Jan 2000 00:00:00"})
        EXPECT_TRUE(DateFails(text)) << text;
    EXPECT_EQ(Date("29 Feb 2000 00:00:00"), DaysFromCivil(2000, 2, 29) * 86400);
    EXPECT_EQ(Date("1 Jan 1601 00:00:00"), DaysFromCivil(1601, 1, 1) * 86400);
}

TEST(CookieDate, TheFileFormReadsBackToTheSameTime) {
    EXPECT_EQ(FormatCookieDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    for (int64_t t : {int64_t(0), int64_t(-1), int64_t(951782400), DaysFromCivil(1601, 1, 1) * 86400,
                      DaysFromCivil(9999, 12, 31) * 86400 + 86399, int64_t(1709294400)})
        EXPECT_EQ(Date(FormatCookieDate(t)), t) << FormatCookieDate(t);
    EXPECT_EQ(FormatCookieDate(INT64_MIN / 4), "Mon, 01 Jan 1601 00:00:00 GMT");
}
