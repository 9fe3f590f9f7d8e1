// Tests of StringBuffer: construction and growth, editing and replace rules, case folding of
// bytes above 127, searching, splitting, and the stop on a dead or corrupted buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/DataBuffer.h"
#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {

std::string Str(const StringBuffer &sb) {
    return std::string(sb.View());
}

std::string Piece(const ExtPtrArray &a, int i) {
    return Str(*a.ElementAs<StringBuffer>(i));
}

} // namespace

TEST(StringBufferConstruction, BlocksAndIncrementsFollowTheConstructorTable) {
    StringBuffer empty;
    EXPECT_EQ(empty.Capacity(), 200);
    EXPECT_EQ(empty.GrowthIncrement(), 200);
    EXPECT_EQ(empty.Length(), 0);
    EXPECT_STREQ(empty.Text(), "");
    EXPECT_EQ(empty.LastChar(), 0);
    EXPECT_EQ(empty.CharAt(0), 0);

    StringBuffer fromText("hello");
    EXPECT_EQ(fromText.Capacity(), 6);
    EXPECT_EQ(fromText.GrowthIncrement(), 200);

    StringBuffer fromNull(static_cast<const char *>(nullptr));
    EXPECT_EQ(fromNull.Capacity(), 4);
    EXPECT_EQ(fromNull.Length(), 0);

    StringBuffer big;
    big.Append("abc");
    StringBuffer copy(big);
    EXPECT_EQ(copy.Capacity(), 4);
    EXPECT_STREQ(copy.Text(), "abc");

    StringBuffer fromBytes("a\0b", 3, 0);
    EXPECT_EQ(fromBytes.Length(), 3);
    EXPECT_EQ(fromBytes.Capacity(), 4);
    EXPECT_EQ(fromBytes.GrowthIncrement(), 200);
    EXPECT_EQ(StringBuffer("xy", 2, 17).GrowthIncrement(), 17);

    StringBuffer withIncrement(StringBuffer::Increment{50});
    EXPECT_EQ(withIncrement.Capacity(), 50);
    EXPECT_EQ(withIncrement.GrowthIncrement(), 50);
    StringBuffer zeroIncrement(StringBuffer::Increment{0});
    EXPECT_EQ(zeroIncrement.Capacity(), 200);
    EXPECT_EQ(zeroIncrement.GrowthIncrement(), 200);
}

TEST(StringBufferGrowth, AppendTextGrowsByIncrementPlusOneThenHalvesCapacity) {
    StringBuffer sb("abc"); // capacity 4, increment 200
    sb.Append("de");        // 3 + 2 >= 4: new capacity 3 + 2 + 200 + 1
    EXPECT_EQ(sb.Capacity(), 206);
    EXPECT_EQ(sb.GrowthIncrement(), 103);
    EXPECT_STREQ(sb.Text(), "abcde");
}

TEST(StringBufferGrowth, AppendCharAndAppendBytesUseTheirOwnSizes) {
    StringBuffer c("abc");
    c.AppendChar('d'); // 3 + 1 >= 4: new capacity 3 + 200 + 1
    EXPECT_EQ(c.Capacity(), 204);
    EXPECT_EQ(c.GrowthIncrement(), 102);

    StringBuffer b("abc");
    b.AppendBytes("de", 2); // new capacity 3 + 2 + 200
    EXPECT_EQ(b.Capacity(), 205);
    EXPECT_EQ(b.GrowthIncrement(), 102);
    EXPECT_STREQ(b.Text(), "abcde");
}

TEST(StringBufferGrowth, PrependAndEnsureRoomKeepTheIncrement) {
    StringBuffer p("abc");
    p.Prepend("xy");
    EXPECT_EQ(p.Capacity(), 3 + 2 + 200 + 1);
    EXPECT_EQ(p.GrowthIncrement(), 200);
    EXPECT_STREQ(p.Text(), "xyabc");

    StringBuffer e("abc");
    EXPECT_TRUE(e.EnsureRoom(10));
    EXPECT_EQ(e.Capacity(), 3 + 10 + 200 + 1);
    EXPECT_EQ(e.GrowthIncrement(), 200);
    EXPECT_TRUE(e.EnsureRoom(5)); // already fits: no change
    EXPECT_EQ(e.Capacity(), 214);
}

TEST(StringBufferGrowth, IncrementIsCappedAt500000) {
    StringBuffer sb;
    std::string chunk(300000, 'x');
    for (int i = 0; i < 10; ++i) {
        sb.Append(chunk.c_str());
    }
    EXPECT_EQ(sb.Length(), 3000000);
    EXPECT_EQ(sb.GrowthIncrement(), 500000);
    // Never more than the cap beyond the request.
    EXPECT_LE(sb.Capacity(), sb.Length() + 500000 + 1);
}

TEST(StringBufferGrowth, AppendingFromItsOwnTextSurvivesTheMove) {
    StringBuffer sb("abcdef"); // exact block: every append below must grow
    sb.Append(sb.Text() + 2);
    EXPECT_STREQ(sb.Text(), "abcdefcdef");
    StringBuffer b("0123");
    b.AppendBytes(b.Text(), 4);
    EXPECT_STREQ(b.Text(), "01230123");
    StringBuffer p("tail");
    p.Prepend(p.Text() + 2);
    EXPECT_STREQ(p.Text(), "iltail");
    StringBuffer s("abcdef");
    s.SetString(s.Text() + 3);
    EXPECT_STREQ(s.Text(), "def");
}

TEST(StringBufferAccess, ShrinkTakeAndClear) {
    StringBuffer sb;
    sb.Append("abcd");
    sb.ShrinkToFit();
    EXPECT_EQ(sb.Capacity(), 5);
    sb.ShrinkToFit();
    EXPECT_EQ(sb.Capacity(), 5);

    int32_t len = -1;
    char *block = sb.TakeData(&len);
    EXPECT_EQ(len, 4);
    EXPECT_STREQ(block, "abcd");
    std::free(block);
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), sb.GrowthIncrement());

    sb.Append("xyz");
    const int32_t cap = sb.Capacity();
    sb.Clear();
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_STREQ(sb.Text(), "");
    EXPECT_EQ(sb.Capacity(), cap);
    EXPECT_EQ(sb.CharAt(-1), 0);
}

TEST(StringBufferAppend, NumbersBytesDataAndHexDump) {
    StringBuffer sb;
    sb.AppendInt(-2147483647 - 1);
    sb.AppendChar(' ');
    sb.AppendInt(42);
    EXPECT_STREQ(sb.Text(), "-2147483648 42");
    sb.Clear();
    EXPECT_TRUE(sb.AppendBytes(nullptr, 5));
    EXPECT_TRUE(sb.AppendBytes("abc", 0));
    EXPECT_TRUE(sb.AppendBytes("abc", -3));
    sb.AppendCharN('z', 3);
    sb.Append(static_cast<const char *>(nullptr));
    EXPECT_STREQ(sb.Text(), "zzz");

    DataBuffer data;
    data.Append("q\0r", 3);
    sb.AppendData(data);
    EXPECT_EQ(sb.Length(), 6);
    EXPECT_EQ(std::string(sb.View()), std::string("zzzq\0r", 6));

    StringBuffer hex;
    unsigned char bytes[18];
    for (int i = 0; i < 18; ++i) {
        bytes[i] = static_cast<unsigned char>(0xF0 + i);
    }
    hex.AppendHexDump(bytes, 3);
    EXPECT_STREQ(hex.Text(), "F0F1 F2");
    hex.Clear();
    hex.AppendHexDump(bytes, 18);
    EXPECT_STREQ(hex.Text(), "F0F1 F2F3 F4F5 F6F7 F8F9 FAFB FCFD FEFF \n0001 ");
}

TEST(StringBufferAppend, OsErrorTextIsTrimmedPlatformMessage) {
    StringBuffer sb("  ");
    sb.AppendOsErrorText(ENOENT);
    EXPECT_STREQ(sb.Text(), "No such file or directory");
    errno = EACCES;
    StringBuffer last;
    last.AppendLastOsErrorText();
    EXPECT_STREQ(last.Text(), "Permission denied");
    StringBuffer unknown;
    unknown.AppendOsErrorText(987654);
    EXPECT_GT(unknown.Length(), 0);
}

TEST(StringBufferEdit, TrimShortenRemove) {
    StringBuffer ws(" \t\r\n\xA0 ");
    ws.Trim();
    EXPECT_EQ(ws.Length(), 0);
    StringBuffer sb("\xA0 a b \n");
    sb.Trim();
    EXPECT_STREQ(sb.Text(), "a b");

    StringBuffer s("abcdef");
    s.Shorten(2);
    EXPECT_STREQ(s.Text(), "abcd");
    s.Shorten(10);
    EXPECT_STREQ(s.Text(), "");

    StringBuffer r("abcdef");
    r.RemoveRange(1, 2);
    EXPECT_STREQ(r.Text(), "adef");
    r.RemoveRange(2, 3); // runs past the end: nothing
    EXPECT_STREQ(r.Text(), "adef");
    r.RemoveRange(4, 0);
    r.RemoveRange(-1, 1);
    EXPECT_STREQ(r.Text(), "adef");
    r.RemoveRange(2, 2);
    EXPECT_STREQ(r.Text(), "ad");

    StringBuffer t("key=value=x");
    EXPECT_EQ(t.TruncateAtChar('='), 3);
    EXPECT_STREQ(t.Text(), "key");
    EXPECT_EQ(t.TruncateAtChar('#'), 3);

    StringBuffer c("a,b,,c,");
    c.RemoveCharFrom(',', 3);
    EXPECT_STREQ(c.Text(), "a,bc");
    c.RemoveChar(',');
    EXPECT_STREQ(c.Text(), "abc");

    StringBuffer rc("a-b_c.d");
    rc.ReplaceChar('-', '+');
    EXPECT_STREQ(rc.Text(), "a+b_c.d");
    rc.ReplaceAnyChar("_.+!~", ' ');
    EXPECT_STREQ(rc.Text(), "a b c d");
}

TEST(StringBufferReplace, ReplaceAllContinuesAfterTheInsertedText) {
    StringBuffer sb("a.b.c");
    EXPECT_EQ(sb.ReplaceAll(".", ".."), 2);
    EXPECT_STREQ(sb.Text(), "a..b..c");

    StringBuffer overlap("aaaa");
    EXPECT_EQ(overlap.ReplaceAll("aa", "b"), 2);
    EXPECT_STREQ(overlap.Text(), "bb");

    StringBuffer none("abc");
    EXPECT_EQ(none.ReplaceAll("", "x"), 0);
    EXPECT_EQ(none.ReplaceAll(nullptr, "x"), 0);
    EXPECT_EQ(none.ReplaceAll("b", nullptr), 1);
    EXPECT_STREQ(none.Text(), "ac");
    EXPECT_EQ(none.ReplaceAll("Ac", "z"), 0);
}

TEST(StringBufferReplace, NoCaseFoldsOnlyAsciiLetters) {
    StringBuffer sb("Content-TYPE: x; content-type: y");
    EXPECT_EQ(sb.ReplaceAllNoCase("content-type", "CT"), 2);
    EXPECT_STREQ(sb.Text(), "CT: x; CT: y");

    StringBuffer latin("\xC4rger \xE4rger");
    EXPECT_EQ(latin.ReplaceAllNoCase("\xE4RGER", "x"), 1);
    EXPECT_STREQ(latin.Text(), "\xC4rger x");
}

TEST(StringBufferReplace, ReplaceFirstAndEntities) {
    StringBuffer sb("one two one");
    EXPECT_TRUE(sb.ReplaceFirst("one", "1"));
    EXPECT_STREQ(sb.Text(), "1 two one");
    EXPECT_FALSE(sb.ReplaceFirst("three", "3"));

    StringBuffer e("<a href=\"x&amp;y\">'</a>");
    e.EncodeEntities();
    EXPECT_STREQ(e.Text(), "&lt;a href=&quot;x&amp;amp;y&quot;&gt;'&lt;/a&gt;");
}

TEST(StringBufferReplace, BytesAfterAnEmbeddedZeroAreKept) {
    StringBuffer sb("ab\0ab", 5, 0);
    EXPECT_EQ(sb.ReplaceAll("ab", "x"), 1);
    EXPECT_EQ(Str(sb), std::string("x\0ab", 4));
}

TEST(StringBufferEdit, LineEnds) {
    StringBuffer sb("a\r\nb\nc\rd");
    sb.ToCrlf();
    EXPECT_STREQ(sb.Text(), "a\r\nb\r\ncd");
    sb.ToLf();
    EXPECT_STREQ(sb.Text(), "a\nb\ncd");
    StringBuffer lone("x\ry\r");
    lone.ToLf();
    EXPECT_STREQ(lone.Text(), "x\ry\r");
}

TEST(StringBufferCase, ToLowerFoldsLatin1CapitalsOnly) {
    std::string all;
    for (int c = 1; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    StringBuffer sb(all.c_str());
    sb.ToLower();
    for (int c = 1; c < 256; ++c) {
        int expected = c;
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) {
            expected = c + 0x20;
        }
        EXPECT_EQ(sb.CharAt(c - 1), expected) << "byte " << c;
    }
    StringBuffer one("\xC9\xDF\xD7");
    one.ToLower();
    EXPECT_STREQ(one.Text(), "\xE9\xFF\xF7");
}

TEST(StringBufferCase, ToUpperRaisesLatin1SmallsOnly) {
    std::string all;
    for (int c = 1; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    StringBuffer sb(all.c_str());
    sb.ToUpper();
    for (int c = 1; c < 256; ++c) {
        int expected = c;
        if ((c >= 'a' && c <= 'z') || c >= 0xE0) {
            expected = c - 0x20;
        }
        EXPECT_EQ(sb.CharAt(c - 1), expected) << "byte " << c;
    }
}

TEST(StringBufferCase, CaseConversionStopsAtTheFirstZeroByte) {
    StringBuffer sb("ab\0cd", 5, 0);
    sb.ToUpper();
    EXPECT_EQ(Str(sb), std::string("AB\0cd", 5));
}

TEST(StringBufferSearch, ContainsRules) {
    StringBuffer sb("Hello World");
    EXPECT_TRUE(sb.Contains(""));
    EXPECT_FALSE(sb.Contains(nullptr));
    EXPECT_TRUE(sb.Contains("o W"));
    EXPECT_FALSE(sb.Contains("world"));
    EXPECT_FALSE(sb.ContainsNoCase(""));
    EXPECT_FALSE(sb.ContainsNoCase(nullptr));
    EXPECT_TRUE(sb.ContainsNoCase("world"));
    EXPECT_FALSE(sb.ContainsNoCase("worlds"));

    StringBuffer latin("Stra\xC4"
                       "e");
    EXPECT_FALSE(latin.ContainsNoCase("stra\xE4"));
    EXPECT_TRUE(latin.ContainsNoCase("STRA\xC4"));

    EXPECT_TRUE(sb.ContainsChar('W'));
    EXPECT_FALSE(sb.ContainsChar('w'));
    EXPECT_EQ(sb.CountChar('l'), 3);

    StringBuffer hidden("ab\0needle", 9, 0);
    EXPECT_FALSE(hidden.Contains("needle"));
    EXPECT_FALSE(hidden.ContainsChar('n'));
}

TEST(StringBufferSearch, FindNoCaseReturnsTheFirstMatch) {
    const char *hay = "xxABcabc";
    EXPECT_EQ(FindNoCase(hay, "abc"), hay + 2);
    EXPECT_EQ(FindNoCase(hay, ""), nullptr);
    EXPECT_EQ(FindNoCase(hay, nullptr), nullptr);
    EXPECT_EQ(FindNoCase(nullptr, "a"), nullptr);
    EXPECT_EQ(FindNoCase("ab", "abc"), nullptr);
}

TEST(StringBufferSearch, PrefixSuffixAndEquality) {
    StringBuffer sb("index.html");
    EXPECT_TRUE(sb.BeginsWith(""));
    EXPECT_FALSE(sb.BeginsWith(nullptr));
    EXPECT_TRUE(sb.BeginsWith("index"));
    EXPECT_TRUE(sb.EndsWith(""));
    EXPECT_FALSE(sb.EndsWith(nullptr));
    EXPECT_TRUE(sb.EndsWith(".html"));
    EXPECT_FALSE(sb.EndsWith("xindex.html"));
    EXPECT_FALSE(sb.EndsWith(".HTML"));

    EXPECT_TRUE(sb.Equals("index.html"));
    EXPECT_FALSE(sb.Equals("index.htm"));
    EXPECT_FALSE(sb.Equals(nullptr));
    EXPECT_TRUE(StringBuffer().Equals(nullptr));
    EXPECT_TRUE(StringBuffer().EqualsNoCase(nullptr));
    EXPECT_TRUE(sb.EqualsNoCase("INDEX.HTML"));
    EXPECT_FALSE(sb.EqualsNoCase("INDEX.HTM"));
    EXPECT_FALSE(StringBuffer("\xE4").EqualsNoCase("\xC4"));

    StringBuffer other("INDEX.HTML");
    EXPECT_TRUE(sb.EqualsBufferNoCase(other));
    StringBuffer longer("INDEX.HTML\0x", 12, 0);
    EXPECT_FALSE(sb.EqualsBufferNoCase(longer));
}

TEST(StringBufferSearch, SevenBitAndToInt) {
    EXPECT_TRUE(StringBuffer().Is7Bit());
    EXPECT_TRUE(StringBuffer("abc\x7F").Is7Bit());
    EXPECT_FALSE(StringBuffer("ab\x80").Is7Bit());

    EXPECT_EQ(StringBuffer().ToInt(), 0);
    EXPECT_EQ(StringBuffer("abc").ToInt(), 0);
    EXPECT_EQ(StringBuffer("  -42xyz").ToInt(), -42);
    EXPECT_EQ(StringBuffer("+7").ToInt(), 7);
    EXPECT_EQ(StringBuffer("99999999999").ToInt(), 2147483647);
    EXPECT_EQ(StringBuffer("-99999999999").ToInt(), -2147483647 - 1);
}

TEST(StringBufferSplit, SplitOnCharKeepsEmptyPieces) {
    ExtPtrArray out;
    StringBuffer("a,,b,").SplitOnChar(',', false, false, out);
    ASSERT_EQ(out.Count(), 4);
    EXPECT_EQ(Piece(out, 0), "a");
    EXPECT_EQ(Piece(out, 1), "");
    EXPECT_EQ(Piece(out, 2), "b");
    EXPECT_EQ(Piece(out, 3), "");
    EXPECT_EQ(out.ElementAs<StringBuffer>(0)->Capacity(), 2); // shrunk to fit

    ExtPtrArray none;
    StringBuffer().SplitOnChar(',', true, true, none);
    EXPECT_EQ(none.Count(), 0);

    ExtPtrArray single;
    StringBuffer(",").SplitOnChar(',', false, false, single);
    EXPECT_EQ(single.Count(), 2);
}

TEST(StringBufferSplit, SplitOnCharQuotesAndEscapes) {
    ExtPtrArray quoted;
    StringBuffer("x,\"a,b\",y").SplitOnChar(',', true, false, quoted);
    ASSERT_EQ(quoted.Count(), 3);
    EXPECT_EQ(Piece(quoted, 1), "\"a,b\"");

    ExtPtrArray plain;
    StringBuffer("x,\"a,b\",y").SplitOnChar(',', false, false, plain);
    EXPECT_EQ(plain.Count(), 4);

    ExtPtrArray escaped;
    StringBuffer("a\\,b,c\\\"d,e\\").SplitOnChar(',', true, true, escaped);
    ASSERT_EQ(escaped.Count(), 3);
    EXPECT_EQ(Piece(escaped, 0), "a\\,b");
    EXPECT_EQ(Piece(escaped, 1), "c\\\"d");
    EXPECT_EQ(Piece(escaped, 2), "e\\");
}

TEST(StringBufferSplit, SplitOnTextSkipsRunsAndStopsAtTheLimit) {
    ExtPtrArray out;
    StringBuffer("::a::b::::c::").SplitOnText("::", out, 0);
    ASSERT_EQ(out.Count(), 3);
    EXPECT_EQ(Piece(out, 0), "a");
    EXPECT_EQ(Piece(out, 1), "b");
    EXPECT_EQ(Piece(out, 2), "c");

    ExtPtrArray limited;
    StringBuffer("a b c d").SplitOnText(" ", limited, 2);
    ASSERT_EQ(limited.Count(), 2);
    EXPECT_EQ(Piece(limited, 1), "b");

    ExtPtrArray caseSensitive;
    StringBuffer("aXbxc").SplitOnText("x", caseSensitive, 10);
    ASSERT_EQ(caseSensitive.Count(), 2);
    EXPECT_EQ(Piece(caseSensitive, 0), "aXb");

    ExtPtrArray emptySep;
    StringBuffer("abc").SplitOnText("", emptySep, 5);
    ASSERT_EQ(emptySep.Count(), 1);
    EXPECT_EQ(Piece(emptySep, 0), "abc");

    ExtPtrArray onlySeps;
    StringBuffer(";;;").SplitOnText(";", onlySeps, 0);
    EXPECT_EQ(onlySeps.Count(), 0);
}

TEST(StringBufferSplit, SplitNameValue) {
    StringBuffer name("old"), value("old");
    StringBuffer("  charset = \"utf-8\" ").SplitNameValue(name, value);
    EXPECT_STREQ(name.Text(), "charset");
    EXPECT_STREQ(value.Text(), "utf-8");

    StringBuffer("a=b=c").SplitNameValue(name, value);
    EXPECT_STREQ(name.Text(), "a");
    EXPECT_STREQ(value.Text(), "b=c");

    StringBuffer(" novalue ").SplitNameValue(name, value);
    EXPECT_STREQ(name.Text(), "novalue");
    EXPECT_STREQ(value.Text(), "");

    StringBuffer("k=\"").SplitNameValue(name, value);
    EXPECT_STREQ(value.Text(), "");
}

TEST(StringBufferSet, SetAndAssign) {
    StringBuffer sb("abc");
    StringBuffer other("xyz!");
    sb = other;
    EXPECT_STREQ(sb.Text(), "xyz!");
    StringBuffer &alias = sb;
    sb = alias;
    EXPECT_STREQ(sb.Text(), "xyz!");
    sb.SetString(nullptr);
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_TRUE(sb.SetString("q"));
    EXPECT_STREQ(sb.Text(), "q");
}

TEST(StringBufferConvert, AnsiConversionsAndARefusedCodePageKeepsTheText) {
    StringBuffer sb("Caf\xC3\xA9");
    EXPECT_TRUE(sb.ConvertToAnsi(65001));
    EXPECT_STREQ(sb.Text(), "Caf\xE9");
    EXPECT_TRUE(sb.ConvertFromAnsi(65001));
    EXPECT_STREQ(sb.Text(), "Caf\xC3\xA9");
    // A code page the converter does not support: failure, and the text is not lost.
    EXPECT_FALSE(sb.ConvertToAnsi(12345));
    EXPECT_STREQ(sb.Text(), "Caf\xC3\xA9");
    EXPECT_FALSE(sb.ConvertFromAnsi(12345));
    EXPECT_STREQ(sb.Text(), "Caf\xC3\xA9");
    // A character without a place in the ANSI code page is a failure of the conversion itself.
    StringBuffer lossy("x\xE6\x97\xA5");
    EXPECT_FALSE(lossy.ConvertToAnsi(65001));
}

TEST(StringBufferGrowth, HexDumpGrowsByTheAppendRule) {
    StringBuffer sb("a"); // capacity 2: the first digit already grows it as AppendChar does
    const unsigned char bytes[3] = {1, 2, 3};
    sb.AppendHexDump(bytes, 3);
    EXPECT_STREQ(sb.Text(), "a0102 03");
    EXPECT_EQ(sb.Capacity(), 1 + 200 + 1);
    EXPECT_EQ(sb.GrowthIncrement(), 101);
}

namespace {
void AppendToDestroyedBuffer() {
    alignas(StringBuffer) unsigned char storage[sizeof(StringBuffer)];
    StringBuffer *sb = new (storage) StringBuffer("text");
    sb->~StringBuffer();
    sb->Append("more");
}

// Under the sanitizers their type check may stop the use of the dead object first, itself with a
// message on stderr; the plain build relies on the buffer's own marker.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char *kDeadBufferMessage = "destroyed or corrupted|does not point to an object";
#else
constexpr const char *kDeadBufferMessage = "destroyed or corrupted";
#endif
} // namespace

TEST(StringBufferDeathTest, DestroyedBufferStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(AppendToDestroyedBuffer(), kDeadBufferMessage);
}

TEST(StringBufferDeathTest, CorruptedMarkerStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            StringBuffer sb("text");
            // Overwrite every byte after the virtual table pointer: the marker is among them.
            unsigned char *raw = reinterpret_cast<unsigned char *>(&sb) + sizeof(void *);
            std::memset(raw, 0x55, sizeof(StringBuffer) - sizeof(void *));
            (void)sb.Length();
        },
        "destroyed or corrupted");
}

TEST(StringBufferAliasing, HexDumpOfItsOwnTextEqualsADumpOfACopy) {
    // An exact-size block: the first appended character moves it, and the source with it.
    const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz0123456789";
    StringBuffer self(text.c_str());
    self.AppendHexDump(self.Text(), self.Length());
    StringBuffer expected(text.c_str());
    expected.AppendHexDump(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(self.View(), expected.View());
}
