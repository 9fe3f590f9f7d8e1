// Tests of XString: the three views, lazy conversion between them and the ANSI exactness state.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/XString.h"

using namespace vantry;

namespace {
std::u16string U16(const uint16_t *p) {
    return std::u16string(reinterpret_cast<const char16_t *>(p));
}
} // namespace

TEST(XString, NewAndClearedTextIsEmptyInEveryView) {
    XString x;
    EXPECT_STREQ(x.GetAnsi(), "");
    EXPECT_STREQ(x.GetUtf8(), "");
    ASSERT_NE(x.GetUtf16(), nullptr);
    EXPECT_EQ(x.GetUtf16()[0], 0);
    EXPECT_EQ(x.Length(), 0);
    EXPECT_TRUE(x.IsAnsiExact());

    x.SetUtf8("abc");
    x.SetUtf8(nullptr);
    EXPECT_STREQ(x.GetAnsi(), "");
    EXPECT_EQ(x.Length(), 0);
    x.SetAnsi("abc");
    x.SetAnsi("");
    EXPECT_STREQ(x.GetUtf8(), "");
    const uint16_t empty[] = {0};
    x.SetUtf8("abc");
    x.SetUtf16(empty);
    EXPECT_EQ(x.GetUtf16()[0], 0);
    EXPECT_STREQ(x.GetUtf8(), "");
}

TEST(XString, Utf8ViewConvertsToAnsiAndUtf16) {
    XString x;
    x.SetUtf8("Caf\xC3\xA9");
    EXPECT_EQ(x.Length(), 4); // UTF-16 code units while the ANSI view is not produced
    EXPECT_EQ(U16(x.GetUtf16()), u"Caf\u00E9");
    EXPECT_STREQ(x.GetAnsi(), "Caf\xE9");
    EXPECT_EQ(x.AnsiLength(), 4);
    EXPECT_TRUE(x.IsAnsiExact());
    EXPECT_STREQ(x.GetUtf8(), "Caf\xC3\xA9");
}

TEST(XString, AnsiViewIsExactAndConvertsToUtf8) {
    XString x;
    x.SetAnsi("\xE9t\xE9");
    EXPECT_TRUE(x.IsAnsiExact());
    EXPECT_STREQ(x.GetUtf8(), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(x.Length(), 3);
    EXPECT_EQ(U16(x.GetUtf16()), u"\u00E9t\u00E9");
    EXPECT_STREQ(x.Utf8Buffer().Text(), "\xC3\xA9t\xC3\xA9");
}

TEST(XString, AnsiCodePageIsWindows1252) {
    XString x;
    x.SetAnsi("\x80 \x9F");
    EXPECT_STREQ(x.GetUtf8(), "\xE2\x82\xAC \xC5\xB8");
    XString back;
    back.SetUtf8("\xE2\x82\xAC");
    EXPECT_TRUE(back.IsAnsiExact());
    EXPECT_STREQ(back.GetAnsi(), "\x80");
}

TEST(XString, Utf16WithSurrogatesCountsCodeUnits) {
    const uint16_t text[] = {'a', 0xD83D, 0xDE00, 0};
    XString x;
    x.SetUtf16(text);
    EXPECT_EQ(x.Length(), 3);
    EXPECT_FALSE(x.IsAnsiExact());
    EXPECT_STREQ(x.GetAnsi(), "a");
    EXPECT_EQ(x.Length(), 1); // the ANSI view is valid now: its byte length
}

TEST(XString, LossyTextStaysNotExactWithoutFurtherConversion) {
    XString x;
    x.SetUtf8("x\xE6\x97\xA5"); // U+65E5 has no place in code page 1252
    EXPECT_FALSE(x.IsAnsiExact());
    // The state is kept: even a text now pure ASCII in the UTF-8 view is not looked at again.
    x.Utf8Buffer().SetString("plain");
    EXPECT_FALSE(x.IsAnsiExact());
    // Setting a new text starts over.
    x.SetUtf8("plain");
    EXPECT_TRUE(x.IsAnsiExact());
}
