// Tests of ParseEngine, the text cursor: seeks, captures, the quoted captures and their fall-back,
// and the cursor's bound at the end of the text.
#include <gtest/gtest.h>

#include <string>

#include "core/ParseEngine.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {

std::string QuotedCapture(const char *text, char c, bool strict, int32_t *endPos = nullptr) {
    ParseEngine pe;
    pe.Load(text);
    StringBuffer out("kept:");
    if (strict)
        pe.CaptureUntilCharQuotedStrict(c, out);
    else
        pe.CaptureUntilCharQuoted(c, out);
    if (endPos != nullptr)
        *endPos = pe.Pos();
    return out.Text();
}

} // namespace

TEST(ParseEngine, QuotedCaptureSkipsDelimitersInsideQuotes) {
    int32_t end = 0;
    EXPECT_EQ(QuotedCapture("a=\"x>y\">rest", '>', false, &end), "kept:a=\"x>y\"");
    EXPECT_EQ(end, 7);
    EXPECT_EQ(QuotedCapture("a='x>\"y'>", '>', false), "kept:a='x>\"y'");
    EXPECT_EQ(QuotedCapture("a=\"x'>y\">", '>', false), "kept:a=\"x'>y\"");
}

TEST(ParseEngine, QuotedCaptureFallsBackOnAnUnbalancedQuote) {
    int32_t end = 0;
    EXPECT_EQ(QuotedCapture("a=\"x>y", '>', false, &end), "kept:a=\"x");
    EXPECT_EQ(end, 4);
    EXPECT_EQ(QuotedCapture("no delimiter at all", '>', false, &end), "kept:no delimiter at all");
    EXPECT_EQ(end, 19);
    EXPECT_EQ(QuotedCapture("", '>', true, &end), "kept:");
    EXPECT_EQ(end, 0);
}

TEST(ParseEngine, StrictCaptureOpensNoRunRightAfterAClosingQuote) {
    // a="x""> : the quote after the closing one is plain text, so the '>' ends the capture.
    EXPECT_EQ(QuotedCapture("a=\"x\"\">b\">", '>', true), "kept:a=\"x\"\"");
    // The lenient form opens a new run there and stops at the last '>'.
    EXPECT_EQ(QuotedCapture("a=\"x\"\">b\">", '>', false), "kept:a=\"x\"\">b\"");
}

TEST(ParseEngine, SeeksIgnoreCaseAndDoNotMoveWithoutAHit) {
    ParseEngine pe;
    pe.Load("<HTML><Head><META charset=x><body>");
    EXPECT_TRUE(pe.SeekTo("<meta"));
    EXPECT_EQ(pe.Pos(), 12);
    EXPECT_TRUE(pe.SeekTo("<meta")); // already there
    EXPECT_EQ(pe.Pos(), 12);
    EXPECT_FALSE(pe.SeekTo("<table"));
    EXPECT_EQ(pe.Pos(), 12);
    StringBuffer passed;
    EXPECT_TRUE(pe.SeekPast("CHARSET=", passed));
    EXPECT_STREQ(passed.Text(), "<META charset=");
    EXPECT_EQ(pe.Current(), 'x');
    EXPECT_FALSE(pe.SeekPastExact("<BODY>"));
    EXPECT_TRUE(pe.SeekPastExact("<body>"));
    EXPECT_TRUE(pe.AtEnd());
    EXPECT_EQ(pe.Current(), '\0');
    EXPECT_FALSE(pe.SeekPast("x"));
    EXPECT_FALSE(pe.SeekTo(""));
}

TEST(ParseEngine, SeekComparesBytesAbove127Exactly) {
    ParseEngine pe;
    pe.Load("\xe4\xc4 x");
    EXPECT_FALSE(pe.SeekTo("\xc4\xc4"));
    EXPECT_TRUE(pe.SeekTo("\xc4"));
    EXPECT_EQ(pe.Pos(), 1);
}

TEST(ParseEngine, SkipAdvanceAndCaptures) {
    ParseEngine pe;
    pe.Load("  \t\nname = value; tail");
    EXPECT_EQ(pe.SkipChars(" \t\r\n"), 'n');
    StringBuffer out;
    pe.CaptureUntilAny(" =", out);
    EXPECT_STREQ(out.Text(), "name");
    EXPECT_TRUE(pe.AdvanceTo('v'));
    out.Clear();
    pe.CaptureUntilChar(';', out);
    EXPECT_STREQ(out.Text(), "value");
    EXPECT_EQ(pe.Current(), ';');
    EXPECT_FALSE(pe.AdvanceTo('#'));
    EXPECT_TRUE(pe.AtEnd());
    out.Clear();
    pe.CaptureUntilChar(';', out);
    EXPECT_STREQ(out.Text(), "");
    EXPECT_EQ(pe.SkipChars("l"), '\0');
    pe.Step(5);
    EXPECT_EQ(pe.Pos(), pe.Length());
}

TEST(ParseEngine, AdvanceToUnlessStopsOnTheStopCharacter) {
    ParseEngine pe;
    pe.Load("abc<d>e>");
    EXPECT_FALSE(pe.AdvanceToUnless('>', '<'));
    EXPECT_EQ(pe.Current(), '<');
    pe.Step();
    EXPECT_TRUE(pe.AdvanceToUnless('>', '<'));
    EXPECT_EQ(pe.Pos(), 5);
    pe.Load("abc");
    EXPECT_FALSE(pe.AdvanceToUnless('>', '<'));
    EXPECT_TRUE(pe.AtEnd());
}

TEST(ParseEngine, CaptureBalancedCountsDepth) {
    ParseEngine pe;
    pe.Load("a <b <c> d> e> tail");
    StringBuffer out;
    EXPECT_TRUE(pe.CaptureBalanced('<', '>', 1, out));
    EXPECT_STREQ(out.Text(), "a <b <c> d> e>");
    EXPECT_EQ(pe.Current(), ' ');
    out.Clear();
    pe.Load("<<x>");
    EXPECT_FALSE(pe.CaptureBalanced('<', '>', 1, out));
    EXPECT_STREQ(out.Text(), "<<x>");
    EXPECT_TRUE(pe.AtEnd());
}

TEST(ParseEngine, LoadStopsAtTheFirstZeroByte) {
    StringBuffer withZero;
    withZero.AppendBytes("ab\0<a ", 6);
    ParseEngine pe;
    pe.Load(withZero);
    EXPECT_EQ(pe.Length(), 2);
    EXPECT_FALSE(pe.SeekTo("<a"));
    StringBuffer rest;
    pe.CaptureRest(rest);
    EXPECT_STREQ(rest.Text(), "ab");
    pe.Load(static_cast<const char *>(nullptr));
    EXPECT_TRUE(pe.AtEnd());
}

// After one capture has met the end, later captures are answered from a table built for the page;
// every start offset must give what a fresh scan gives.
TEST(ParseEngine, QuotedCapturesAgreeWithFreshScansAfterAnUnbalancedQuote) {
    const char *page = "<a title=\"6\" screen\">x</a><a href='/a'>y</a><a b=\"c\"\"d>e\">f<a x='>";
    for (bool strict : {false, true}) {
        ParseEngine shared;
        shared.Load(page);
        for (int32_t from = 0; from <= shared.Length(); ++from) {
            ParseEngine fresh;
            fresh.Load(page);
            fresh.SetPos(from);
            shared.SetPos(from);
            StringBuffer a, b;
            if (strict) {
                fresh.CaptureUntilCharQuotedStrict('>', a);
                shared.CaptureUntilCharQuotedStrict('>', b);
            } else {
                fresh.CaptureUntilCharQuoted('>', a);
                shared.CaptureUntilCharQuoted('>', b);
            }
            EXPECT_STREQ(a.Text(), b.Text()) << "from " << from << (strict ? " strict" : "");
            EXPECT_EQ(fresh.Pos(), shared.Pos());
        }
    }
}

// Searches are answered from the latest one when they can be; in any order of starting points and
// markers they must give what a fresh search gives.
TEST(ParseEngine, RepeatedSeeksAgreeWithFreshSeeks) {
    const char *page = "x</A>yy</a>z<a href=1></a>tail";
    ParseEngine shared;
    shared.Load(page);
    const int32_t length = shared.Length();
    for (const char *marker : {"</a>", "</A>", "<a", "none"})
        for (bool exact : {false, true})
            for (int32_t step : {1, -1, 7}) {
                for (int32_t i = 0; i <= length; ++i) {
                    const int32_t from = step == -1 ? length - i : (i * step) % (length + 1);
                    ParseEngine fresh;
                    fresh.Load(page);
                    fresh.SetPos(from);
                    shared.SetPos(from);
                    const bool a = exact ? fresh.SeekPastExact(marker) : fresh.SeekPast(marker);
                    const bool b = exact ? shared.SeekPastExact(marker) : shared.SeekPast(marker);
                    EXPECT_EQ(a, b) << marker << " from " << from;
                    EXPECT_EQ(fresh.Pos(), shared.Pos()) << marker << " from " << from;
                }
            }
}

TEST(ParseEngine, RepeatedMissesCostOnePass) {
    std::string page(100000, 'x');
    ParseEngine pe;
    pe.Load(page.c_str());
    for (int32_t from = 0; from < 100000; from += 10) {
        pe.SetPos(from);
        EXPECT_FALSE(pe.SeekPast("</a>"));
    }
    EXPECT_LE(pe.BytesExamined(), 100000u);
}
