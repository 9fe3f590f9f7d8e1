// Tests of character-reference decoding and anchor openings shared by the link readers, and of the
// seed-page href listing that reads anchors the same way.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "spider/AnchorText.h"
#include "spider/ClsHtmlUtil.h"

using namespace vantry;

namespace {
std::string Decode(const char *text) {
    StringBuffer s(text);
    anchortext::DecodeCharacterReferences(s);
    return s.Text();
}
} // namespace

TEST(CharacterReferences, NumericAndNamedReferencesAreDecoded) {
    EXPECT_EQ(Decode("?a=1&amp;b=2"), "?a=1&b=2");
    EXPECT_EQ(Decode("me&#64;x.org &#x40;&#X41;&#66"), "me@x.org @AB");
    EXPECT_EQ(Decode("&lt;&gt;&quot;&apos;&nbsp;"), "<>\"'\xC2\xA0");
    EXPECT_EQ(Decode("&#233;&#x20AC;&#x1F600;"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(CharacterReferences, UnknownOrIncompleteReferencesStay) {
    EXPECT_EQ(Decode("a&b &amp &copy; &#; &#x; &"), "a&b &amp &copy; &#; &#x; &");
    EXPECT_EQ(Decode("&#0;&#xD800;&#99999999999;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(AnchorOpening, NeedsWhiteSpaceAfterTheName) {
    const std::string text = "<abbr><A\fhref><a>";
    EXPECT_EQ(anchortext::FindTagOpening(text.c_str(), static_cast<int32_t>(text.size()), 0, "a"), 6);
    EXPECT_EQ(anchortext::FindTagOpening(text.c_str(), static_cast<int32_t>(text.size()), 7, "a"), -1);
}

TEST(GetHttpLinks, AnchorsOpenAtAnyWhiteSpaceAndHrefsAreDecoded) {
    ClsHtmlUtil util;
    ClsStringArray links;
    util.GetHttpLinks("<a\nhref=\"http://a.org/?x=1&amp;y=2\">1</a><A\tHREF=http://b.org/>2</A>"
                      "<a\r\nhref='&#104;ttp://c.org/'>3</a>",
                      links);
    std::vector<std::string> got;
    StringBuffer s;
    for (int32_t i = 0; links.GetString(i, s); ++i)
        got.push_back(s.Text());
    EXPECT_EQ(got, (std::vector<std::string>{"http://a.org/?x=1&y=2", "http://b.org/", "http://c.org/"}));
}
