// Tests of EncodingConvert: routing, byte-order marks, the UTF-8 codec rules, the error modes and the
// stateful and Unicode encodings.
#include <gtest/gtest.h>

#include <string>

#include "codec/EncodingConvert.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {
struct Result {
    bool ok;
    std::string bytes;
};

Result Conv(EncodingConvert &c, int32_t from, int32_t to, const std::string &in) {
    DataBuffer out;
    LogNull log;
    bool ok = c.Convert(from, to, in.data(), static_cast<uint32_t>(in.size()), out, log);
    return {ok, std::string(reinterpret_cast<const char *>(out.Data()), out.Length())};
}

Result Conv(int32_t from, int32_t to, const std::string &in) {
    EncodingConvert c;
    return Conv(c, from, to, in);
}

std::string U16(std::u16string s) {
    return std::string(reinterpret_cast<const char *>(s.data()), s.size() * 2);
}
} // namespace

TEST(EncodingConvert, ByteOrderMarksAreReadAndRemoved) {
    EXPECT_EQ("h\xE9", Conv(65001, 28591, "\xEF\xBB\xBFh\xC3\xA9").bytes);
    EXPECT_EQ("Ab", Conv(1200, 65001, std::string("\xFE\xFF\0A\0b", 6)).bytes);
    EXPECT_EQ("Ab", Conv(1200, 65001,
                         std::string("\xFF\xFE"
                                     "A\0b\0",
                                     6))
                        .bytes);
    EXPECT_EQ("Ab", Conv(1201, 65001, std::string("\0A\0b", 4)).bytes);
    EXPECT_EQ("Ab", Conv(1201, 65001,
                         std::string("\xFF\xFE"
                                     "A\0b\0",
                                     6))
                        .bytes);
    Result onlyMark = Conv(65001, 1252, "\xEF\xBB\xBF");
    EXPECT_TRUE(onlyMark.ok);
    EXPECT_EQ("", onlyMark.bytes);
    // A big-endian mark on 1200 text headed for 1201: the rest is already the target.
    EXPECT_EQ(std::string("\0A", 2), Conv(1200, 1201, std::string("\xFE\xFF\0A", 4)).bytes);
}

TEST(EncodingConvert, SinglePagesAndEqualPages) {
    Result r = Conv(28591, 65001, "\xE9");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("\xC3\xA9", r.bytes);
    EXPECT_EQ("\x80", Conv(65001, 1252, "\xE2\x82\xAC").bytes);
    EXPECT_EQ(U16(u"\u20AC\u201A"), Conv(1252, 1200, "\x80\x82").bytes);
    // Equal pages copy even bytes that are not valid in them.
    Result same = Conv(65001, 65001, "\xFF\xFE");
    EXPECT_TRUE(same.ok);
    EXPECT_EQ("\xFF\xFE", same.bytes);
    Result empty = Conv(1252, 65001, "");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ("", empty.bytes);
}

TEST(EncodingConvert, UnknownPagesFailWithoutOutput) {
    EXPECT_FALSE(Conv(12345, 65001, "abc").ok);
    EXPECT_FALSE(Conv(65001, 54936, "abc").ok);
    EXPECT_EQ("", Conv(65001, 54936, "abc").bytes);
    EncodingConvert c;
    DataBuffer out;
    LogNull log;
    EXPECT_FALSE(c.ConvertByName("utf-8", "no-such", "a", 1, out, log));
    EXPECT_TRUE(c.ConvertByName("UTF-8", "latin1", "\xC3\xA9", 2, out, log));
    EXPECT_TRUE(c.ConvertFromName("koi8-r", 65001, "\xC1", 1, out, log));
    EXPECT_TRUE(c.ConvertToName(1200, "us-ascii", "A\0", 2, out, log));
    EXPECT_EQ(std::string("\xE9\xD0\xB0"
                          "A"),
              std::string(reinterpret_cast<const char *>(out.Data()), out.Length()));
    EXPECT_EQ(1200, c.LastFromCodePage());
    EXPECT_EQ(20127, c.LastToCodePage());
}

TEST(EncodingConvert, AnsiIs1252) {
    EncodingConvert c;
    DataBuffer out;
    LogNull log;
    EXPECT_TRUE(c.FromAnsi(65001, "\x80", 1, out, log));
    EXPECT_TRUE(c.ToAnsi(65001, "\xC3\xA9", 2, out, log));
    EXPECT_EQ(std::string("\xE2\x82\xAC\xE9"),
              std::string(reinterpret_cast<const char *>(out.Data()), out.Length()));
}

TEST(EncodingConvert, Utf8DecoderIsBmpOnlyAndNeverFails) {
    // The BMP decodes, surrogates written as three-byte sequences included.
    EXPECT_EQ(U16(u"a\u00E9\u20AC\uFFFF"), Conv(65001, 1200, "a\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF").bytes);
    EXPECT_EQ(std::string("\x00\xD8", 2), Conv(65001, 1200, "\xED\xA0\x80").bytes);
    // Four-byte sequences, overlong forms, stray continuation bytes and cut-short sequences are dropped
    // byte by byte, and the result stays true.
    for (const char *bad : {"\xF0\x9F\x98\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\x80", "\xBF",
                            "\xC3", "\xE2\x82", "\xF8\x88\x80\x80\x80", "\xFF"}) {
        Result r = Conv(65001, 1200, std::string("a") + bad + "b");
        EXPECT_TRUE(r.ok) << bad;
        EXPECT_EQ(U16(u"ab"), r.bytes) << bad;
    }
    // A truncated sequence loses only its lead: the byte after it is decoded again.
    EXPECT_EQ(U16(u"\u00E9"), Conv(65001, 1200, "\xE2\xC3\xA9").bytes);
}

TEST(EncodingConvert, Utf8EncoderWritesPairsAsOneCharacter) {
    // A surrogate pair is written as the four-byte sequence of its character, valid UTF-8 for any reader.
    EXPECT_EQ("\xF0\x9F\x98\x80", Conv(1200, 65001, U16(u"\U0001F600")).bytes);
    // A lone surrogate keeps its three-byte form, and so do two high surrogates in a row.
    EXPECT_EQ("\xED\xB0\x80"
              "a",
              Conv(1200, 65001,
                   U16(u"\xDC00"
                       u"a"))
                  .bytes);
    EXPECT_EQ("\xED\xA0\xBD\xED\xA0\xBD", Conv(1200, 65001, U16(u"\xD83D\xD83D")).bytes);
    // The three-byte forms of a pair still decode to the same units.
    EXPECT_EQ(U16(u"\U0001F600"), Conv(65001, 1200, "\xED\xA0\xBD\xED\xB8\x80").bytes);
}

TEST(EncodingConvert, OddUtf16InputLosesItsLastByte) {
    Result le = Conv(1200, 65001, std::string("A\0B", 3));
    EXPECT_FALSE(le.ok);
    EXPECT_EQ("A", le.bytes);
    Result be = Conv(1201, 65001, std::string("\0A\0", 3));
    EXPECT_FALSE(be.ok);
    EXPECT_EQ("A", be.bytes);
    // To UTF-16BE: the units swapped.
    EXPECT_EQ(std::string("\0A\x20\xAC", 4), Conv(65001, 1201, "A\xE2\x82\xAC").bytes);
}

TEST(EncodingConvert, ErrorModeZeroDropsAndFails) {
    Result r = Conv(65001, 1252, "a\xE4\xB8\x80z"); // U+4E00 has no byte in 1252
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("az", r.bytes);
    Result undecodable = Conv(1252, 65001, "a\x81z"); // 0x81 is unmapped in 1252
    EXPECT_FALSE(undecodable.ok);
    EXPECT_EQ("az", undecodable.bytes);
}

TEST(EncodingConvert, ErrorModeOneWritesTheSubstitution) {
    EncodingConvert c;
    c.SetErrorMode(1);
    c.SetSubstitution("?", 1);
    Result r = Conv(c, 65001, 1252, "a\xE4\xB8\x80z");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("a?z", r.bytes);
    EXPECT_TRUE(c.ErrorSeen());
    EXPECT_EQ("a?z", Conv(c, 1252, 28591, "a\x81z").bytes);
    // Without substitution bytes the character is dropped and the result is false.
    c.SetSubstitution(nullptr, 0);
    r = Conv(c, 65001, 1252, "a\xE4\xB8\x80z");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("az", r.bytes);
}

TEST(EncodingConvert, ErrorModeTwoWritesCharacterReferences) {
    EncodingConvert c;
    c.SetErrorMode(2);
    Result r = Conv(c, 65001, 1252, "a\xE4\xB8\x80z");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("a&#x4E00;z", r.bytes); // by code point, not the unit's bytes in memory order
    // A surrogate pair gives the one character; from UTF-8 the four-byte sequence does too.
    EXPECT_EQ("&#x1F600;", Conv(c, 1200, 28591, U16(u"\U0001F600")).bytes);
    EXPECT_EQ("&#x1F600;", Conv(c, 65001, 1252, "\xF0\x9F\x98\x80").bytes);
    // Bytes that are no character are written as they are, in hexadecimal.
    EXPECT_EQ("a&#xFF;", Conv(c, 65001, 1252, "a\xFF").bytes);
    EXPECT_EQ("&#x81;", Conv(c, 1252, 65001, "\x81").bytes);
    // The reference is written in the target's own encoding.
    EXPECT_EQ(U16(u"&#x81;"), Conv(c, 1252, 1200, "\x81").bytes);
}

TEST(EncodingConvert, ErrorModeSixUsesTheAlternatePage) {
    EncodingConvert c;
    c.SetErrorMode(6);
    c.SetAlternateCodePage(65001);
    Result r = Conv(c, 1200, 1252, U16(u"\u00E9\u4E00\U0001F600"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("\xE9\xE4\xB8\x80\xF0\x9F\x98\x80", r.bytes);
    // Without an alternate page the target itself is tried again, which cannot work.
    c.SetAlternateCodePage(0);
    r = Conv(c, 1200, 1252, U16(u"\u00E9\u4E00"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("\xE9", r.bytes);
}

TEST(EncodingConvert, ErrorModeSevenKeepsTheRawBytes) {
    EncodingConvert c;
    c.SetErrorMode(7);
    EXPECT_EQ("a\x81z", Conv(c, 1252, 28591, "a\x81z").bytes);
    // An invalid UTF-8 sequence of the error length: a well-formed four-byte sequence whole.
    EXPECT_EQ("a\xF0\x9F\x98\x80z", Conv(c, 65001, 1252, "a\xF0\x9F\x98\x80z").bytes);
    EXPECT_EQ("\xE2z", Conv(c, 65001, 1252, "\xE2z").bytes);
    Result r = Conv(c, 1200, 1252, U16(u"\u4E00"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(std::string("\0N", 2), r.bytes);
}

TEST(EncodingConvert, TwoNonUnicodePagesGoThroughUtf16) {
    // 1252 -> 437: e-acute is 0x82 in 437; the euro sign has no byte there.
    Result r = Conv(1252, 437, "caf\xE9 \x80");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("caf\x82 ", r.bytes);
    // Shift_JIS -> EUC-JP -> Shift_JIS.
    std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA abc";
    Result euc = Conv(932, 51932, sjis);
    EXPECT_TRUE(euc.ok);
    EXPECT_EQ("\xC6\xFC\xCB\xDC\xB8\xEC abc", euc.bytes);
    EXPECT_EQ(sjis, Conv(51932, 932, euc.bytes).bytes);
    // KOI8-R -> windows-1251.
    EXPECT_EQ("\xEF\xF0\xE8\xE2\xE5\xF2", Conv(20866, 1251, "\xD0\xD2\xC9\xD7\xC5\xD4").bytes);
}

TEST(EncodingConvert, MultiByteDecodingErrors) {
    // A lead byte at the end, and a lead byte with an impossible trail byte.
    Result r = Conv(932, 65001, "a\x93");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("a", r.bytes);
    r = Conv(936, 65001, "\x81\x20x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(" x", r.bytes);
}

TEST(EncodingConvert, Utf7RoundTripsMixedText) {
    // The RFC's own example.
    EXPECT_EQ(U16(u"Hi Mom -\u263A-!"), Conv(65000, 1200, "Hi Mom -+Jjo--!").bytes);
    EXPECT_EQ(U16(u"\u65E5\u672C\u8A9E"), Conv(65000, 1200, "+ZeVnLIqe-").bytes);
    EXPECT_EQ(U16(u"a+b"), Conv(65000, 1200, "a+-b").bytes);
    const std::u16string texts[] = {u"Hi Mom -\u263A-!", u"1 + 1 = 2", u"caf\u00E9 \u65E5\u672C\u8A9E~\\",
                                    u"\U0001F600 smile", u"",          u"+++",
                                    u"A\u2262\u0391."};
    for (const std::u16string &t : texts) {
        Result enc = Conv(1200, 65000, U16(t));
        EXPECT_TRUE(enc.ok);
        for (char ch : enc.bytes)
            EXPECT_LT(static_cast<unsigned char>(ch), 0x80);
        EXPECT_EQ(U16(t), Conv(65000, 1200, enc.bytes).bytes);
    }
    EXPECT_FALSE(Conv(65000, 1200, "a\xE9").ok); // 8-bit bytes are not UTF-7
}

TEST(EncodingConvert, Utf32BothOrders) {
    std::string le("A\0\0\0\x00\xF6\x01\0", 8);
    std::string be("\0\0\0A\0\x01\xF6\x00", 8);
    EXPECT_EQ(le, Conv(65001, 65005, "A\xF0\x9F\x98\x80").bytes == le ? le : "utf8->32le");
    EXPECT_EQ(be, Conv(1200, 65006, U16(u"A\U0001F600")).bytes);
    EXPECT_EQ("A\xF0\x9F\x98\x80", Conv(65005, 65001, le).bytes);
    EXPECT_EQ("A\xF0\x9F\x98\x80", Conv(65006, 65001, be).bytes);
    // Characters beyond the BMP reach UTF-16 as surrogate pairs.
    EXPECT_EQ(U16(u"A\U0001F600"), Conv(65006, 1200, be).bytes);
    // Values that are no character, and a cut-off unit.
    Result bad = Conv(65005, 65001, std::string("\0\xD8\0\0A\0\0\0\x01", 9));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ("A", bad.bytes);
    // A lone surrogate has no UTF-32 form: the conversion ends there.
    Result lone = Conv(1200, 65005,
                       U16(u"A\xD800"
                           u"B"));
    EXPECT_FALSE(lone.ok);
    EXPECT_EQ(std::string("A\0\0\0", 4), lone.bytes);
}

TEST(EncodingConvert, Iso2022JpDecodesAndRoundTrips) {
    std::string jis = "abc\x1B$B"
                      "F|K\\8l\x1B(B def";
    Result sjis = Conv(50220, 932, jis);
    EXPECT_EQ("abc\x93\xFA\x96\x7B\x8C\xEA def", sjis.bytes);
    EXPECT_EQ(jis, Conv(932, 50220, sjis.bytes).bytes);
    EXPECT_EQ("abc\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E def", Conv(50222, 65001, jis).bytes);
    const std::u16string texts[] = {u"\u65E5\u672C\u8A9E",
                                    u"mixed \u3072\u3089\u304C\u306A and ASCII\r\n\u30AB", u"\uFF01end"};
    for (const std::u16string &t : texts) {
        Result enc = Conv(1200, 50221, U16(t));
        EXPECT_TRUE(enc.ok);
        EXPECT_EQ(U16(t), Conv(50221, 1200, enc.bytes).bytes);
    }
    // A text ending in two-byte mode gets the final return to ASCII.
    EXPECT_EQ("\x1B$BF|\x1B(B", Conv(65001, 50220, "\xE6\x97\xA5").bytes);
    // Escape sequences cut short, unknown ones, and a half pair are dropped.
    EXPECT_EQ("ab", Conv(50220, 65001, "a\x1B$B\x1B(Bb\x1B$").bytes);
    EXPECT_EQ("ab", Conv(50220, 65001, "a\x1B$(Db").bytes);
    EXPECT_EQ("\xE6\x97\xA5", Conv(50220, 65001, "\x1B$BF|K").bytes);
    // CR and LF leave two-byte mode.
    EXPECT_EQ("\xE6\x97\xA5\nF|", Conv(50220, 65001, "\x1B$BF|\nF|").bytes);
}

TEST(EncodingConvert, Iso2022KrRoundTrips) {
    std::u16string text = u"\uD55C\uAD6D\uC5B4 text \uAC00";
    Result enc = Conv(1200, 50225, U16(text));
    EXPECT_TRUE(enc.ok);
    EXPECT_EQ(0, enc.bytes.compare(0, 4, "\x1B$)C"));
    EXPECT_EQ(std::string::npos, enc.bytes.find_first_of(std::string("\x80\xFF", 2)));
    EXPECT_EQ(U16(text), Conv(50225, 1200, enc.bytes).bytes);
    EXPECT_EQ("\xC7\xD1", Conv(50225, 949,
                               "\x1B$)C\x0E"
                               "GQ\x0F")
                              .bytes);
    // Hangul outside KS X 1001 (an extended code of 949) cannot be written in 7 bits.
    EXPECT_FALSE(Conv(1200, 50225, U16(u"\uAC02")).ok);
}

TEST(EncodingConvert, MacArabicSample) {
    // Arabic letters, Arabic-Indic digits (read as ASCII digits after the rewrite), a no-break space.
    Result r = Conv(10004, 65001, "\xC7\xE4\xD9\xD1\xC8\xEA\xC9 \xB1\xB2\x81x");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9 12 x", r.bytes);
}

TEST(EncodingConvert, ArabicPagesTakePresentationFormsAndIndicDigits) {
    // Alef isolated form, the lam-alef ligature, Arabic-Indic digits one and two.
    std::string text = U16(u"\uFE8D\uFEFB \u0661\u0662");
    Result w = Conv(1200, 1256, text);
    EXPECT_TRUE(w.ok);
    EXPECT_EQ("\xC7\xE1\xC7 12", w.bytes);
    Result iso = Conv(1200, 28596, text);
    EXPECT_TRUE(iso.ok);
    EXPECT_EQ("\xC7\xE4\xC7 12", iso.bytes);
    // Other pages get no such help.
    EXPECT_FALSE(Conv(1200, 1252, U16(u"\u0661")).ok);
}
