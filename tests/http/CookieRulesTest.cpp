// Tests of the cookie store's rules, each through a response that sets cookies and a request that
// sends them: domains and host-only cookies, paths, expiry on a fixed clock, Secure cookies and the
// name prefixes, the order of the Cookie line, the size and count limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/Cookie.h"
#include "http/CookieTestHelpers.h"

using namespace vantry;

using cookietest::Origin;
using cookietest::Store;

namespace {

const std::string kHome = "home.example.org";
const Origin kHttps{kHome, "/", true};

} // namespace

TEST(CookieDomain, WithoutADomainTheCookieBelongsToTheAnsweringHostAlone) {
    Store s;
    s.Set(kHome, {"a=1"});
    EXPECT_EQ(s.Sent(kHome), "a=1");
    EXPECT_EQ(s.Sent("HOME.Example.ORG"), "a=1");
    EXPECT_EQ(s.Sent("sub.home.example.org"), "");
    EXPECT_EQ(s.Sent("example.org"), "");
    EXPECT_EQ(s.Sent("www.example.org"), "");
}

TEST(CookieDomain, ADomainCookieGoesToTheDomainAndEveryHostBelowIt) {
    Store s;
    s.Set(kHome, {"a=1; domain=example.org", "b=2; Domain=.EXAMPLE.org"});
    for (const char *host : {"example.org", "home.example.org", "x.y.example.org"})
        EXPECT_EQ(s.Sent(host), "a=1; b=2") << host;
    for (const char *host : {"badexample.org", "example.org.evil", "example.com", "org"})
        EXPECT_EQ(s.Sent(host), "") << host;
}

TEST(CookieDomain, ADomainThatDoesNotCoverTheHostIsRefused) {
    Store s;
    s.Set(kHome,
          {"a=1; domain=sibling.example.org", "b=1; domain=sub.home.example.org", "c=1; domain=ample.org",
           "d=1; domain=other.org", "e=1; domain=home.example.org.", "f=1; domain=home.example.org:8888",
           "g=1; domain=\"home.example.org\"", "h=1; domain=..home.example.org"});
    for (const char *host :
         {kHome.c_str(), "sibling.example.org", "sub.home.example.org", "ample.org", "other.org"})
        EXPECT_EQ(s.Sent(host), "") << host;
}

TEST(CookieDomain, PublicSuffixesCannotBeCookieDomains) {
    Store s;
    s.Set("a.github.io", {"a=1; domain=github.io", "b=2"});
    s.Set(kHome, {"c=1; domain=org"});
    s.Set("shop.example.co.uk", {"d=1; domain=co.uk", "e=1; domain=example.co.uk"});
    EXPECT_EQ(s.Sent("b.github.io"), "");
    EXPECT_EQ(s.Sent("a.github.io"), "b=2");
    EXPECT_EQ(s.Sent("other.org"), "");
    EXPECT_EQ(s.Sent("other.co.uk"), "");
    EXPECT_EQ(s.Sent("www.example.co.uk"), "e=1");
}

TEST(CookieDomain, ADomainAboveTheHostsRegistrableDomainIsRefused) {
    // "s3.amazonaws.com" is a public suffix, so each bucket is a site of its own.
    Store s;
    s.Set("x.s3.amazonaws.com", {"a=1; domain=amazonaws.com", "b=1; domain=s3.amazonaws.com"});
    EXPECT_EQ(s.Sent("y.s3.amazonaws.com"), "");
    EXPECT_EQ(s.Sent("amazonaws.com"), "");
    EXPECT_EQ(s.Sent("x.s3.amazonaws.com"), "");
}

TEST(CookieDomain, AHostThatIsAPublicSuffixKeepsItsCookiesToItself) {
    Store s;
    s.Set("github.io", {"a=1; domain=github.io", "b=2; domain=.GitHub.io"});
    EXPECT_EQ(s.Sent("github.io"), "a=1; b=2");
    EXPECT_EQ(s.Sent("x.github.io"), "");
    s.Set("localhost", {"c=3; domain=localhost"});
    EXPECT_EQ(s.Sent("localhost"), "c=3");
}

TEST(CookieDomain, AddressHostsGetHostOnlyCookies) {
    Store s;
    s.Set("127.0.0.1", {"a=1", "b=2; domain=127.0.0.1", "c=3; domain=0.0.1", "d=4; domain=0.1"});
    EXPECT_EQ(s.Sent("127.0.0.1"), "a=1; b=2");
    EXPECT_EQ(s.Sent("127.0.0.2"), "");
    EXPECT_EQ(s.Sent("10.127.0.0.1"), "");
    // Hosts that share two octets share nothing.
    s.Set("10.20.1.1", {"e=5"});
    EXPECT_EQ(s.Sent("10.20.2.2"), "");
}

TEST(CookieDomain, HostOnlyAndDomainCookiesOfOneNameAreBothKept) {
    Store s;
    s.Set(kHome, {"a=1", "a=2; domain=home.example.org", "a=3; domain=example.org"});
    EXPECT_EQ(s.Sent(kHome), "a=1; a=2; a=3");
    EXPECT_EQ(s.Sent("sub.home.example.org"), "a=2; a=3");
    // The leading dot makes no difference: this replaces a=2.
    s.Set(kHome, {"a=4; domain=.home.example.org"});
    EXPECT_EQ(s.Sent(kHome), "a=1; a=4; a=3");
}

TEST(CookiePath, TheDefaultPathIsTheRequestPathUpToItsLastSlash) {
    EXPECT_EQ(DefaultCookiePath("/a/b/c"), "/a/b");
    EXPECT_EQ(DefaultCookiePath("/a/b/"), "/a/b");
    EXPECT_EQ(DefaultCookiePath("/cookie-parser"), "/");
    EXPECT_EQ(DefaultCookiePath("/"), "/");
    EXPECT_EQ(DefaultCookiePath(""), "/");
    EXPECT_EQ(DefaultCookiePath("a/b"), "/");
}

TEST(CookiePath, APathMatchesOnlyAtASlashBoundary) {
    for (const char *yes : {"/app", "/app/", "/app/x/y"})
        EXPECT_TRUE(CookiePathMatches(yes, "/app")) << yes;
    for (const char *no : {"/application", "/ap", "/", "/App", "/x/app"})
        EXPECT_FALSE(CookiePathMatches(no, "/app")) << no;
    EXPECT_TRUE(CookiePathMatches("/app/x", "/app/"));
    EXPECT_FALSE(CookiePathMatches("/app", "/app/"));
    EXPECT_TRUE(CookiePathMatches("/anything", "/"));
}

TEST(CookiePath, APathAttributeThatIsEmptyOrRelativeMeansTheDefaultPath) {
    Store s;
    s.Set(Origin{kHome, "/shop/cart/add"}, {"a=1", "b=2; path=", "c=3; path=x/y", "d=4; path=/"});
    EXPECT_EQ(s.Sent(kHome, "/shop/cart"), "a=1; b=2; c=3; d=4");
    EXPECT_EQ(s.Sent(kHome, "/shop/cartx"), "d=4");
    EXPECT_EQ(s.Sent(kHome, "/shop"), "d=4");
}

TEST(CookieExpiry, MaxAgeWinsOverExpiresWhateverTheirOrder) {
    Store s;
    s.Set(kHome, {"a=1; expires=Thu, 10 Apr 1980 16:33:12 GMT; max-age=60",
                  "b=2; max-age=60; expires=Thu, 10 Apr 1980 16:33:12 GMT",
                  "c=3; max-age=0; expires=Fri, 01 Jan 2100 00:00:00 GMT"});
    EXPECT_EQ(s.Sent(kHome), "a=1; b=2");
    s.clock.Advance(59);
    EXPECT_EQ(s.Sent(kHome), "a=1; b=2");
    s.clock.Advance(2);
    EXPECT_EQ(s.Sent(kHome), "");
}

TEST(CookieExpiry, AnExpiresDateDecidesWhenTheCookieEnds) {
    Store s;
    // The fixed clock stands at 2024-03-01 12:00:00 UTC.
    s.Set(kHome,
          {"a=1; expires=Fri, 01 Mar 2024 12:00:30 GMT", "b=2; expires=Fri, 01 Mar 2024 11:59:59 GMT"});
    EXPECT_EQ(s.Sent(kHome), "a=1");
    s.clock.Advance(30);
    EXPECT_EQ(s.Sent(kHome), "");
}

TEST(CookieExpiry, ZeroNegativeOrPastExpiryDeletesTheStoredCookie) {
    Store s;
    s.Set(kHome, {"a=1", "b=2", "c=3", "d=4"});
    s.Set(kHome, {"a=x; max-age=0", "b=x; max-age=-1", "c=x; expires=Thu, 01 Jan 1970 00:00:00 GMT"});
    EXPECT_EQ(s.Sent(kHome), "d=4");
    // A deletion only reaches the cookie of the same identity.
    s.Set(kHome, {"d=x; max-age=0; path=/other"});
    EXPECT_EQ(s.Sent(kHome), "d=4");
}

TEST(CookieExpiry, AnExpiredCookieIsNotSentAndLeavesItsFileAtTheNextSave) {
    Store s;
    s.Set(kHome, {"gone=1; max-age=10", "kept=2"});
    ASSERT_NE(s.FileText("example_org.xml").find("gone"), std::string::npos);
    s.clock.Advance(11);
    EXPECT_EQ(s.Sent(kHome), "kept=2");
    s.Set(kHome, {"new=3"});
    std::string file = s.FileText("example_org.xml");
    EXPECT_EQ(file.find("gone"), std::string::npos) << file;
    EXPECT_NE(file.find("kept"), std::string::npos) << file;
}

TEST(CookieExpiry, LifetimesAreCappedAt400Days) {
    Store s;
    s.Set(kHome, {"a=1; max-age=999999999", "b=2; expires=Fri, 31 Dec 9999 23:59:59 GMT", "session=3"});
    s.clock.Advance(399 * 86400);
    EXPECT_EQ(s.Sent(kHome), "a=1; b=2; session=3");
    s.clock.Advance(2 * 86400);
    // A session cookie has no expiry; it stays until replaced or evicted.
    EXPECT_EQ(s.Sent(kHome), "session=3");
}

TEST(CookieExpiry, TheExpiryIsKeptInTheFileAsADate) {
    Store s;
    s.Set(kHome, {"a=1; max-age=3600"});
    EXPECT_NE(s.FileText("example_org.xml").find("expire=\"Fri, 01 Mar 2024 13:00:00 GMT\""),
              std::string::npos)
        << s.FileText("example_org.xml");
    s.clock.Advance(3599);
    EXPECT_EQ(s.Sent(kHome), "a=1");
    s.clock.Advance(1);
    EXPECT_EQ(s.Sent(kHome), "");
}

TEST(CookieSecure, ASecureCookieFromAnInsecureOriginIsRefused) {
    Store s;
    s.Set(kHome, {"a=1; secure", "b=2"});
    EXPECT_EQ(s.Sent(kHome, "/", true), "b=2");
}

TEST(CookieSecure, ASecureCookieGoesOnlyOverASecureChannel) {
    Store s;
    s.Set(kHttps, {"a=1; secure", "b=2"});
    EXPECT_EQ(s.Sent(kHome, "/", true), "a=1; b=2");
    EXPECT_EQ(s.Sent(kHome, "/", false), "b=2");
}

TEST(CookieSecure, AnInsecureOriginCannotOverwriteShadowOrDeleteASecureCookie) {
    Store s;
    s.Set(kHttps, {"sid=good; secure; domain=example.org"});
    s.Set(kHome, {"sid=evil", "sid=evil; path=/sub", "sid=evil; domain=example.org", "sid=evil; max-age=0",
                  "sid=evil; domain=example.org; max-age=0", "other=1"});
    EXPECT_EQ(s.Sent(kHome, "/sub", true), "sid=good; other=1");
    EXPECT_EQ(s.Sent("www.example.org", "/", true), "sid=good");
    // A secure origin may replace it.
    s.Set(kHttps, {"sid=new; domain=example.org"});
    EXPECT_EQ(s.Sent(kHome, "/", false), "sid=new; other=1");
}

TEST(CookieSecure, TheSecureAndHostNamePrefixesAreEnforced) {
    Store s;
    s.Set(kHttps,
          {"__Secure-a=1", "__Secure-b=2; secure", "__secure-c=3; secure", "__Host-d=4; secure; path=/",
           "__Host-e=5; secure", "__Host-f=6; secure; path=/; domain=example.org",
           "__HOST-g=7; secure; path=/x", "__host-h=8; path=/", "=__Host-i", "=__secure-j"});
    EXPECT_EQ(s.Sent(kHome, "/", true), "__Secure-b=2; __secure-c=3; __Host-d=4");
    s.Set(kHome, {"__Secure-k=9; secure"});
    EXPECT_EQ(s.Sent(kHome, "/", true), "__Secure-b=2; __secure-c=3; __Host-d=4");
}

TEST(CookieOrder, LongerPathsFirstThenOlderFirst) {
    Store s;
    s.Set(Origin{kHome, "/a/b/c"}, {"deep=1"});
    s.clock.Advance(1);
    s.Set(kHome, {"z=1", "y=2; path=/a"});
    s.clock.Advance(1);
    s.Set(kHome, {"x=3", "w=4; path=/a/b"});
    EXPECT_EQ(s.Sent(kHome, "/a/b/c"), "deep=1; w=4; y=2; z=1; x=3");
}

TEST(CookieOrder, AReplacedCookieKeepsItsPlaceByCreationTime) {
    Store s;
    s.Set(kHome, {"key=val0"});
    s.clock.Advance(1);
    s.Set(kHome, {"other=1"});
    s.clock.Advance(1);
    s.Set(kHome, {"key=val1"});
    EXPECT_EQ(s.Sent(kHome), "key=val1; other=1");
}

TEST(CookieOrder, CookiesOfOneNameWithDifferentPathsAreAllSent) {
    Store s;
    s.Set(kHome, {"foo=bar; path=/p", "foo=qux; path=/p/", "foo=root"});
    EXPECT_EQ(s.Sent(kHome, "/p/dog"), "foo=qux; foo=bar; foo=root");
    EXPECT_EQ(s.Sent(kHome, "/p"), "foo=bar; foo=root");
}

TEST(CookieOrder, NamelessCookiesAreSentAsTheirValueAndReplaceEachOther) {
    Store s;
    s.Set(kHome, {"a=b", "=x", "six", "c=d"});
    EXPECT_EQ(s.Sent(kHome), "a=b; six; c=d");
    s.Set(kHome, {" =eight"});
    EXPECT_EQ(s.Sent(kHome), "a=b; eight; c=d");
}

TEST(CookieLimits, ACookieOverTheSizeLimitIsRefused) {
    Store s;
    std::string fits = "n=" + std::string(4095, 'v');
    s.Set(kHome, {fits, "m=" + std::string(4096, 'v')});
    EXPECT_EQ(s.Sent(kHome), fits);
}

TEST(CookieLimits, AtMost50PerFileTheLeastRecentlyUsedGoFirst) {
    Store s;
    for (int i = 0; i < 50; ++i) {
        s.Set(kHome, {"c" + std::to_string(i) + "=1; path=/p" + std::to_string(i)});
        s.clock.Advance(1);
    }
    s.clock.Advance(60);
    EXPECT_EQ(s.Sent(kHome, "/p0"), "c0=1"); // c0 is used again, so c1 is now the least recently used
    s.Set(kHome, {"c50=1; path=/p50"});
    EXPECT_EQ(s.Sent(kHome, "/p0"), "c0=1");
    EXPECT_EQ(s.Sent(kHome, "/p1"), "");
    EXPECT_EQ(s.Sent(kHome, "/p2"), "c2=1");
    EXPECT_EQ(s.Sent(kHome, "/p50"), "c50=1");
    // Sending c2 made c3 the least recently used; a host-only cookie of another host of the same
    // registrable domain shares the file and its limit.
    s.Set("www.example.org", {"w=1"});
    EXPECT_EQ(s.Sent(kHome, "/p3"), "");
    EXPECT_EQ(s.Sent("www.example.org"), "w=1");
}

TEST(CookieLimits, AtMost3000InAllTheLeastRecentlyUsedGoFirst) {
    Store s;
    std::vector<std::string> fifty;
    for (int i = 0; i < 50; ++i)
        fifty.push_back("c" + std::to_string(i) + "=1");
    for (int site = 0; site <= 60; ++site) {
        s.Set("www.site" + std::to_string(site) + ".example", fifty);
        s.clock.Advance(1);
    }
    EXPECT_EQ(s.Sent("www.site0.example"), "");
    EXPECT_EQ(s.Sent("www.site1.example").size(), s.Sent("www.site60.example").size());
    EXPECT_NE(s.Sent("www.site60.example"), "");
}
