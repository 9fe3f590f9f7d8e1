// Tests of ClsStringArray (unique, trim and line-end rules, the count index), StringTable and StringPair.
#include <gtest/gtest.h>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "core/StringPair.h"
#include "core/StringTable.h"

using namespace vantry;

namespace {

std::string At(const ClsStringArray &a, int32_t i) {
    StringBuffer out;
    EXPECT_TRUE(a.GetString(i, out));
    return std::string(out.Text(), static_cast<size_t>(out.Length()));
}

TEST(ClsStringArray, UniqueSuppressesRepeatsSilently) {
    ClsStringArray a;
    EXPECT_TRUE(a.SetUnique(true));
    EXPECT_TRUE(a.Append("example.com"));
    EXPECT_TRUE(a.Append("example.com"));
    EXPECT_EQ(a.Count(), 1);
    EXPECT_TRUE(a.Append("Example.com")); // case differs: another text
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a.IndexedCount("example.com"), 1);
}

TEST(ClsStringArray, WithoutUniqueRepeatsAreCountedAndRemovalKeepsTheRest) {
    ClsStringArray a;
    a.Append("x");
    a.Append("y");
    a.Append("x");
    EXPECT_EQ(a.Count(), 3);
    EXPECT_EQ(a.IndexedCount("x"), 2);
    EXPECT_TRUE(a.RemoveAt(0));
    EXPECT_EQ(a.IndexedCount("x"), 1);
    EXPECT_EQ(At(a, 0), "y");
    EXPECT_EQ(At(a, 1), "x");
    EXPECT_TRUE(a.RemoveAt(1));
    EXPECT_EQ(a.IndexedCount("x"), 0);
    // Once the text has left the index, Unique lets it in again.
    a.SetUnique(true);
    a.Append("x");
    EXPECT_EQ(a.Count(), 2);
    EXPECT_FALSE(a.RemoveAt(2));
    EXPECT_FALSE(a.RemoveAt(-1));
}

TEST(ClsStringArray, DefaultLineEndsBecomeCrLfAndLoneCrIsDropped) {
    ClsStringArray a;
    a.SetUnique(true);
    a.Append("a\nb");
    a.Append("a\r\nb");
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(At(a, 0), "a\r\nb");
    a.Append("c\rd\r");
    EXPECT_EQ(At(a, 1), "cd");
}

TEST(ClsStringArray, WithCrlfClearCrLfPairsBecomeLf) {
    ClsStringArray a;
    a.SetCrlf(false);
    a.Append("a\r\nb\rc\n");
    EXPECT_EQ(At(a, 0), "a\nb\rc\n");
}

TEST(ClsStringArray, TrimRemovesTabLfCrSpaceAndNbspAtBothEndsOnly) {
    ClsStringArray a;
    a.SetTrim(true);
    a.Append("\t \xA0 a b\xA0\r\n ");
    a.Append("x\xC2\xA0"); // 0xC2 is not trimmed
    a.Append(" \t\r\n");
    EXPECT_EQ(At(a, 0), "a b");
    EXPECT_EQ(At(a, 1), "x\xC2");
    EXPECT_EQ(At(a, 2), "");
    EXPECT_EQ(a.IndexedCount("a b"), 1);
}

TEST(ClsStringArray, GetStringAppliesTheCurrentRulesAgain) {
    ClsStringArray a;
    a.Append("a\nb");
    a.SetCrlf(false);
    EXPECT_EQ(At(a, 0), "a\nb");
}

TEST(ClsStringArray, NullTextIsAnEmptyElementAndBadIndexesEmptyTheOutput) {
    ClsStringArray a;
    a.Append(nullptr);
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(At(a, 0), "");
    StringBuffer out("left over");
    EXPECT_FALSE(a.GetString(1, out));
    EXPECT_EQ(out.Length(), 0);
    EXPECT_FALSE(a.GetString(-1, out));
}

TEST(ClsStringArray, ClearEmptiesElementsAndIndex) {
    ClsStringArray a;
    a.SetUnique(true);
    a.Append("one");
    a.Append("two");
    EXPECT_TRUE(a.Clear());
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.IndexedCount("one"), 0);
    a.Append("one");
    EXPECT_EQ(a.Count(), 1);
    EXPECT_TRUE(a.Unique());
}

TEST(ClsStringArray, ConsumeAddsLikeAppendThroughTheInterface) {
    ClsStringArray a;
    a.SetUnique(true);
    StringConsumer &consumer = a;
    consumer.Consume("p");
    consumer.Consume("p");
    consumer.Consume("q\n");
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(At(a, 1), "q\r\n");
}

TEST(StringTable, StoresExactBytesAndIgnoresNullAndEmpty) {
    StringTable t;
    t.Append(nullptr);
    t.Append("");
    EXPECT_EQ(t.Count(), 0);
    t.Append("ab");
    t.Append("c");
    t.Append("def\r\n");
    EXPECT_EQ(t.Count(), 3);
    StringBuffer out("x");
    EXPECT_FALSE(t.GetString(3, out));
    EXPECT_FALSE(t.GetString(-1, out));
    ASSERT_TRUE(t.GetString(0, out));
    EXPECT_STREQ(out.Text(), "ab");
    ASSERT_TRUE(t.GetString(1, out));
    EXPECT_STREQ(out.Text(), "c");
    ASSERT_TRUE(t.GetString(2, out));
    EXPECT_STREQ(out.Text(), "def\r\n");
}

TEST(StringTable, ManyStringsSurviveGrowth) {
    StringTable t;
    for (int i = 0; i < 5000; ++i)
        t.Append(std::to_string(i * 7).c_str());
    StringBuffer out;
    for (int i = 0; i < 5000; i += 97) {
        ASSERT_TRUE(t.GetString(i, out));
        EXPECT_EQ(std::string(out.Text()), std::to_string(i * 7));
    }
}

TEST(StringPair, AbsentSidesReadEmptyAndAreCreatedOnDemand) {
    StringPair p(nullptr, "v");
    EXPECT_STREQ(p.Name(), "");
    EXPECT_STREQ(p.Value(), "v");
    StringBuffer &name = p.NameBuffer();
    EXPECT_EQ(name.GrowthIncrement(), 50);
    name.Append("n");
    EXPECT_STREQ(p.Name(), "n");
    StringPair q("", "");
    EXPECT_EQ(q.ValueBuffer().GrowthIncrement(), 100);
    EXPECT_EQ(&q.ValueBuffer(), &q.ValueBuffer());
}

} // namespace
