// Tests of ContentCoding: Base64 encoders against OpenSSL, wrap and padding rules, strict and lenient
// decoding, Q encoding, building encoded words and decoding header values in several charsets.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/EncodingConvert.h"
#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {

std::string Encode(const std::string &in) {
    ContentCoding cc;
    StringBuffer out;
    cc.EncodeBase64(in.data(), static_cast<uint32_t>(in.size()), out);
    return std::string(out.View());
}

std::string EncodeWrapped(const std::string &in) {
    ContentCoding cc;
    StringBuffer out;
    cc.EncodeBase64Wrapped(in.data(), static_cast<uint32_t>(in.size()), out);
    return std::string(out.View());
}

// Strict decode; "FAIL" when the decoder rejects the text.
std::string Decode(const std::string &in) {
    ContentCoding cc;
    DataBuffer out;
    if (!cc.DecodeBase64(in.data(), static_cast<uint32_t>(in.size()), out)) {
        return "FAIL";
    }
    return std::string(reinterpret_cast<const char *>(out.Data()), out.Length());
}

std::string DecodeLenient(const std::string &in) {
    ContentCoding cc;
    uint32_t n = 0;
    unsigned char *block = cc.DecodeBase64Lenient(in.data(), static_cast<uint32_t>(in.size()), &n);
    if (block == nullptr) {
        return "NULL";
    }
    EXPECT_EQ(block[n], 0);
    std::string result(reinterpret_cast<const char *>(block), n);
    std::free(block);
    return result;
}

std::string EncodeQ(const std::string &in) {
    ContentCoding cc;
    uint32_t n = 0;
    char *block = cc.EncodeQ(in.data(), static_cast<uint32_t>(in.size()), &n);
    std::string result(block, n);
    EXPECT_EQ(block[n], '\0');
    std::free(block);
    return result;
}

std::string DecodeQ(const std::string &in, bool byLength = true) {
    ContentCoding cc;
    uint32_t n = 0;
    unsigned char *block = cc.DecodeQ(in.c_str(), byLength ? static_cast<uint32_t>(in.size()) : 0, &n);
    std::string result(reinterpret_cast<const char *>(block), n);
    std::free(block);
    return result;
}

std::string DecodeWords(const std::string &in) {
    ContentCoding cc;
    StringBuffer sb(in.data(), static_cast<int32_t>(in.size()), 0);
    cc.DecodeEncodedWords(sb);
    return std::string(sb.View());
}

std::string RandomBytes(std::mt19937 &rng, size_t n) {
    std::string s(n, '\0');
    for (char &c : s) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return s;
}

std::string RemoveAll(std::string s, const std::string &what) {
    for (size_t p; (p = s.find(what)) != std::string::npos;) {
        s.erase(p, what.size());
    }
    return s;
}

} // namespace

TEST(ContentCodingBase64, PaddingOfTheFinalGroup) {
    EXPECT_EQ(Encode("Man"), "TWFu");
    EXPECT_EQ(Encode("Ma"), "TWE=");
    EXPECT_EQ(Encode("M"), "TQ==");
    EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");
}

TEST(ContentCodingBase64, MatchesOpenSslOnRandomInputs) {
    std::mt19937 rng(7);
    for (size_t n = 1; n < 600; n += (n < 80 ? 1 : 37)) {
        const std::string in = RandomBytes(rng, n);
        std::vector<unsigned char> expected(4 * ((n + 2) / 3) + 1);
        const int len = EVP_EncodeBlock(expected.data(), reinterpret_cast<const unsigned char *>(in.data()),
                                        static_cast<int>(n));
        EXPECT_EQ(Encode(in), std::string(reinterpret_cast<const char *>(expected.data()), len)) << n;
        EXPECT_EQ(Decode(Encode(in)), in) << n;
        EXPECT_EQ(DecodeLenient(Encode(in)), in) << n;
        // The wrapped form is the plain form with line breaks every 72 characters and one at the end.
        EXPECT_EQ(RemoveAll(EncodeWrapped(in), "\r\n"), Encode(in)) << n;
    }
}

TEST(ContentCodingBase64, WrappedLinesAndTheAlwaysPresentFinalBreak) {
    const std::string full(54, 'a'); // exactly one 72-character line
    const std::string wrapped = EncodeWrapped(full);
    EXPECT_EQ(wrapped, Encode(full) + "\r\n\r\n");

    const std::string more(55, 'a');
    const std::string w2 = EncodeWrapped(more);
    const std::string plain = Encode(more);
    EXPECT_EQ(w2, plain.substr(0, 72) + "\r\n" + plain.substr(72) + "\r\n");
    EXPECT_EQ(plain.substr(72).size(), 4u);
    EXPECT_EQ(plain.substr(74), "==");

    EXPECT_EQ(EncodeWrapped("abc"), "YWJj\r\n");
    EXPECT_EQ(EncodeWrapped(""), "");
    ContentCoding cc;
    StringBuffer out("keep");
    cc.EncodeBase64Wrapped(nullptr, 10, out);
    EXPECT_STREQ(out.Text(), "keep");

    // The appends grow the buffer by its own rule: the increment follows the new capacity.
    StringBuffer grown("x"); // capacity 2
    cc.EncodeBase64Wrapped("abc", 3, grown);
    EXPECT_STREQ(grown.Text(), "xYWJj\r\n");
    EXPECT_EQ(grown.Capacity(), 1 + 4 + 200);
    EXPECT_EQ(grown.GrowthIncrement(), 102);

    const std::string three(108, 'z'); // two full lines
    EXPECT_EQ(EncodeWrapped(three),
              Encode(three).substr(0, 72) + "\r\n" + Encode(three).substr(72) + "\r\n\r\n");
}

TEST(ContentCodingBase64, BlockEncoder) {
    ContentCoding cc;
    uint32_t n = 99;
    EXPECT_EQ(cc.EncodeBase64Block(nullptr, 3, &n), nullptr);
    EXPECT_EQ(cc.EncodeBase64Block("abc", 0, &n), nullptr);
    char *block = cc.EncodeBase64Block("abcd", 4, &n);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(n, 8u);
    EXPECT_STREQ(block, "YWJjZA==");
    std::free(block);
}

TEST(ContentCodingBase64, StrictDecoderSkipsWhitespaceAndRejectsForeignCharacters) {
    EXPECT_EQ(Decode("TW\r\nFu IFd\toYW4="), "Man Whan");
    EXPECT_EQ(Decode("TW*u"), "FAIL");
    EXPECT_EQ(Decode("TWFu!"), "FAIL");
    EXPECT_EQ(Decode("TWFu\x80"), "FAIL");
    EXPECT_EQ(Decode("TWFu~"), "FAIL");
    // Anything after the first "=" (or a zero byte) is ignored.
    EXPECT_EQ(Decode("QQ==QUJD"), "A");
    EXPECT_EQ(Decode("QQ=*!"), "A");
    EXPECT_EQ(Decode(std::string("QUJD\0*", 6)), "ABC");
    // Leftover values: two give one byte, three give two, one gives nothing.
    EXPECT_EQ(Decode("QUJDRA"), "ABCD");
    EXPECT_EQ(Decode("QUJDREU"), "ABCDE");
    EXPECT_EQ(Decode("QUJDR"), "ABC");
    // Characters of the table range outside the alphabet are skipped.
    EXPECT_EQ(Decode("QU-J.D"), "ABC");
}

TEST(ContentCodingBase64, StrictFailureLeavesTheOutputAndSuccessReplacesIt) {
    ContentCoding cc;
    DataBuffer out;
    out.Append("old", 3);
    EXPECT_FALSE(cc.DecodeBase64("QU!J", 4, out));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.Data()), out.Length()), "old");
    EXPECT_TRUE(cc.DecodeBase64("QUJD", 4, out));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.Data()), out.Length()), "ABC");
    EXPECT_TRUE(cc.DecodeBase64(nullptr, 0, out));
    EXPECT_EQ(out.Length(), 0u);
}

TEST(ContentCodingBase64, LenientDecoderReadsForeignCharactersAsPlus) {
    EXPECT_EQ(DecodeLenient("QU*D"), Decode("QU+D"));
    EXPECT_EQ(DecodeLenient("QU\xE9"
                            "D"),
              Decode("QU+D"));
    EXPECT_EQ(DecodeLenient("QU\r\n JD"), "ABC");
    EXPECT_EQ(DecodeLenient(""), "NULL");
    EXPECT_EQ(DecodeLenient("===="), "");

    ContentCoding cc;
    StringBuffer sb("x");
    cc.AppendDecodedBase64(sb, "AAE=");
    EXPECT_EQ(std::string(sb.View()), std::string("x\0\1", 3));
    cc.AppendDecodedBase64(sb, nullptr);
    EXPECT_EQ(sb.Length(), 3);
}

TEST(ContentCodingQ, EncodeQCopiesOnlyTheSafeBytes) {
    EXPECT_EQ(EncodeQ(" "), "_");
    EXPECT_EQ(EncodeQ("_"), "=5F");
    EXPECT_EQ(EncodeQ("a=b?c"), "a=3Db=3Fc");
    for (int c = 0; c < 256; ++c) {
        const std::string one(1, static_cast<char>(c));
        const bool copied =
            (c >= 0x21 && c <= 0x3C) || c == 0x3E || (c >= 0x40 && c <= 0x5E) || (c >= 0x60 && c <= 0x7E);
        if (c == ' ') {
            continue;
        }
        if (copied) {
            EXPECT_EQ(EncodeQ(one), one) << c;
        } else {
            char expected[4];
            std::snprintf(expected, sizeof(expected), "=%02X", c);
            EXPECT_EQ(EncodeQ(one), expected) << c;
        }
    }
}

TEST(ContentCodingQ, DecodeQRules) {
    EXPECT_EQ(DecodeQ("a_b=3D=E9"), "a b=\xE9");
    EXPECT_EQ(DecodeQ("=3d"), "=3d"); // lowercase hexadecimal is not accepted
    EXPECT_EQ(DecodeQ("x=4"), "x=4");
    EXPECT_EQ(DecodeQ("x="), "x=");
    EXPECT_EQ(DecodeQ("=G1"), "=G1");
    EXPECT_EQ(DecodeQ("a b?c\x7F\x85\x9F\xA0\xFF\t"), "abc\xA0\xFF");
    EXPECT_EQ(DecodeQ(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(DecodeQ("zero_terminated", false), "zero terminated");
    std::mt19937 rng(11);
    for (int i = 0; i < 50; ++i) {
        const std::string in = RandomBytes(rng, i * 3);
        EXPECT_EQ(DecodeQ(EncodeQ(in)), in);
    }
}

TEST(ContentCodingWords, SingleWords) {
    ContentCoding cc;
    StringBuffer out;
    cc.EncodeWordB("Hello", 5, "utf-8", out);
    EXPECT_STREQ(out.Text(), "=?utf-8?B?SGVsbG8=?=");
    out.Clear();
    cc.EncodeWordQ("a b_c", 5, "iso-8859-1", out);
    EXPECT_STREQ(out.Text(), "=?iso-8859-1?Q?a_b=5Fc?=");
    out.Clear();
    cc.EncodeWordB("x", 1, nullptr, out);
    cc.EncodeWordQ("x", 0, "utf-8", out);
    cc.EncodeWordsB("x", 1, nullptr, out);
    cc.EncodeWordsQ(nullptr, 5, "utf-8", out);
    EXPECT_EQ(out.Length(), 0);
}

TEST(ContentCodingWords, ShortTextsBecomeOneWord) {
    ContentCoding cc;
    StringBuffer out;
    const std::string b23(23, 'b');
    cc.EncodeWordsB(b23.data(), 23, "utf-8", out);
    EXPECT_EQ(std::string(out.View()), "=?utf-8?B?" + Encode(b23) + "?=");
    out.Clear();
    const std::string q34(34, 'q');
    cc.EncodeWordsQ(q34.data(), 34, "utf-8", out);
    EXPECT_EQ(std::string(out.View()), "=?utf-8?Q?" + q34 + "?=");
}

TEST(ContentCodingWords, LongTextsAreCutByUtf16Length) {
    ContentCoding cc;
    StringBuffer out;
    const std::string b24(24, 'b'); // 48 bytes of UTF-16: two pieces of 12 characters
    cc.EncodeWordsB(b24.data(), 24, "utf-8", out);
    const std::string word = "=?utf-8?B?" + Encode(std::string(12, 'b')) + "?=";
    EXPECT_EQ(std::string(out.View()), word + "\r\n\t" + word);

    out.Clear();
    const std::string q40(40, 'q'); // pieces of 17, 17 and 6 characters
    cc.EncodeWordsQ(q40.data(), 40, "utf-8", out);
    EXPECT_EQ(std::string(out.View()), "=?utf-8?Q?" + std::string(17, 'q') + "?=\r\n\t=?utf-8?Q?" +
                                           std::string(17, 'q') + "?=\r\n\t=?utf-8?Q?" + std::string(6, 'q') +
                                           "?=");

    // Multi-byte characters are never cut: 30 times U+00E9 (60 bytes of UTF-8).
    out.Clear();
    std::string e;
    for (int i = 0; i < 30; ++i) {
        e += "\xC3\xA9";
    }
    cc.EncodeWordsQ(e.data(), static_cast<uint32_t>(e.size()), "UTF-8", out);
    std::string piece;
    for (int i = 0; i < 17; ++i) {
        piece += "=C3=A9";
    }
    EXPECT_TRUE(std::string(out.View()).rfind("=?UTF-8?Q?" + piece + "?=\r\n\t", 0) == 0) << out.Text();
    EXPECT_EQ(RemoveAll(DecodeWords(std::string(out.View())), "\r\n\t"), e);
}

TEST(ContentCodingWords, UnknownCharsetIsConvertedAsUtf8AndKeepsItsName) {
    ContentCoding cc;
    StringBuffer out;
    const std::string text(30, 'x');
    cc.EncodeWordsB(text.data(), 30, "x-no-such-charset", out);
    EXPECT_EQ(std::string(out.View()), "=?x-no-such-charset?B?" + Encode(std::string(12, 'x')) + "?=\r\n\t" +
                                           "=?x-no-such-charset?B?" + Encode(std::string(12, 'x')) +
                                           "?=\r\n\t" + "=?x-no-such-charset?B?" +
                                           Encode(std::string(6, 'x')) + "?=");
}

TEST(ContentCodingWords, Latin1RoundTripThroughWords) {
    ContentCoding cc;
    StringBuffer out;
    std::string latin1;
    for (int i = 0; i < 40; ++i) {
        latin1.push_back(static_cast<char>(0xC0 + i));
    }
    cc.EncodeWordsB(latin1.data(), static_cast<uint32_t>(latin1.size()), "iso-8859-1", out);
    // Every word holds at most 12 bytes of ISO-8859-1; decoding gives UTF-8.
    std::string expectedUtf8;
    for (unsigned char c : latin1) {
        expectedUtf8 += static_cast<char>(0xC0 | (c >> 6));
        expectedUtf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
    EXPECT_EQ(RemoveAll(DecodeWords(std::string(out.View())), "\r\n\t"), expectedUtf8);
}

TEST(ContentCodingWords, NamedCharsetWithoutConversionCutsTheBytesAsTheyAre) {
    // "asmo-449" is a known name with no conversion table: the text is not lost but cut as it is,
    // one byte for each UTF-16 unit a piece would hold.
    ContentCoding cc;
    StringBuffer out;
    const std::string text = std::string(20, 'a') + "\xC1\xC2" + std::string(18, 'b');
    cc.EncodeWordsQ(text.data(), static_cast<uint32_t>(text.size()), "asmo-449", out);
    EXPECT_EQ(std::string(out.View()), "=?asmo-449?Q?" + std::string(17, 'a') +
                                           "?=\r\n\t=?asmo-449?Q?aaa=C1=C2" + std::string(12, 'b') +
                                           "?=\r\n\t=?asmo-449?Q?bbbbbb?=");
    out.Clear();
    cc.EncodeWordsB(text.data(), static_cast<uint32_t>(text.size()), "asmo-449", out);
    EXPECT_EQ(std::string(out.View()), "=?asmo-449?B?" + Encode(text.substr(0, 12)) +
                                           "?=\r\n\t=?asmo-449?B?" + Encode(text.substr(12, 12)) +
                                           "?=\r\n\t=?asmo-449?B?" + Encode(text.substr(24, 12)) +
                                           "?=\r\n\t=?asmo-449?B?" + Encode(text.substr(36)) + "?=");
}

TEST(ContentCodingWords, SurrogatePairsStayInOnePiece) {
    // UTF-16LE text whose 12th and 13th units are a surrogate pair: a B piece holds 12 units.
    std::u16string units(11, u'a');
    units += u"\U0001F600";
    units += std::u16string(5, u'b');
    const std::string bytes(reinterpret_cast<const char *>(units.data()), units.size() * 2);
    ContentCoding cc;
    StringBuffer out;
    cc.EncodeWordsB(bytes.data(), static_cast<uint32_t>(bytes.size()), "utf-16le", out);
    const std::string words(out.View());
    const size_t cut = words.find("\r\n\t");
    ASSERT_NE(cut, std::string::npos);
    const std::string first = words.substr(0, cut);
    EXPECT_EQ(first, "=?utf-16le?B?" + Encode(bytes.substr(0, 22)) + "?=");
}

TEST(ContentCodingDecodeWords, TextWithoutWordsIsUnchanged) {
    EXPECT_EQ(DecodeWords("plain subject line"), "plain subject line");
    EXPECT_EQ(DecodeWords(""), "");
}

TEST(ContentCodingDecodeWords, Utf8WordsAndTheWhitespaceBetweenThem) {
    EXPECT_EQ(DecodeWords("Re: =?utf-8?B?SGVsbG8=?= =?UTF-8?Q?W=C3=B6rld?=!"), "Re: Hello W\xC3\xB6rld!");
    EXPECT_EQ(DecodeWords("=?utf-8?b?SGk=?=\r\n\t=?utf-8?q?a_b?="), "Hi\r\n\ta b");
    EXPECT_EQ(DecodeWords("=?8BIT?Q?=C3=A9?="), "\xC3\xA9");
    EXPECT_EQ(DecodeWords("[=?utf-8?Q?"
                          "?=]"),
              "[]");
    EXPECT_EQ(DecodeWords("=?utf-8?X?a_b?="), "a b"); // any selector but B is Q
}

TEST(ContentCodingDecodeWords, SingleByteCharsetsBecomeUtf8) {
    EXPECT_EQ(DecodeWords("=?iso-8859-1?Q?Caf=E9?="), "Caf\xC3\xA9");
    EXPECT_EQ(DecodeWords("=?ISO_8859-1?B?" + Encode("\xE0\xFF") + "?="), "\xC3\xA0\xC3\xBF");
    EXPECT_EQ(DecodeWords("=?windows-1252?Q?=80_5?="), "\xE2\x82\xAC 5");
    EXPECT_EQ(DecodeWords("=?us-ascii?Q?plain?="), "plain");
    EXPECT_EQ(DecodeWords("=?utf-16be?B?" + Encode(std::string("\0A\0\xE9", 4)) + "?="), "A\xC3\xA9");
}

TEST(ContentCodingDecodeWords, UnknownCharsetKeepsTheDecodedBytes) {
    EXPECT_EQ(DecodeWords("=?x-unknown?Q?=E9t=E9?="), "\xE9t\xE9");
    // A known name whose code page has no conversion: the bytes are kept rather than lost.
    EXPECT_EQ(DecodeWords("=?asmo-449?Q?=E9?="), "\xE9");
}

TEST(ContentCodingDecodeWords, MalformedWordsStayAsText) {
    // A stray "=?" that does not start an encoded word is ordinary text, and so is the rest.
    EXPECT_EQ(DecodeWords("What is 2+2=? Four"), "What is 2+2=? Four");
    EXPECT_EQ(DecodeWords("=?utf-8?Q?never closed"), "=?utf-8?Q?never closed");
    EXPECT_EQ(DecodeWords("x =?utf-8"), "x =?utf-8");
    EXPECT_EQ(DecodeWords("=?utf-8?QQ?a?="), "=?utf-8?QQ?a?=");
    // A later well-formed word is still decoded.
    EXPECT_EQ(DecodeWords("2+2=? =?utf-8?Q?vier?="), "2+2=? vier");
}

TEST(ContentCodingDecodeWords, MultiByteAndOtherSingleByteCharsets) {
    EXPECT_EQ(DecodeWords("=?ISO-2022-JP?B?GyRCJEskWyRzJDQbKEI=?="),
              "\xe3\x81\xab\xe3\x81\xbb\xe3\x82\x93\xe3\x81\x94");
    EXPECT_EQ(DecodeWords("=?iso-8859-2?Q?=AElu=BBou=E8k=FD_k=F9=F2?="),
              "\xc5\xbdlu\xc5\xa5ou\xc4\x8dk\xc3\xbd k\xc5\xaf\xc5\x88");
    EXPECT_EQ(DecodeWords("=?koi8-r?B?" + Encode("\xf0\xd2\xc9\xd7\xc5\xd4") + "?="),
              "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
}

TEST(ContentCodingWords, LongJapaneseTextInShiftJisAndIso2022Jp) {
    // 32 characters: B words of 12, 12 and 8 characters, each whole in Shift_JIS.
    const std::string utf8 = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x86\xe3\x82\xad\xe3"
                             "\x82\xb9\xe3\x83\x88\xe3\x82"
                             "\x92\xe9\x95\xb7\xe3\x81\x8f\xe6\x9b\xb8\xe3\x81\x84\xe3\x81\xa6\xe3\x81\xbf"
                             "\xe3\x81\xbe\xe3\x81\x99\xe3"
                             "\x80\x82\xe3\x81\x93\xe3\x82\x8c\xe3\x81\xaf\xe6\x8a\x98\xe3\x82\x8a\xe8\xbf"
                             "\x94\xe3\x81\x97\xe3\x81\xae"
                             "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\xe3\x81\xa7\xe3\x81\x99\xe3\x80\x82";
    const std::string sjis = "\x93\xfa\x96{\x8c\xea\x82\xcc\x83"
                             "e\x83L\x83X\x83g\x82\xf0\x92\xb7\x82\xad\x8f\x91\x82\xa2\x82\xc4\x82"
                             "\xdd\x82\xdc\x82\xb7\x81"
                             "B\x82\xb1\x82\xea\x82\xcd\x90\xdc\x82\xe8\x95\xd4\x82\xb5\x82\xcc\x83"
                             "e\x83X"
                             "\x83g\x82\xc5\x82\xb7\x81"
                             "B";
    ContentCoding cc;
    StringBuffer out;
    cc.EncodeWordsB(sjis.data(), static_cast<uint32_t>(sjis.size()), "shift_jis", out);
    const std::string words(out.View());
    EXPECT_EQ(words, "=?shift_jis?B?" + Encode(sjis.substr(0, 24)) + "?=\r\n\t=?shift_jis?B?" +
                         Encode(sjis.substr(24, 24)) + "?=\r\n\t=?shift_jis?B?" + Encode(sjis.substr(48)) +
                         "?=");
    EXPECT_EQ(RemoveAll(DecodeWords(words), "\r\n\t"), utf8);

    // ISO-2022-JP: every word is converted on its own, so each one returns to ASCII at its end.
    StringBuffer jis;
    EncodingConvert converter;
    LogNull log;
    DataBuffer iso;
    ASSERT_TRUE(converter.Convert(65001, 50220, utf8.data(), static_cast<uint32_t>(utf8.size()), iso, log));
    cc.EncodeWordsQ(reinterpret_cast<const char *>(iso.Data()), iso.Length(), "iso-2022-jp", jis);
    EXPECT_EQ(RemoveAll(DecodeWords(std::string(jis.View())), "\r\n\t"), utf8);
}

namespace {
// Runs an encoder once on bytes inside its own output buffer and once on a copy, for comparison.
template <typename Encoder>
void ExpectSameOutputWhenInputAliasesOutput(const std::string &text, Encoder encode) {
    StringBuffer self(text.c_str()); // exact-size block: the first append moves it
    encode(self.Text(), static_cast<uint32_t>(self.Length()), self);
    StringBuffer expected(text.c_str());
    encode(text.data(), static_cast<uint32_t>(text.size()), expected);
    EXPECT_EQ(self.View(), expected.View());
}
} // namespace

TEST(ContentCodingAliasing, EncodersReadTheirInputBeforeTheirOwnOutputBufferMoves) {
    ContentCoding cc;
    const std::string shortText = "short text"; // one encoded word
    const std::string longText(200, 'w');       // many lines and many words
    for (const std::string &text : {shortText, longText}) {
        ExpectSameOutputWhenInputAliasesOutput(
            text, [&](const char *in, uint32_t n, StringBuffer &out) { cc.EncodeBase64Wrapped(in, n, out); });
        ExpectSameOutputWhenInputAliasesOutput(text, [&](const char *in, uint32_t n, StringBuffer &out) {
            cc.EncodeWordB(in, n, "utf-8", out);
        });
        ExpectSameOutputWhenInputAliasesOutput(text, [&](const char *in, uint32_t n, StringBuffer &out) {
            cc.EncodeWordsB(in, n, "utf-8", out);
        });
        ExpectSameOutputWhenInputAliasesOutput(text, [&](const char *in, uint32_t n, StringBuffer &out) {
            cc.EncodeWordsQ(in, n, "utf-8", out);
        });
        // A named charset without conversion: the words are cut from the text bytes themselves.
        ExpectSameOutputWhenInputAliasesOutput(text, [&](const char *in, uint32_t n, StringBuffer &out) {
            cc.EncodeWordsB(in, n, "asmo-449", out);
        });
    }
}

TEST(ContentCodingAliasing, CharsetNameInsideTheOutputBufferIsReadBeforeItMoves) {
    ContentCoding cc;
    StringBuffer out("utf-8");
    cc.EncodeWordB("Hi", 2, out.Text(), out);
    EXPECT_EQ(out.View(), "utf-8=?utf-8?B?SGk=?=");
}
