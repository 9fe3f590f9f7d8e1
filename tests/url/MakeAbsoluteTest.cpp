// Tests of MakeAbsolute and the reference resolver against RFC 3986 section 5.4 (base
// http://a/b/c/d;p?q), plus the link rules that sit on top of the resolver.
#include <gtest/gtest.h>

#include <string>

#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "url/UrlResolver.h"
#include "url/UrlUtil.h"

using namespace vantry;

namespace {

constexpr const char *kBase = "http://a/b/c/d;p?q";

std::string Resolve(const char *ref) {
    StringBuffer link(ref);
    LogNull log;
    if (!MakeAbsolute(link, kBase, log))
        return "<failed>";
    return link.Text();
}

} // namespace

TEST(MakeAbsolute, Rfc3986NormalExamples) {
    const char *table[][2] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    };
    for (auto &row : table)
        EXPECT_EQ(Resolve(row[0]), row[1]) << row[0];
}

TEST(MakeAbsolute, Rfc3986AbnormalExamples) {
    const char *table[][2] = {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"}, // strict parsers keep it; links starting with "http:" stay as they are
    };
    for (auto &row : table)
        EXPECT_EQ(Resolve(row[0]), row[1]) << row[0];
}

TEST(MakeAbsolute, AbsoluteHttpLinksStayUnchanged) {
    EXPECT_EQ(Resolve("HTTPS://x.example/../a b"), "HTTPS://x.example/../a b");
    EXPECT_EQ(Resolve("http://x.example/./y"), "http://x.example/./y");
}

TEST(MakeAbsolute, FailsWithoutAnAbsoluteBaseAndLeavesTheLink) {
    StringBuffer link("g");
    LogNull log;
    EXPECT_FALSE(MakeAbsolute(link, "/relative/base", log));
    EXPECT_STREQ(link.Text(), "g");
    EXPECT_FALSE(MakeAbsolute(link, nullptr, log));
    EXPECT_FALSE(MakeAbsolute(link, "", log));
}

TEST(MakeAbsolute, KeepsTheLengthLimit) {
    LogNull log;
    std::string base = "http://h.example/";
    std::string fits(kMaxAbsoluteUrlLength - base.size(), 'x');
    StringBuffer ok(fits.c_str());
    ASSERT_TRUE(MakeAbsolute(ok, base.c_str(), log));
    EXPECT_EQ(ok.Length(), kMaxAbsoluteUrlLength);
    std::string tooLong = fits + "y";
    StringBuffer bad(tooLong.c_str());
    EXPECT_FALSE(MakeAbsolute(bad, base.c_str(), log));
    EXPECT_STREQ(bad.Text(), tooLong.c_str());
}

TEST(MakeAbsolute, EncodesSpacesAndControlBytes) {
    EXPECT_EQ(Resolve("my page.html"), "http://a/b/c/my%20page.html");
    EXPECT_EQ(Resolve("a\tb\x7f"), "http://a/b/c/a%09b%7F");
}

TEST(ResolveUrlReference, BaseWithoutPathAndBaseFragment) {
    StringBuffer out;
    ASSERT_TRUE(ResolveUrlReference("http://h.example", "x/y", out));
    EXPECT_STREQ(out.Text(), "http://h.example/x/y");
    ASSERT_TRUE(ResolveUrlReference("http://h.example/a/b#frag", "", out));
    EXPECT_STREQ(out.Text(), "http://h.example/a/b");
    ASSERT_TRUE(ResolveUrlReference("http://h.example/a/b?q", "//other.example", out));
    EXPECT_STREQ(out.Text(), "http://other.example");
    EXPECT_FALSE(ResolveUrlReference("no-scheme/a", "b", out));
    EXPECT_STREQ(out.Text(), "");
}
