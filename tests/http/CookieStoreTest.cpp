// Tests of the cookie store's files: their names, what is written, files of the older form, files
// that cannot be read (left alone and reported), and files whose contents try to break the Cookie line.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "http/CookieFile.h"
#include "http/CookieJar.h"
#include "http/CookieTestHelpers.h"

using namespace vantry;

using cookietest::Origin;
using cookietest::Store;

namespace {

const std::string kHome = "home.example.org";

bool HasLineBreakOrNul(const std::string &s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

TEST(CookieFileName, TheRegistrableDomainWithUnderscoresInTheDirectory) {
    StringBuffer path;
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c", " .WWW.Example.org ", path));
    EXPECT_STREQ(path.Text(), "/c/example_org.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c/", "shop.example.co.uk", path));
    EXPECT_STREQ(path.Text(), "/c/example_co_uk.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c", "a.github.io", path));
    EXPECT_STREQ(path.Text(), "/c/a_github_io.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("/c", "127.0.0.1", path));
    EXPECT_STREQ(path.Text(), "/c/127_0_0_1.xml");
    ASSERT_TRUE(CookieMgr::CookieFilePath("d\\", "github.io", path));
    EXPECT_STREQ(path.Text(), "d\\github_io.xml");
}

TEST(CookieFileName, NamesThatCouldLeaveTheDirectoryGiveNoFile) {
    StringBuffer path;
    for (const char *domain :
         {"", ".", "..", "../../etc/passwd", "a/b.example", "a\\b.example", "ex..ample.org", "example.org%2f",
          "exa mple.org", "trailing.org.", "..example.org",
          "b\xC3\xBC"
          "cher.de",
          "evil.example/x", "[::1]"}) {
        EXPECT_FALSE(CookieMgr::CookieFilePath("/c", domain, path)) << domain;
        EXPECT_EQ(path.Length(), 0);
    }
}

TEST(CookieFileWrite, OneElementPerCookieWithItsKeyFlagsAndStamps) {
    Store s;
    s.Set(Origin{kHome, "/", true},
          {"id=42; Path=/; Domain=.example.org; Secure; HttpOnly; SameSite=Lax", "host=1; max-age=60"});
    std::string xml = s.FileText("example_org.xml");
    EXPECT_NE(xml.find("<cookies>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("key=\".example.org,/\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("key=\"home.example.org,/\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("hostOnly=\"yes\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("secure=\"yes\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("httpOnly=\"yes\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("sameSite=\"Lax\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("created=\"" + std::to_string(cookietest::kStartMs) + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<id>42</id>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("expire=\"Fri, 01 Mar 2024 12:01:00 GMT\""), std::string::npos) << xml;
    // Nothing but the file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(CookieFileWrite, AnyNameAndValueReadBackExactly) {
    Store s;
    const std::vector<std::string> pairs = {
        "$Version=1", "1=bar", "!a=\"<&'>\"", "xml=1",       "\xE6\x98\xA5=\xE8\x8A\x82", "a\tb=c\td",
        "plain",      "_=x",   "pair=y",      "\"a=b\"=bar", "caf\xE9=\xFF\x80"};
    s.Set(kHome, pairs);
    EXPECT_EQ(s.Sent(kHome),
              "$Version=1; 1=bar; !a=\"<&'>\"; xml=1; \xE6\x98\xA5=\xE8\x8A\x82; a\tb=c\td; plain; "
              "_=x; pair=y; \"a=b\"=bar; caf\xE9=\xFF\x80");
}

TEST(CookieFileRead, AFileOfTheOlderFormStillLoads) {
    Store s;
    testsupport::WriteFileBytes(
        s.dir.File("example_org.xml"),
        "<?xml version=\"1.0\"?>\n<cookies>\n"
        "  <cookie key=\".example.org,/\" v=\"0\" secure=\"yes\"><id>42</id></cookie>\n"
        "  <cookie key=\".example.org,\" v=\"1\" expire=\"Wed, 09 Jun 2100 10:18:14 GMT\" maxAge=\"60\" "
        "discard=\"yes\"><a>1</a><b>2</b></cookie>\n"
        "  <cookie key=\"example.org,/shop\" v=\"0\"><cart>7</cart></cookie>\n"
        "  <cookie key=\".example.org,/old\" v=\"0\" expire=\"Thu, 10 Apr 1980 16:33:12 "
        "GMT\"><gone>1</gone></cookie>\n"
        "  <cookie key=\".org,/\" v=\"0\"><planted>1</planted></cookie>\n"
        "  <cookie key=\"nocomma\"><x>1</x></cookie>\n"
        "</cookies>\n");
    EXPECT_EQ(s.Sent("www.example.org"), "a=1; b=2");
    EXPECT_EQ(s.Sent("www.example.org", "/", true), "id=42; a=1; b=2");
    EXPECT_EQ(s.Sent("shop.example.org", "/shop/x"), "cart=7; a=1; b=2");
    EXPECT_EQ(s.Sent("www.example.org", "/old"), "a=1; b=2");
    // Cookies set now are newer than all of them; after the rewrite they all load again.
    s.Set("www.example.org", {"new=1; domain=example.org", "a=9; domain=example.org"});
    EXPECT_EQ(s.Sent("www.example.org", "/", true), "id=42; a=9; b=2; new=1");
    EXPECT_EQ(s.Sent("shop.example.org", "/shop"), "cart=7; a=9; b=2; new=1");
    EXPECT_EQ(s.FileText("example_org.xml").find("planted"), std::string::npos);
}

TEST(CookieFileRead, AnUnreadableFileIsLeftInPlaceAndReported) {
    const std::string deep = std::string(20000, '<') + "a>";
    for (const std::string &text : {std::string("not xml"), std::string("<cookies><cookie key=\"x,/\">"),
                                    deep, std::string("\xEF\xBB\xBF<?xml?>\x01\x02")}) {
        Store s;
        const std::string file = s.dir.File("example_org.xml");
        testsupport::WriteFileBytes(file, text);
        s.Set(kHome, {"z=9"});
        EXPECT_EQ(testsupport::ReadFileBytes(file), text);
        EXPECT_TRUE(s.log.Has("error: Cookie file cannot be read; it is left as it is.")) << s.log.Dump();
        EXPECT_TRUE(s.log.Has("data: filename=" + file)) << s.log.Dump();
        EXPECT_EQ(s.Sent(kHome), "");
        EXPECT_EQ(testsupport::ReadFileBytes(file), text);
    }
}

TEST(CookieFileRead, AnEmptyFileHoldsNoCookiesAndIsReplaced) {
    Store s;
    testsupport::WriteFileBytes(s.dir.File("example_org.xml"), "");
    s.Set(kHome, {"z=9"});
    EXPECT_EQ(s.Sent(kHome), "z=9");
    EXPECT_FALSE(s.log.Has("error: Cookie file cannot be read; it is left as it is."));
}

TEST(CookieFileRead, NothingAFileSaysPutsALineBreakOrNulIntoTheCookieLine) {
    Store s;
    testsupport::WriteFileBytes(s.dir.File("example_org.xml"),
                                "<cookies>"
                                "<cookie key=\".example.org,/\"><a>x&#13;&#10;Injected: 1</a></cookie>"
                                "<cookie key=\".example.org,/\"><pair name=\"b&#10;c\">1</pair></cookie>"
                                "<cookie key=\".example.org,/\"><c>line\nbreak</c></cookie>"
                                "<cookie key=\".example.org,/\"><d>semi;colon</d></cookie>"
                                "<cookie key=\".example.org,/\"><pair name=\"e=f\">1</pair></cookie>"
                                "<cookie key=\".example.org,/\"><pair name=\"\"></pair></cookie>"
                                "<cookie key=\".example.org,/&#13;&#10;X: 1\"><g>1</g></cookie>"
                                "<cookie key=\".example.org,/\"><h>x&#0;y</h></cookie>"
                                "<cookie key=\".example.org,/\"><i>\x01</i></cookie>"
                                "<cookie key=\".example.org,/\"><ok>fine</ok></cookie>"
                                "</cookies>");
    std::string line = s.Sent(kHome);
    EXPECT_FALSE(HasLineBreakOrNul(line)) << line;
    EXPECT_EQ(line.find("Injected"), std::string::npos) << line;
    EXPECT_NE(line.find("ok=fine"), std::string::npos) << line;
}

TEST(CookieFileRead, AJarReadFromBytesHoldsOnlyWellFormedCookies) {
    CookieJar jar;
    EXPECT_FALSE(CookieFile::ReadDocument("", 0, jar));
    EXPECT_FALSE(CookieFile::ReadDocument("<a", 2, jar));
    const char xml[] =
        "<cookies><cookie key=\"h.org,/\" hostOnly=\"yes\" created=\"5\" lastAccess=\"7\"><n>v</n>"
        "</cookie><cookie key=\",/\"><x>1</x></cookie><cookie key=\"h.org,rel\"><y>1</y></cookie>"
        "</cookies>";
    ASSERT_TRUE(CookieFile::ReadDocument(xml, sizeof xml - 1, jar));
    ASSERT_EQ(jar.NumCookies(), 1);
    const Cookie *c = jar.CookieAt(0);
    EXPECT_EQ(c->Name, "n");
    EXPECT_EQ(c->Value, "v");
    EXPECT_TRUE(c->HostOnly);
    EXPECT_EQ(c->Domain, "h.org");
    EXPECT_EQ(c->CreationMs, 5);
    EXPECT_EQ(c->LastAccessMs, 7);
    EXPECT_FALSE(c->Persistent);
}

TEST(CookieStore, NoDirectoryOrNoFileMeansNoCookieLine) {
    Store s;
    StringBuffer out;
    RecordingLog log;
    CookieMgr::BuildRequestCookies("/nonexistent/dir/for/cookies", "a.org", "/", false, out, log);
    EXPECT_EQ(out.Length(), 0);
    CookieMgr::BuildRequestCookies("", "a.org", "/", false, out, log);
    EXPECT_EQ(out.Length(), 0);
    EXPECT_EQ(s.Sent("a.org"), "");
    EXPECT_TRUE(log.entries.empty());
}
