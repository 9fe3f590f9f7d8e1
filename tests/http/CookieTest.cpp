// Tests of Cookie, CookieJar and CookieMgr: Set-Cookie parsing, matching with the label boundary,
// the Cookie line, the domain files with their element and attribute structure, file names that
// cannot leave the directory, and hostile files and values.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "core/StringPair.h"
#include "http/Cookie.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"
#include "http/HttpResponseHeader.h"
#include "support/TestSupport.h"

using namespace vantry;

namespace {

std::unique_ptr<Cookie> Parsed(const char *value) {
    auto c = std::make_unique<Cookie>();
    c->ParseSetCookie(value);
    return c;
}

std::string Line(const CookieJar &jar, const char *host, const char *path, bool https = false) {
    StringBuffer out;
    jar.BuildCookieHeader(host, path, https, out);
    return out.Text();
}

std::string Sent(const std::string &dir, const char *host, const char *path, bool https = false) {
    StringBuffer out;
    CookieMgr::BuildRequestCookies(dir.c_str(), host, path, https, out);
    return out.Text();
}

void SaveFrom(const std::string &dir, const char *host, const std::string &head) {
    HttpResponseHeader header;
    header.Parse(("HTTP/1.1 200 OK\r\n" + head + "\r\n").c_str());
    CookieMgr::SaveResponseCookies(dir.c_str(), header, host, host);
}

} // namespace

TEST(CookieParse, AttributesAndPairsOfTheDocumentedExample) {
    auto c = Parsed("id=42; Path=/; Domain=.example.org; Secure");
    ASSERT_EQ(c->NumPairs(), 1);
    EXPECT_STREQ(c->PairAt(0)->Name(), "id");
    EXPECT_STREQ(c->PairAt(0)->Value(), "42");
    EXPECT_STREQ(c->Path.Text(), "/");
    EXPECT_STREQ(c->Domain.Text(), ".example.org");
    EXPECT_TRUE(c->Secure);
    EXPECT_EQ(c->Version, 0);
}

TEST(CookieParse, VersionMaxAgeExpiresDiscardAndIgnoredAttributes) {
    auto c = Parsed(" a = 1 ;version=2;max-age=60;expires=Wed, 09 Jun 2021 10:18:14 GMT;port=80;comment=x;"
                    "commentUrl=y;discard;flag;;  ");
    EXPECT_EQ(c->Version, 0);
    EXPECT_EQ(c->MaxAge, 60);
    EXPECT_TRUE(c->Discard);
    EXPECT_FALSE(c->Secure);
    EXPECT_STREQ(c->Expire.Text(), "Wed, 09 Jun 2021 10:18:14 GMT");
    ASSERT_EQ(c->NumPairs(), 2);
    EXPECT_STREQ(c->PairAt(0)->Name(), "a");
    EXPECT_STREQ(c->PairAt(0)->Value(), "1");
    EXPECT_STREQ(c->PairAt(1)->Name(), "flag");
    EXPECT_STREQ(c->PairAt(1)->Value(), "");
    EXPECT_EQ(Parsed("Version=1")->Version, 1);
}

TEST(CookieParse, RepeatedNamesReplaceIgnoringCaseAndParsingResets) {
    auto c = Parsed("sid=1; SID=2; other=3");
    ASSERT_EQ(c->NumPairs(), 2);
    EXPECT_STREQ(c->PairValue("sid"), "2");
    c->ParseSetCookie("x=1");
    EXPECT_EQ(c->NumPairs(), 1);
    EXPECT_EQ(c->Domain.Length(), 0);
    EXPECT_FALSE(c->Secure);
}

TEST(CookieParse, ValuesOfAnyBytesNeverCrash) {
    std::string all;
    for (int i = 1; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    auto c = Parsed(all.c_str());
    EXPECT_GE(c->NumPairs(), 1);
    Parsed("");
    Parsed(";;;===;=;");
    Parsed(std::string(100000, '=').c_str());
    c->ParseSetCookie(nullptr);
    EXPECT_EQ(c->NumPairs(), 0);
}

TEST(CookieMatch, TheHostMustBeTheDomainOrEndInADotAndIt) {
    auto c = Parsed("a=1; domain=.example.org");
    EXPECT_TRUE(c->Matches("example.org", "/"));
    EXPECT_TRUE(c->Matches("shop.example.org", "/"));
    EXPECT_FALSE(c->Matches("badexample.org", "/"));
    EXPECT_FALSE(c->Matches("example.org.evil", "/"));
    auto bare = Parsed("a=1; domain=example.org");
    EXPECT_TRUE(bare->Matches("www.example.org", nullptr));
    EXPECT_FALSE(bare->Matches("wwwexample.org", nullptr));
    EXPECT_TRUE(Parsed("a=1")->Matches("anything.test", "/"));
}

TEST(CookieMatch, APathIsAPrefixOverTheCookiePathsLength) {
    auto c = Parsed("a=1; path=/shop");
    EXPECT_TRUE(c->Matches("h", "/shop/cart"));
    EXPECT_TRUE(c->Matches("h", "/shopping"));
    EXPECT_FALSE(c->Matches("h", "/"));
    EXPECT_TRUE(c->Matches("h", nullptr));
    EXPECT_TRUE(Parsed("a=1; path=/")->Matches("h", "/anything"));
}

TEST(CookieJarLine, PairsAreQuotedSeparatedAndEachNameIsSentOnce) {
    CookieJar jar;
    jar.Append(Parsed("a=1; b=2").release());
    jar.Append(Parsed("sid=first").release());
    jar.Append(Parsed("sid=second; c=3").release());
    EXPECT_EQ(Line(jar, "h", "/"), "a=\"1\"; b=\"2\"; sid=\"first\"; c=\"3\"");
}

TEST(CookieJarLine, ASecureCookieIsSentOnlyOverHttps) {
    CookieJar jar;
    jar.Append(Parsed("s=1; secure").release());
    jar.Append(Parsed("p=2").release());
    EXPECT_EQ(Line(jar, "h", "/"), "p=\"2\"");
    EXPECT_EQ(Line(jar, "h", "/", true), "s=\"1\"; p=\"2\"");
}

TEST(CookieFileName, BaseDomainWithUnderscoresInTheDirectory) {
    StringBuffer path;
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c", " .WWW.Example.org ", path));
    EXPECT_STREQ(path.Text(), "/c/example_org.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c/", "shop.example.co.uk", path));
    EXPECT_STREQ(path.Text(), "/c/example_co_uk.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("d\\", "my-host.example", path));
    EXPECT_STREQ(path.Text(), "d\\my-host_example.xml");
}

TEST(CookieFileName, DomainsThatCouldLeaveTheDirectoryGiveNoFile) {
    StringBuffer path;
    for (const char *domain :
         {"", ".", "..", "../../etc/passwd", "a/b.example", "a\\b.example", "ex..ample.org", "example.org%2f",
          "exa mple.org", "trailing.org.", "..example.org",
          "b\xC3\xBC"
          "cher.de",
          "evil.example/x"}) {
        EXPECT_FALSE(CookieMgr::CookieFilePath("/c", domain, path)) << domain;
        EXPECT_EQ(path.Length(), 0);
    }
}

TEST(CookieStore, TheDocumentedCookieIsSavedWithItsKeyAndAttributes) {
    testsupport::TempDir dir;
    auto c = Parsed("id=42; Path=/; Domain=.example.org; Secure");
    ASSERT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *c));
    std::string xml = testsupport::ReadFileBytes(dir.File("example_org.xml"));
    EXPECT_NE(xml.find("<cookies>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("key=\".example.org,/\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("v=\"0\""), std::string::npos);
    EXPECT_NE(xml.find("secure=\"yes\""), std::string::npos);
    EXPECT_NE(xml.find("<id>42</id>"), std::string::npos);
    EXPECT_EQ(xml.find("discard"), std::string::npos);
    EXPECT_EQ(xml.find("maxAge"), std::string::npos);
    // Nothing but the file is left behind.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()),
        1);
}

TEST(CookieStore, MergingReplacesValuesAddsPairsAndNeverRemovesFlags) {
    testsupport::TempDir dir;
    ASSERT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("a=1; domain=.e.org; path=/; secure")));
    ASSERT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("a=2; b=3; domain=.e.org; path=/")));
    ASSERT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("c=4; domain=.e.org; path=/x")));
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.Path().c_str(), "www.e.org", "/"));
    ASSERT_TRUE(jar);
    ASSERT_EQ(jar->NumCookies(), 2);
    Cookie *first = jar->CookieAt(0);
    EXPECT_TRUE(first->Secure);
    EXPECT_STREQ(first->PairValue("a"), "2");
    EXPECT_STREQ(first->PairValue("b"), "3");
    EXPECT_STREQ(jar->CookieAt(1)->Path.Text(), "/x");
}

TEST(CookieStore, Version1CookiesKeepMaxAgeAndDiscard) {
    testsupport::TempDir dir;
    ASSERT_TRUE(CookieMgr::SaveCookie(
        dir.Path().c_str(), *Parsed("a=1; version=1; max-age=60; discard; domain=.v.org; expires=soon")));
    ASSERT_TRUE(
        CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("b=1; max-age=70; discard; domain=w.v.org")));
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.Path().c_str(), "v.org", "/"));
    ASSERT_TRUE(jar);
    ASSERT_EQ(jar->NumCookies(), 2);
    EXPECT_EQ(jar->CookieAt(0)->Version, 1);
    EXPECT_EQ(jar->CookieAt(0)->MaxAge, 60);
    EXPECT_TRUE(jar->CookieAt(0)->Discard);
    EXPECT_STREQ(jar->CookieAt(0)->Expire.Text(), "soon");
    EXPECT_EQ(jar->CookieAt(1)->MaxAge, 0); // read only for version 1
    EXPECT_FALSE(jar->CookieAt(1)->Discard);
}

TEST(CookieStore, ACookieWithoutDomainTakesTheBaseDomainOfTheHost) {
    testsupport::TempDir dir;
    SaveFrom(dir.Path(), "shop.example.org", "Set-Cookie: cart=7\r\n");
    EXPECT_EQ(Sent(dir.Path(), "shop.example.org", "/"), "cart=\"7\"");
    EXPECT_EQ(Sent(dir.Path(), "www.example.org", "/"), "cart=\"7\"");
    EXPECT_EQ(Sent(dir.Path(), "other.test", "/"), "");
}

TEST(CookieStore, ASiteCannotSetCookiesForAnother) {
    testsupport::TempDir dir;
    SaveFrom(dir.Path(), "evil.test",
             "Set-Cookie: a=1; domain=.victim.org\r\nSet-Cookie: b=2; domain=.evil.test\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("victim_org.xml")));
    EXPECT_EQ(Sent(dir.Path(), "www.victim.org", "/"), "");
    EXPECT_EQ(Sent(dir.Path(), "www.evil.test", "/"), "b=\"2\"");
}

TEST(CookieStore, SetCookie2IsCollectedAndOtherSetCookieNamesAreNot) {
    HttpResponseHeader header;
    header.Parse("HTTP/1.1 200 OK\r\nSet-Cookie2: a=1\r\nset-cookie: b=2\r\nSet-Cookies: c=3\r\nSet-Cookie3: "
                 "d=4\r\n\r\n");
    ExtPtrArray out;
    CollectResponseCookies(header, ".h.test", "h.test", out);
    ASSERT_EQ(out.Count(), 2);
    EXPECT_STREQ(out.ElementAs<Cookie>(0)->PairValue("a"), "1");
    EXPECT_STREQ(out.ElementAs<Cookie>(1)->Domain.Text(), ".h.test");
    ExtPtrArray none;
    CollectResponseCookies(header, nullptr, "h.test", none);
    EXPECT_EQ(none.Count(), 0);
}

TEST(CookieStore, NamesThatCannotBeElementTagsAreNotStoredAndTheFileStaysReadable) {
    testsupport::TempDir dir;
    ASSERT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("good=1; domain=.t.org")));
    ASSERT_TRUE(
        CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("1bad=2; <x>=3; a b=4; ok=<&\"'>; domain=.t.org")));
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.Path().c_str(), "t.org", "/"));
    ASSERT_TRUE(jar);
    EXPECT_EQ(Line(*jar, "t.org", "/"), "good=\"1\"; ok=\"<&\"'>\"");
}

TEST(CookieStore, HostileOrBrokenFilesGiveNoCookieAndAreReplacedOnSave) {
    testsupport::TempDir dir;
    const std::string file = dir.File("h_org.xml");
    const std::string deep = std::string(20000, '<') + "a>";
    for (const std::string &text :
         {std::string(), std::string("not xml"),
          std::string("<cookies><cookie key=\"nocomma\"><a>1</a></cookie></cookies>"),
          std::string("<cookies><cookie key=\",/\"><a>1</a></cookie></cookies>"),
          std::string("<!DOCTYPE x [<!ENTITY e \"bomb\">]><cookies><cookie key=\".h.org,/\"><a>&e;</a>"),
          deep, std::string("<cookies><cookie key=\".h.org,/\" v=\"zz\"><a>1</a>"),
          std::string("\xEF\xBB\xBF<?xml?>\x01\x02")}) {
        testsupport::WriteFileBytes(file, text);
        std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.Path().c_str(), "h.org", "/"));
        if (jar) { // whatever a damaged file yields, it is a jar of well-formed cookies for this domain
            for (int i = 0; i < jar->NumCookies(); ++i)
                EXPECT_GT(jar->CookieAt(i)->Domain.Length(), 0);
        }
        EXPECT_TRUE(CookieMgr::SaveCookie(dir.Path().c_str(), *Parsed("z=9; domain=.h.org")));
        EXPECT_EQ(Sent(dir.Path(), "h.org", "/").find("z=\"9\"") != std::string::npos, true)
            << text.substr(0, 40);
    }
}

TEST(CookieStore, AMissingDirectoryOrFileMeansNoCookieLine) {
    EXPECT_EQ(Sent("/nonexistent/dir/for/cookies", "a.org", "/"), "");
    EXPECT_EQ(Sent("", "a.org", "/"), "");
}
