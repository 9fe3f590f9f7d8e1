// Tests of the name lookup helpers that need no resolver: dotted literals and the dotted-answer check.
// Lookups of names are tested inside the sandbox only.
#include "net/NameLookup.h"

#include <gtest/gtest.h>

#include "core/StringBuffer.h"

using namespace vantry;

TEST(NameLookupDottedCheck, ReadsFourIntegersTheWayADottedScanDoes) {
    EXPECT_TRUE(ReadsAsFourIntegers("10.1.2.3", '.'));
    EXPECT_TRUE(ReadsAsFourIntegers("10.1.2.3.example.com", '.')) << "the rest is not looked at";
    EXPECT_TRUE(ReadsAsFourIntegers(" 300.-1.+2.99999", '.'));
    EXPECT_TRUE(ReadsAsFourIntegers("10-1-2-3.example.net", '-'));
    EXPECT_FALSE(ReadsAsFourIntegers("10.1.2", '.'));
    EXPECT_FALSE(ReadsAsFourIntegers("10.1.2.", '.'));
    EXPECT_FALSE(ReadsAsFourIntegers("www.example.com", '.'));
    EXPECT_FALSE(ReadsAsFourIntegers("10-1-2.example", '-'));
    EXPECT_FALSE(ReadsAsFourIntegers("", '.'));
    EXPECT_FALSE(ReadsAsFourIntegers(nullptr, '.'));
}

TEST(NameLookupResolveDottedIp, DottedLiteralsAndLocalhostNeedNoLookup) {
    StringBuffer out;
    ASSERT_TRUE(ResolveDottedIp("127.0.0.1", out));
    EXPECT_STREQ(out.Text(), "127.0.0.1");
    StringBuffer local("prefix:");
    ASSERT_TRUE(ResolveDottedIp("  LocalHost ", local));
    EXPECT_STREQ(local.Text(), "prefix:127.0.0.1") << "the address is appended";
    StringBuffer blank;
    ASSERT_TRUE(ResolveDottedIp(" \t", blank));
    EXPECT_STREQ(blank.Text(), "127.0.0.1");
    StringBuffer none;
    EXPECT_FALSE(ResolveDottedIp(nullptr, none));
}

TEST(NameLookupReverseLookup, RefusesTextThatIsNoAddress) {
    StringBuffer out("stale");
    EXPECT_FALSE(ReverseLookup("not-an-address", 80, out));
    EXPECT_EQ(out.Length(), 0) << "the output is cleared first";
    EXPECT_FALSE(ReverseLookup(nullptr, 80, out));
}
