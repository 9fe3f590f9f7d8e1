// Tests of the host name check, the www twin and the URL clean-up that keep junk out of the
// harvester's sets and output file.
#include <gtest/gtest.h>

#include <string>

#include "core/StringBuffer.h"
#include "url/HostName.h"

using namespace vantry;

namespace {

// The normalised name, or "REFUSED".
std::string Normalized(const std::string &text) {
    StringBuffer host(text.data(), static_cast<int32_t>(text.size()), 0);
    if (!NormalizeHostName(host))
        return host.View() == text ? "REFUSED" : "REFUSED AND CHANGED";
    return std::string(host.View());
}

std::string Stripped(const char *text) {
    StringBuffer url(text);
    StripUrlWhitespace(url);
    return std::string(url.View());
}

} // namespace

TEST(NormalizeHostName, KeepsOrdinaryNamesInLowerCase) {
    EXPECT_EQ(Normalized("www.example.org"), "www.example.org");
    EXPECT_EQ(Normalized("WWW.Example.ORG"), "www.example.org");
    EXPECT_EQ(Normalized("a-b.c0.example.co.uk"), "a-b.c0.example.co.uk");
    EXPECT_EQ(Normalized("example.org."), "example.org");
    EXPECT_EQ(Normalized("localhost"), "localhost");
}

TEST(NormalizeHostName, PutsNamesBeyondAsciiInTheirAsciiForm) {
    EXPECT_EQ(Normalized("b\xC3\xBC"
                         "cher.de"),
              "xn--bcher-kva.de");
    EXPECT_EQ(Normalized("xn--bcher-kva.de"), "xn--bcher-kva.de");
    EXPECT_EQ(Normalized("\xFF\xFE.com"), "REFUSED");
}

TEST(NormalizeHostName, RefusesControlBytesMarkupBlanksPortsAndPaths) {
    EXPECT_EQ(Normalized("www.exa\nmple.com"), "REFUSED");
    EXPECT_EQ(Normalized("www.example.com\n"), "REFUSED");
    EXPECT_EQ(Normalized("www.exa\tmple.com"), "REFUSED");
    EXPECT_EQ(Normalized(std::string("a\0b.com", 7)), "REFUSED");
    EXPECT_EQ(Normalized("<b>.com"), "REFUSED");
    EXPECT_EQ(Normalized("www.example.com\">x"), "REFUSED");
    EXPECT_EQ(Normalized("www example.com"), "REFUSED");
    EXPECT_EQ(Normalized("www.example.com:8080"), "REFUSED");
    EXPECT_EQ(Normalized("www.example.com/a"), "REFUSED");
    EXPECT_EQ(Normalized("under_score.example.com"), "REFUSED");
    EXPECT_EQ(Normalized(""), "REFUSED");
}

TEST(NormalizeHostName, HoldsLabelsAndNamesToTheirLengthsAndShapes) {
    const std::string label63(63, 'a');
    EXPECT_EQ(Normalized(label63 + ".com"), label63 + ".com");
    EXPECT_EQ(Normalized(std::string(64, 'a') + ".com"), "REFUSED");
    // Labels of 63, 63, 63 and 58 bytes, their dots and ".co": 253 bytes; one more is too long.
    const std::string name253 = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                std::string(63, 'c') + "." + std::string(58, 'd') + ".co";
    ASSERT_EQ(name253.size(), 253u);
    EXPECT_EQ(Normalized(name253), name253);
    EXPECT_EQ(Normalized("x" + name253), "REFUSED");
    EXPECT_EQ(Normalized("a..example.com"), "REFUSED");
    EXPECT_EQ(Normalized(".example.com"), "REFUSED");
    EXPECT_EQ(Normalized("-a.example.com"), "REFUSED");
    EXPECT_EQ(Normalized("a-.example.com"), "REFUSED");
    EXPECT_EQ(Normalized("192.168.1.1"), "REFUSED");
    EXPECT_EQ(Normalized("host.123"), "REFUSED");
}

TEST(SiteHost, WwwAndBareSpellingsAreOneSite) {
    EXPECT_TRUE(IsSameSiteHost("example.org", "www.example.org"));
    EXPECT_TRUE(IsSameSiteHost("www.example.org", "example.org"));
    EXPECT_TRUE(IsSameSiteHost("example.org", "example.org"));
    EXPECT_FALSE(IsSameSiteHost("shop.example.org", "example.org"));
    EXPECT_FALSE(IsSameSiteHost("example.org.evil.net", "example.org"));
    EXPECT_FALSE(IsSameSiteHost("", ""));
    EXPECT_EQ(SiteKey("www.example.org"), "example.org");
    EXPECT_EQ(SiteKey("www.com"), "www.com");
}

TEST(StripUrlWhitespace, RemovesTabAndNewlinesAnywhereAndBlanksAtTheEnds) {
    EXPECT_EQ(Stripped("http://www.exa\nmple.com/a\tb\r"), "http://www.example.com/ab");
    EXPECT_EQ(Stripped("  \x01http://a.com/ b \x7f"), "http://a.com/ b");
    EXPECT_EQ(Stripped("http://a.com/"), "http://a.com/");
    EXPECT_EQ(Stripped("\n\t"), "");
}
