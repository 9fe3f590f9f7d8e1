// Tests of Charset and the name lookups: normalisation, the special names, the two tables.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "codec/Charset.h"
#include "codec/CharsetNames.h"
#include "codec/CodePageTables.h"
#include "core/StringBuffer.h"

using namespace vantry;

TEST(CharsetNames, NormalisationTrimsLowersAndMapsUnderscores) {
    EXPECT_EQ(65001, CodePageForName("UTF-8"));
    EXPECT_EQ(65001, CodePageForName("  UTF_8 \t"));
    EXPECT_EQ(28591, CodePageForName("Latin1"));
    EXPECT_EQ(949, CodePageForName("ks_c_5601-1987"));
    EXPECT_EQ(28598, CodePageForName("ISO-8859-8 Visual")); // inner space kept
    EXPECT_EQ(0, CodePageForName("iso-8859-8  visual"));
    EXPECT_EQ(0, CodePageForName("xx"));  // shorter than 3 bytes
    EXPECT_EQ(0, CodePageForName(" x ")); // 1 byte after trimming
    EXPECT_EQ(0, CodePageForName(nullptr));
    EXPECT_EQ(0, CodePageForName("no-such-charset"));
    std::string longName(500, 'a');
    EXPECT_EQ(0, CodePageForName(longName.c_str()));
    EXPECT_TRUE(IsKnownCharset("Windows-1252"));
    EXPECT_FALSE(IsKnownCharset("windows-9999"));
}

TEST(CharsetNames, TablesHaveTheirFullSizeAndAreConsistent) {
    using namespace charset_names;
    EXPECT_EQ(140, kCanonicalNameCount);
    EXPECT_EQ(404, kAliasNameCount);
    std::set<int32_t> pages;
    for (int i = 0; i < kAliasNameCount; ++i) {
        pages.insert(kAliasNames[i].codePage);
        if (i > 0) {
            EXPECT_LT(std::strcmp(kAliasNames[i - 1].name, kAliasNames[i].name), 0) << kAliasNames[i].name;
        }
        // Every alias is already in normal form, so it finds itself.
        EXPECT_EQ(kAliasNames[i].codePage, CodePageForName(kAliasNames[i].name)) << kAliasNames[i].name;
    }
    EXPECT_EQ(149u, pages.size());
    const std::set<int32_t> unnamed = {709, 21027, 50000, 50930, 50931, 50933, 50935, 50937, 50939, 51950};
    for (int32_t cp : pages)
        EXPECT_EQ(unnamed.count(cp) == 0, CanonicalCharsetName(cp) != nullptr) << cp;
    for (int i = 1; i < kCanonicalNameCount; ++i)
        EXPECT_LT(kCanonicalNames[i - 1].codePage, kCanonicalNames[i].codePage);
}

TEST(CharsetNames, NameForCodePageEmptiesTheOutputFirst) {
    StringBuffer out("stale");
    EXPECT_TRUE(NameForCodePage(1252, out));
    EXPECT_STREQ("windows-1252", out.Text());
    EXPECT_TRUE(NameForCodePage(1143, out));
    EXPECT_STREQ("ibm01143", out.Text());
    EXPECT_FALSE(NameForCodePage(12345, out));
    EXPECT_STREQ("", out.Text());
    EXPECT_TRUE(NameForCodePage(50222, out));
    EXPECT_STREQ("iso-2022-jp", out.Text());
}

TEST(Charset, SetByNameSpecialNames) {
    Charset cs;
    cs.SetByName("utf-8");
    cs.SetByName("x-user-defined");
    EXPECT_EQ(0, cs.CodePage());
    EXPECT_STREQ("", cs.Name());
    // The rule is case-sensitive: the capitalised name goes through the alias table.
    cs.SetByName("X-User-Defined");
    EXPECT_EQ(50000, cs.CodePage());
    EXPECT_STREQ("", cs.Name()); // 50000 has no canonical name
    cs.SetByName("default");
    EXPECT_EQ(0, cs.CodePage());
    cs.SetByName("utf-8");
    cs.SetByName("Default"); // not the exact special name, and no alias
    EXPECT_EQ(0, cs.CodePage());
    cs.SetByName("ANSI");
    EXPECT_EQ(1252, cs.CodePage());
    EXPECT_STREQ("windows-1252", cs.Name());
    cs.SetByName("Oem");
    EXPECT_EQ(437, cs.CodePage());
    EXPECT_STREQ("ibm437", cs.Name());
    cs.SetByName(nullptr); // nothing happens
    EXPECT_EQ(437, cs.CodePage());
}

TEST(Charset, SetByNameGivesTheCanonicalName) {
    Charset cs;
    cs.SetByName("ks_c_5601-1987");
    EXPECT_EQ(949, cs.CodePage());
    EXPECT_STREQ("ks_c_5601-1987", cs.Name());
    cs.SetByName(" SJIS ");
    EXPECT_EQ(932, cs.CodePage());
    EXPECT_STREQ("shift_jis", cs.Name());
    cs.SetByName("bogus");
    EXPECT_EQ(0, cs.CodePage());
    EXPECT_STREQ("", cs.Name());
}

TEST(Charset, SetByCodePageCopyAndClear) {
    Charset a, b;
    a.SetByCodePage(20866);
    EXPECT_STREQ("koi8-r", a.Name());
    b.CopyFrom(a);
    EXPECT_EQ(20866, b.CodePage());
    EXPECT_STREQ("koi8-r", b.Name());
    a.SetByCodePage(709); // resolvable name but no canonical one
    EXPECT_EQ(0, a.CodePage());
    EXPECT_STREQ("", a.Name());
    b.Clear();
    EXPECT_EQ(0, b.CodePage());
    EXPECT_STREQ("", b.Name());
}

TEST(CharsetNames, ConvertiblePagesAreTheListedOnes) {
    for (int32_t cp : {1200, 1201, 65000, 65001, 65005, 65006, 50220, 50221, 50222, 50225, 932,   936,
                       949,  950,  1361,  10001, 51932, 51936, 51949, 37,    437,   1252,  20924, 38598})
        EXPECT_TRUE(CodePageTables::IsConvertible(cp)) << cp;
    for (int32_t cp : {0, -1, 709, 50000, 52936, 54936, 57002, 20000, 12345})
        EXPECT_FALSE(CodePageTables::IsConvertible(cp)) << cp;
}
