// Tests of MimeHeader and MimeField: the end of the header, unfolding, the Content-Type rule, name
// clean-up, the line cap, charset detection, parameters, and serialisation with folds and encoded words.
#include <gtest/gtest.h>

#include <string>

#include "codec/Charset.h"
#include "core/StringBuffer.h"
#include "http/MimeField.h"
#include "http/MimeHeader.h"

using namespace vantry;

namespace {

std::string Field(const MimeHeader &h, const char *name) {
    StringBuffer out;
    if (!h.GetField(name, out)) {
        return "<none>";
    }
    return std::string(out.View());
}

std::string Serialised(const MimeField &f, int32_t codePage) {
    StringBuffer out;
    f.Serialise(out, codePage);
    return std::string(out.View());
}

std::string Serialised(const char *name, const char *value, int32_t codePage) {
    MimeField f;
    f.Set(name, value);
    return Serialised(f, codePage);
}

// Loads the serialised field back and returns its value.
std::string RoundTrip(const char *name, const char *value, int32_t codePage) {
    MimeHeader h;
    h.Load((Serialised(name, value, codePage) + "\r\n\r\n").c_str());
    return Field(h, name);
}

} // namespace

TEST(MimeHeader, StopsAtTheEmptyLine) {
    MimeHeader h;
    h.Load("A: 1\r\nB: 2\r\n\r\nC: 3\r\n");
    EXPECT_EQ(h.NumFields(), 2);
    EXPECT_EQ(Field(h, "C"), "<none>");
}

TEST(MimeHeader, BareLineEndsAreNormalised) {
    MimeHeader h;
    h.Load("A: 1\nB: 2\n\r\nC: 3");
    EXPECT_EQ(h.NumFields(), 2);
    EXPECT_EQ(Field(h, "b"), "2");
    h.Load("A: 1\rB: 2");
    EXPECT_EQ(Field(h, "A"), "1B: 2"); // a lone CR is removed, not a line end
    h.Load("A: 1\nB: 2");
    EXPECT_EQ(h.NumFields(), 2);
}

TEST(MimeHeader, FoldedValueIsJoinedWithoutTheFoldBlank) {
    MimeHeader h;
    h.Load("X-Long: one\r\n two\r\nNext: n\r\n\r\n");
    EXPECT_EQ(Field(h, "X-Long"), "onetwo");
    h.Load("X-Long: one\r\n\t  three\r\n\r\n");
    EXPECT_EQ(Field(h, "X-Long"), "one  three");
    h.Load("Subject: =?utf-8?Q?a?=\r\n   =?utf-8?Q?b?=\r\n\r\n");
    EXPECT_EQ(Field(h, "Subject"), "ab"); // blanks before an encoded word are dropped
}

TEST(MimeHeader, SecondContentTypeInsideReplacesTheFirst) {
    MimeHeader h;
    h.Load("Content-Type: text/plain\r\nA: 1\r\ncontent-type: text/html\r\nB: 2\r\n\r\n");
    EXPECT_EQ(h.NumFields(), 3);
    EXPECT_EQ(Field(h, "Content-Type"), "text/html");
    // The replacement takes the place of the second one, after the fields met before it.
    EXPECT_STREQ(h.FieldAt(1)->Name.Text(), "content-type");
    EXPECT_STREQ(h.FieldAt(2)->Name.Text(), "B");
}

TEST(MimeHeader, ContentTypeOnTheLastLineIsAppended) {
    MimeHeader h;
    h.Load("Content-Type: text/plain\r\nA: 1\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_EQ(h.NumFields(), 3);
    EXPECT_EQ(Field(h, "Content-Type"), "text/plain");
}

TEST(MimeHeader, NamesAreCleanedAndLinesWithoutColonDropped) {
    MimeHeader h;
    h.Load("My Header: v\r\n<a'b\">: w\r\nno colon here\r\nFrom someone@example.com\r\nZ:\r\n\r\n");
    EXPECT_EQ(Field(h, "My-Header"), "v");
    EXPECT_EQ(Field(h, "-a-b--"), "w");
    EXPECT_EQ(Field(h, "Z"), "");
    EXPECT_EQ(h.NumFields(), 3);
}

TEST(MimeHeader, TakesAtMostAThousandLines) {
    std::string text;
    for (int i = 0; i < 1005; ++i) {
        text += "F" + std::to_string(i) + ": v\r\n";
    }
    text += "\r\n";
    MimeHeader h;
    h.Load(text.c_str());
    EXPECT_EQ(h.NumFields(), 1000);
    EXPECT_TRUE(h.HasField("F999"));
    EXPECT_FALSE(h.HasField("F1000"));
}

TEST(MimeHeader, DetectsUtf8FromItsLeadBytes) {
    MimeHeader h;
    h.Load("X-Name: J\xC3\xB6rg\r\n\r\n");
    EXPECT_EQ(h.CodePage, 65001);
    EXPECT_EQ(Field(h, "X-Name"), "J\xC3\xB6rg");
}

TEST(MimeHeader, EightBitHeaderIsTakenAsAnsiAndConvertedToUtf8) {
    MimeHeader h;
    h.Load("X-Name: J\xF6rg \x80\r\n\r\n");
    EXPECT_EQ(h.CodePage, 1252);
    EXPECT_EQ(Field(h, "X-Name"), "J\xC3\xB6rg \xE2\x82\xAC");
}

TEST(MimeHeader, BytesUndefinedInAnsiFallBackToLatin1) {
    MimeHeader h;
    h.Load("X-Name: a\x81z\xE9\r\n\r\n");
    EXPECT_EQ(h.CodePage, 28591);
    EXPECT_EQ(Field(h, "X-Name"), "a\xC2\x81z\xC3\xA9");
}

TEST(MimeHeader, EncodedWordNamesTheCharsetAndIsDecoded) {
    MimeHeader h;
    h.Load("Subject: =?iso-8859-2?Q?=B1?=\r\nX: 1\r\n\r\n");
    EXPECT_EQ(h.CodePage, 28592);
    EXPECT_EQ(Field(h, "Subject"), "\xC4\x85"); // a with ogonek
    h.Load("Subject: =?koi8-r?B?9MXT1A==?=\r\n\r\n");
    EXPECT_EQ(h.CodePage, 20866);
    EXPECT_EQ(Field(h, "Subject"), "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82");
}

TEST(MimeHeader, GetFieldParamHandlesQuotesBlanksAndCase) {
    MimeHeader h;
    h.Load("Content-Type: text/html; name = \"a b\" ; CHARSET= \"utf-8\"\r\nCT: charset\r\n\r\n");
    StringBuffer out;
    EXPECT_TRUE(h.GetFieldParam("content-type", "charset", out));
    EXPECT_STREQ(out.Text(), "utf-8");
    EXPECT_TRUE(h.GetFieldParam("content-type", "name", out));
    EXPECT_STREQ(out.Text(), "a b");
    EXPECT_FALSE(h.GetFieldParam("content-type", "boundary", out));
    EXPECT_FALSE(h.GetFieldParam("CT", "charset", out));
    EXPECT_FALSE(h.GetFieldParam("missing", "charset", out));
    EXPECT_STREQ(out.Text(), "");
}

TEST(MimeHeader, ReplaceRemoveAllAndAppend) {
    MimeHeader h;
    h.Append("A", "1");
    h.Append("a", "2");
    h.Append("B", "3");
    h.Replace("A", "  new  ");
    EXPECT_EQ(h.NumFields(), 2);
    EXPECT_EQ(Field(h, "a"), "new");
    h.Replace("B", "   ");
    EXPECT_FALSE(h.HasField("B"));
    h.RemoveAll("A");
    EXPECT_EQ(h.NumFields(), 0);
}

TEST(MimeHeader, CopyFromIsDeepAndKeepsTheCodePage) {
    MimeHeader a;
    a.Load("X: J\xC3\xB6rg\r\n\r\n");
    MimeHeader b;
    b.CopyFrom(a);
    a.Clear();
    EXPECT_EQ(b.CodePage, 65001);
    EXPECT_EQ(Field(b, "X"), "J\xC3\xB6rg");
}

TEST(MimeHeader, SerialiseSkipsThePrefixAndEndsWithoutLineEnd) {
    MimeHeader h;
    h.Append("X-Cache-A", "1");
    h.Append("Server", "s");
    h.Append("x-cache-b", "2");
    StringBuffer out;
    h.Serialise(out, "X-Cache", 0);
    EXPECT_STREQ(out.Text(), "Server: s");
    StringBuffer all;
    h.Serialise(all, nullptr, 0);
    EXPECT_STREQ(all.Text(), "X-Cache-A: 1\r\nServer: s\r\nx-cache-b: 2");
}

TEST(MimeField, ParseTrimsDecodesAndUnfolds) {
    MimeField f;
    EXPECT_FALSE(f.Parse("no colon"));
    EXPECT_TRUE(f.Parse("  Name  :   a\r\n\tb\r\n c  "));
    EXPECT_STREQ(f.Name.Text(), "Name");
    EXPECT_STREQ(f.Value.Text(), "abc");
    EXPECT_TRUE(f.Parse("Subject: =?utf-8?B?SsO2cmc=?= x"));
    EXPECT_STREQ(f.Value.Text(), "J\xC3\xB6rg x");
    EXPECT_TRUE(f.Parse("X: caf\xC3\xA0")); // a trailing UTF-8 continuation byte is not a blank
    EXPECT_STREQ(f.Value.Text(), "caf\xC3\xA0");
}

TEST(MimeField, NoFoldNames) {
    MimeField f;
    f.Parse("User-Agent: x");
    EXPECT_TRUE(f.NoFold);
    f.Parse("Accept: x");
    EXPECT_FALSE(f.NoFold);
    f.Set("accept", "x");
    EXPECT_TRUE(f.NoFold);
    f.Set("ACCEPT-CHARSET", "x");
    EXPECT_TRUE(f.NoFold);
    f.Set("Server", "x");
    EXPECT_FALSE(f.NoFold);
    MimeField *copy = f.Clone();
    EXPECT_STREQ(copy->Name.Text(), "Server");
    delete copy;
}

TEST(MimeField, SerialiseFoldsAfterSemicolonOnceTheLineIsLong) {
    EXPECT_EQ(Serialised("Content-Type", "text/html; charset=utf-8", 0),
              "Content-Type: text/html;\r\n\t charset=utf-8");
    EXPECT_EQ(Serialised("CT", "a; b; c", 0), "CT: a; b; c");
    EXPECT_EQ(Serialised("X", "\"quoted; text that is long\"; b", 0),
              "X: \"quoted; text that is long\";\r\n\t b");
    EXPECT_EQ(RoundTrip("Content-Type", "text/html; charset=utf-8", 0), "text/html; charset=utf-8");
}

TEST(MimeField, NoFoldFieldsAreNeverFolded) {
    EXPECT_EQ(Serialised("User-Agent", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", 0),
              "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
}

TEST(MimeField, LongAddressListsFoldAfterCommas) {
    std::string value = "Anna Example <anna@example.com>, Bert Example <bert@example.com>, c@example.com";
    std::string out = Serialised("To", value.c_str(), 0);
    EXPECT_EQ(
        out,
        "To: Anna Example <anna@example.com>,\r\n\t Bert Example <bert@example.com>,\r\n\t c@example.com");
    EXPECT_EQ(RoundTrip("To", value.c_str(), 0), value);
    // Short, or without "@": no comma folds.
    EXPECT_EQ(Serialised("X", "aaaaaaaaaaaaaaaaaaaaa, bbbbbbbbbbbbbbbbbbbbbbbbb, cccccccccccccccccccc", 0),
              "X: aaaaaaaaaaaaaaaaaaaaa, bbbbbbbbbbbbbbbbbbbbbbbbb, cccccccccccccccccccc");
}

TEST(MimeField, EightBitValueBecomesQWordsOfTheCodePage) {
    EXPECT_EQ(Serialised("Subject", "J\xC3\xB6rg", 28591), "Subject: =?iso-8859-1?Q?J=F6rg?=");
    EXPECT_EQ(Serialised("Subject", "J\xC3\xB6rg", 65001), "Subject: =?utf-8?Q?J=C3=B6rg?=");
    EXPECT_EQ(RoundTrip("Subject", "J\xC3\xB6rg", 28591), "J\xC3\xB6rg");
}

TEST(MimeField, UnconvertibleValueIsWrittenAsUtf8Words) {
    // Cyrillic has no place in Latin-1: the UTF-8 text is encoded instead.
    EXPECT_EQ(Serialised("Subject", "\xD0\xA2", 28591), "Subject: =?utf-8?Q?=D0=A2?=");
}

TEST(MimeField, AsianCodePagesUseBWords) {
    std::string out = Serialised("Subject", "\xE6\x97\xA5\xE6\x9C\xAC", 932); // two kanji
    EXPECT_EQ(out, "Subject: =?shift_jis?B?k/qWew==?=");
    EXPECT_EQ(RoundTrip("Subject", "\xE6\x97\xA5\xE6\x9C\xAC", 932), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(Serialised("X", "plain", 50225), "X: plain");
}

TEST(MimeField, AddressPartsStayLiteralAroundEncodedNames) {
    std::string out = Serialised("From", "\"J\xC3\xB6rg M\xC3\xBCller\" <joerg@example.com>", 28591);
    EXPECT_EQ(out, "From: =?iso-8859-1?Q?J=F6rg_M=FCller?= <joerg@example.com>");
}

TEST(MimeField, EightBitParametersAreQuotedAndEncoded) {
    std::string out =
        Serialised("Content-Disposition", "attachment; filename=\"r\xC3\xA9sum\xC3\xA9.txt\"", 28591);
    EXPECT_EQ(out, "Content-Disposition: attachment;\r\n\t filename=\"=?iso-8859-1?Q?r=E9sum=E9.txt?=\"");
    EXPECT_EQ(RoundTrip("Content-Disposition", "attachment; filename=\"r\xC3\xA9sum\xC3\xA9.txt\"", 28591),
              "attachment; filename=\"r\xC3\xA9sum\xC3\xA9.txt\"");
    EXPECT_EQ(Serialised("X", "a; n=\"\xC3\xA9\"", 28591), "X: a; n=\"=?iso-8859-1?Q?=E9?=\"");
}

TEST(MimeHeader, EncodedWordsOfManyCharsetsNameTheCodePageAndDecodeToUtf8) {
    struct Case {
        const char *charset;
        const char *base64;   // the word's bytes in that charset
        const char *expected; // as UTF-8
    };
    const Case cases[] = {
        {"windows-1251", "z/Do4uXy", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"iso-8859-5", "v+DY0tXi", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"koi8-r", "8NLJ18XU", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"shift_jis", "k/qWew==", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"euc-jp", "xvzL3A==", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"gb2312", "1tDOxA==", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"big5", "pKSk5Q==", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"euc-kr", "x9Gx2w==", "\xED\x95\x9C\xEA\xB8\x80"},
        {"iso-8859-7", "5evr5+3p6tw=", "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC"},
        {"windows-1250", "jmx1nW916Gv9", "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD"},
        {"utf-8", "SsO2cmc=", "J\xC3\xB6rg"},
    };
    for (const Case &c : cases) {
        std::string text = std::string("Subject: =?") + c.charset + "?B?" + c.base64 + "?=\r\nX: 1\r\n\r\n";
        MimeHeader h;
        h.Load(text.c_str());
        EXPECT_EQ(h.CodePage, CodePageForName(c.charset)) << c.charset;
        EXPECT_NE(h.CodePage, 0) << c.charset;
        EXPECT_EQ(Field(h, "Subject"), c.expected) << c.charset;
    }
}

TEST(MimeField, SerialisedWordsLoadBackInEveryCodePage) {
    const char *value = "Gr\xC3\xBC\xC3\x9F"
                        "e aus K\xC3\xB6ln; name=\"d\xC3\xA9j\xC3\xA0 vu\"";
    for (int32_t cp : {0, 1252, 28591, 28592, 65001, 932, 936, 949, 950, 1200, 1201, 50220, 1256}) {
        EXPECT_EQ(RoundTrip("Content-Disposition", value, cp), value) << cp;
    }
}
