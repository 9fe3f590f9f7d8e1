// Cases in the style of the classic cookie parser tests: the Set-Cookie lines of a response from
// http://home.example.org:8888/cookie-parser, then the Cookie line of the next request (by default to
// /cookie-parser-result on the same host). Each case runs on an empty store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/CookieTestHelpers.h"

using namespace vantry;

namespace {

struct ParserCase {
    const char *name;
    std::vector<std::string> setCookies;
    const char *expected;
    const char *path = "/cookie-parser-result";
    const char *host = "home.example.org";
};

const std::vector<ParserCase> &Cases() {
    static const std::vector<ParserCase> cases = {
        // Name and value.
        {"plain", {"foo=bar"}, "foo=bar"},
        {"nameless", {"foo"}, "foo"},
        {"two cookies in order", {"z=y", "a=b"}, "z=y; a=b"},
        {"replaced value", {"foo=bar", "foo=qux"}, "foo=qux"},
        {"comma is part of the value", {"z=y, a=b"}, "z=y, a=b"},
        {"comma after a semicolon", {"z=y; foo=bar, a=b"}, "z=y"},
        {"comma in max-age", {"foo=b;max-age=3600, c=d;path=/"}, "foo=b"},
        {"empty pair between", {"a=b", "=", "c=d"}, "a=b; c=d"},
        {"nameless between", {"a=b", "=x", "c=d"}, "a=b; x; c=d"},
        {"empty value between", {"a=b", "x=", "c=d"}, "a=b; x=; c=d"},
        {"blank header ignored", {"foo", "   "}, "foo"},
        {"attributes only ignored", {"foo", "; bar"}, "foo"},
        {"nameless replaces nameless", {"foo", "bar"}, "bar"},
        {"tab header ignored", {"foo", "\t"}, "foo"},
        {"leading blanks", {"   foo=bar"}, "foo=bar"},
        {"blanks around the equals", {"  A  = BC  ;foo;;;   bar"}, "A=BC"},
        {"equals inside the value", {"  A=== BC  ;foo;;;   bar"}, "A=== BC"},
        {"triple equals name", {"===a=bar"}, "==a=bar"},
        {"blank inside the name", {"foo bar=baz"}, "foo bar=baz"},
        {"quote starts the name", {"\"foo;bar\"=baz"}, "\"foo"},
        {"quoted name with equals", {"\"a=b\"=bar"}, "\"a=b\"=bar"},
        {"the name ends at the first equals", {"\"a=b\"=bar", "\"a=qux"}, "\"a=qux"},
        {"dollar name", {"$Version=1; foo=bar"}, "$Version=1"},
        {"special first characters",
         {"!a=1", "#b=2", "$c=3", "%d=4", "&e=5", "*f=6", "(g=7", "-h=8", "+=9"},
         "!a=1; #b=2; $c=3; %d=4; &e=5; *f=6; (g=7; -h=8; +=9"},
        {"nameless value with equals", {"=a=bar"}, "a=bar"},
        {"nameless then named", {"=foo=bar", "foo=bar"}, "foo=bar; foo=bar"},
        {"unknown attributes", {"foo=bar; customvalue=\"1000 or more\"; version=1000;"}, "foo=bar"},
        // Values keep their quotes and inner blanks.
        {"quoted value", {"aBc=\"zzz \"   ;"}, "aBc=\"zzz \""},
        {"quoted value with semicolon", {"aBc=\"zz;pp\" ; ;"}, "aBc=\"zz"},
        {"two quoted parts", {"aBc=\"zzz \"   \"ppp\"  ;"}, "aBc=\"zzz \"   \"ppp\""},
        {"quote inside", {"aBc=A\"B ;"}, "aBc=A\"B"},
        {"quoted nameless", {"\"BLA\\\"HHH\"; path=/;"}, "\"BLA\\\"HHH\""},
        {"value blanks trimmed", {"foo=  bar  "}, "foo=bar"},
        {"value tabs trimmed", {"foo=\tbar\t"}, "foo=bar"},
        {"utf-8 value",
         {"foo=\xE6\x98\xA5\xE8\x8A\x82\xE5\x9B\x9E\xE5\xAE\xB6"},
         "foo=\xE6\x98\xA5\xE8\x8A\x82\xE5\x9B\x9E\xE5\xAE\xB6"},
        {"utf-8 name",
         {"\xE6\x98\xA5\xE8\x8A\x82=\xE5\x9B\x9E; \xE5\xAE\xB6"},
         "\xE6\x98\xA5\xE8\x8A\x82=\xE5\x9B\x9E"},
        // Secure over plain http.
        {"secure", {"foo=bar; Secure"}, ""},
        {"secure any case", {"foo=bar; seCURe"}, ""},
        {"quoted secure", {"foo=bar; \"Secure\""}, "foo=bar"},
        {"secure with value", {"foo=bar; Secure= aaaaa"}, ""},
        {"secure and more", {"foo=bar; Secure qux"}, "foo=bar"},
        {"secure among others", {"foo=bar; qux=\"aaa;bbb\"; Secure"}, ""},
        // Expiry.
        {"expired", {"foo=bar; Expires=Fri, 07 Aug 2007 08:04:19 GMT"}, ""},
        {"one expired one not",
         {"foo=bar; Expires=Fri, 07 Aug 2007 08:04:19 GMT",
          "foo2=bar2; Expires=Fri, 07 Aug 2031 08:04:19 GMT"},
         "foo2=bar2"},
        {"max-age", {"foo=bar; max-age=10000;"}, "foo=bar"},
        {"max-age zero", {"foo=bar; max-age=0;"}, ""},
        {"max-age negative", {"foo=bar; max-age=-20"}, ""},
        {"max-age deletes one of two",
         {"foo=bar; max-age=60", "foo1=bar; max-age=60", "foo=x; max-age=0"},
         "foo1=bar"},
        {"expires in 1980", {"foo=bar; expires=Thu, 10 Apr 1980 16:33:12 GMT"}, ""},
        {"rfc 850 date", {"foo=bar; expires=Sunday, 06-Nov-2101 08:49:37 GMT"}, "foo=bar"},
        {"bad date is ignored", {"foo=bar; expires=not a date"}, "foo=bar"},
        // Paths.
        {"path root", {"foo=bar; Path=/"}, "foo=bar"},
        {"path elsewhere", {"foo=bar; Path=/qux"}, ""},
        {"path blanks", {"foo=bar; Path    =/qux"}, ""},
        {"last path wins", {"foo=bar; Path=/qux; Path=/"}, "foo=bar"},
        {"last path wins 2", {"foo=bar; Path=/; Path=/qux"}, ""},
        {"empty path", {"foo=bar; Path="}, "foo=bar"},
        {"relative path", {"foo=bar; path=qux/"}, "foo=bar"},
        {"path is a prefix without slash", {"foo=bar; path=/cookie-parser"}, ""},
        {"exact path", {"foo=bar; path=/cookie-parser-result"}, "foo=bar"},
        {"path with trailing slash", {"foo=bar; path=/cookie-parser-result/"}, ""},
        {"tab around path", {"a=b; \tpath\t=\t/cookie-parser-result\t", "x=y; \tpath\t=\t/book\t"}, "a=b"},
        {"empty path after a good one", {"foo=bar; path=/dog; path="}, "foo=bar"},
        {"longer path first", {"a=b; path=/", "x=y; path=/cookie-parser-result"}, "x=y; a=b"},
        {"longer path first 2", {"x=y; path=/cookie-parser-result", "a=b; path=/"}, "x=y; a=b"},
        {"one name two paths",
         {"foo=bar; path=/cookie-parser-result", "foo=qux; path=/cookie-parser-result/"},
         "foo=qux; foo=bar",
         "/cookie-parser-result/dog"},
        {"deeper request",
         {"foo=bar; path=/cookie-parser-result/foo"},
         "foo=bar",
         "/cookie-parser-result/foo/qux"},
        {"sibling path", {"foo=bar; path=/cookie-parser-result/foo"}, "", "/cookie-parser-result/bar"},
        {"ordering",
         {"key=val0;", "key=val1; path=/cookie-parser-result", "key=val2; path=/", "key=val3; path=/bar",
          "key=val4; domain=.example.org", "key=val5; domain=.example.org; path=/cookie-parser-result/foo"},
         "key=val5; key=val1; key=val2; key=val4",
         "/cookie-parser-result/foo/qux"},
        // Domains.
        {"domain is the host", {"foo=bar; domain=home.example.org"}, "foo=bar"},
        {"domain with dot", {"foo=bar; domain=.home.example.org"}, "foo=bar"},
        {"parent domain", {"foo=bar; domain=example.org"}, "foo=bar"},
        {"subdomain gets a domain cookie",
         {"foo=bar; domain=home.example.org"},
         "foo=bar",
         "/cookie-parser-result",
         "subdomain.home.example.org"},
        {"sibling gets no host cookie",
         {"foo=bar; domain=.home.example.org"},
         "",
         "/cookie-parser-result",
         "sibling.example.org"},
        {"host-only stays on the host",
         {"foo=bar"},
         "",
         "/cookie-parser-result",
         "subdomain.home.example.org"},
        {"foreign domain", {"foo=bar; domain=sibling.example.org"}, ""},
        {"double dot", {"foo=bar; domain=..home.example.org"}, ""},
        {"trailing dot", {"foo=bar; domain=home.example.org."}, ""},
        {"blanks before the dot", {"foo=bar; domain=  .home.example.org"}, "foo=bar"},
        {"top-level domain", {"foo=bar; domain=.org"}, ""},
        {"mixed case domain", {"foo=bar; domain=home.eXaMpLe.org"}, "foo=bar"},
        {"port in domain", {"foo=bar; domain=home.example.org:8888"}, ""},
        {"quoted domain", {"foo=bar; domain=\"home.example.org\""}, ""},
        {"empty domain", {"foo=bar; domain="}, "foo=bar"},
        {"dot and no dot are one cookie",
         {"foo=bar; domain=home.example.org", "foo=bar2; domain=.home.example.org"},
         "foo=bar2"},
        {"host and domain cookies",
         {"foo=bar; domain=home.example.org", "foo2=bar2; domain=.home.example.org"},
         "foo=bar; foo2=bar2"},
        {"last domain wins", {"foo=bar; domain=home.example.org; domain=home.example.com"}, ""},
        {"last domain wins 2", {"foo=bar; domain=home.example.com; domain=home.example.org"}, "foo=bar"},
        {"subdomain of the host", {"foo=bar; domain=subdomain.home.example.org"}, ""},
    };
    return cases;
}

} // namespace

TEST(CookieParserCases, EachCaseSendsTheExpectedCookieLine) {
    for (const ParserCase &c : Cases()) {
        cookietest::Store s;
        s.Set(cookietest::Origin{"home.example.org", "/cookie-parser"}, c.setCookies);
        EXPECT_EQ(s.Sent(c.host, c.path), c.expected) << c.name;
    }
}
