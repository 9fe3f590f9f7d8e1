// Header words in legacy charsets decoded to UTF-8 through ContentCoding and the converter's tables.
#include <gtest/gtest.h>

#include "core/ContentCoding.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {
std::string Decode(const char *header) {
    ContentCoding coding;
    StringBuffer text(header);
    coding.DecodeEncodedWords(text);
    return std::string(text.Text(), static_cast<size_t>(text.Length()));
}
} // namespace

TEST(EncodedWordsCharset, LegacyCharsetsBecomeUtf8) {
    EXPECT_EQ("\xC5\x82\xC3\xB3"
              "d\xC5\xBA",
              Decode("=?iso-8859-2?Q?=B3=F3d=BC?="));
    EXPECT_EQ("\xC5\x82\xC3\xB3"
              "d\xC5\xBA",
              Decode("=?ISO-8859-2?B?s/NkvA==?="));
    EXPECT_EQ("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", Decode("=?koi8-r?B?8NLJ18XU?="));
    EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", Decode("=?shift_jis?B?k/qWe4zq?="));
    EXPECT_EQ("\xE4\xB8\xAD\xE6\x96\x87", Decode("=?gb2312?B?1tDOxA==?="));
    EXPECT_EQ("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", Decode("=?euc-kr?B?x9Gxub7u?="));
    EXPECT_EQ("\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97", Decode("=?big5?B?pKSk5aZy?="));
}

TEST(EncodedWordsCharset, WordsAmongPlainText) {
    EXPECT_EQ("Re: \xE4\xB8\xAD\xE6\x96\x87 and \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82!",
              Decode("Re: =?gb2312?B?1tDOxA==?= and =?KOI8-R?B?8NLJ18XU?=!"));
}
