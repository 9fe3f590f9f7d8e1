// Logger: the context tree, value-name rules and the XML, HTML and text renderings byte for byte.
#include "log/Logger.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "support/TestSupport.h"

using namespace vantry;

namespace {

std::string Xml(LogBase &log) {
    StringBuffer out;
    log.GetLogXml(out);
    return std::string(out.View());
}
std::string Html(LogBase &log) {
    StringBuffer out;
    log.GetLogHtml(out);
    return std::string(out.View());
}
std::string Text(LogBase &log) {
    StringBuffer out;
    log.GetLogText(out);
    return std::string(out.View());
}

// A small nested log with every kind of entry.
void FillNested(Logger &log) {
    log.LogInfo("starting");
    log.EnterContext("QuickGetHtml");
    log.LogData("url", "http://a.example/?x=1&y=2");
    log.EnterContext("HttpGet");
    log.LogDataInt("statusCode", 404);
    log.LogError("Failed <badly>");
    log.LogRaw("<raw/>");
    log.LeaveContext();
    log.LogInfo("done");
    log.LeaveContext();
}

} // namespace

TEST(Logger, NewLogRendersTheEmptyRoot) {
    Logger log;
    EXPECT_EQ(Xml(log), "<VantryLog>\r\n</VantryLog>\r\n");
    EXPECT_EQ(Html(log), "VantryLog:<blockquote>\r\n</blockquote>\r\n");
    EXPECT_EQ(Text(log), "VantryLog:\r\n");
}

TEST(Logger, NestedLogRendersAsXml) {
    Logger log;
    FillNested(log);
    EXPECT_EQ(Xml(log), "<VantryLog>\r\n"
                        "<info>starting</info>\r\n"
                        "<QuickGetHtml>\r\n"
                        "<url><![CDATA[http://a.example/?x=1&y=2]]></url>\r\n"
                        "<HttpGet>\r\n"
                        "<statusCode>404</statusCode>\r\n"
                        "<error><![CDATA[Failed <badly>]]></error>\r\n"
                        "<raw/>\r\n"
                        "</HttpGet>\r\n"
                        "<info>done</info>\r\n"
                        "</QuickGetHtml>\r\n"
                        "</VantryLog>\r\n");
}

TEST(Logger, NestedLogRendersAsHtml) {
    Logger log;
    FillNested(log);
    EXPECT_EQ(Html(log), "VantryLog:<blockquote>\r\n"
                         "starting<br>\r\n"
                         "QuickGetHtml:<blockquote>\r\n"
                         "url: http://a.example/?x=1&amp;y=2<br>\r\n"
                         "HttpGet:<blockquote>\r\n"
                         "statusCode: 404<br>\r\n"
                         "Failed &lt;badly&gt;<br>\r\n"
                         "&lt;raw/&gt;<br>\r\n"
                         "</blockquote>\r\n"
                         "done<br>\r\n"
                         "</blockquote>\r\n"
                         "</blockquote>\r\n");
}

TEST(Logger, NestedLogRendersAsIndentedText) {
    Logger log;
    FillNested(log);
    EXPECT_EQ(Text(log), "VantryLog:\r\n"
                         "  starting\r\n"
                         "  QuickGetHtml:\r\n"
                         "    url: http://a.example/?x=1&y=2\r\n"
                         "    HttpGet:\r\n"
                         "      statusCode: 404\r\n"
                         "      Failed <badly>\r\n"
                         "      <raw/>\r\n"
                         "    done\r\n");
}

TEST(Logger, XmlWrapsOnlyTextsThatNeedIt) {
    Logger log;
    log.LogError("plain text; \"quoted\" and 'single'");
    log.LogError("line\nbreak");
    log.LogError("tab\there");
    log.LogInfo("<![CDATA[already]]>");
    log.LogInfo("a]]>b<c");
    EXPECT_EQ(Xml(log), "<VantryLog>\r\n"
                        "<error>plain text; \"quoted\" and 'single'</error>\r\n"
                        "<error><![CDATA[line\nbreak]]></error>\r\n"
                        "<error><![CDATA[tab\there]]></error>\r\n"
                        "<info><![CDATA[already]]></info>\r\n"
                        // A lone end marker is split so it cannot close the section early.
                        "<info><![CDATA[a]]]]><![CDATA[>b<c]]></info>\r\n"
                        "</VantryLog>\r\n");
}

TEST(Logger, LogDataNameRules) {
    Logger log;
    EXPECT_TRUE(log.LogData("  my value name ", "v"));
    EXPECT_FALSE(log.LogData("   ", "v"));
    EXPECT_FALSE(log.LogData("", "v"));
    EXPECT_FALSE(log.LogData(nullptr, "v"));
    EXPECT_FALSE(log.LogData("name", nullptr));
    EXPECT_TRUE(log.LogData("empty", ""));
    EXPECT_EQ(Text(log), "VantryLog:\r\n  my_value_name: v\r\n  empty: \r\n");
}

TEST(Logger, NumbersAndTickCount) {
    Logger log;
    EXPECT_TRUE(log.LogDataInt("neg", -2147483647 - 1));
    EXPECT_TRUE(log.LogDataInt("zero", 0));
    EXPECT_FALSE(log.LogDataInt(" ", 5));
    log.LogTickCount("tick");
    std::string text = Text(log);
    EXPECT_TRUE(std::regex_match(text, std::regex("VantryLog:\r\n  neg: -2147483648\r\n  zero: 0\r\n"
                                                  "  tick: [0-9a-f]+\r\n")))
        << text;
}

TEST(Logger, NullTextsRecordNothing) {
    Logger log;
    EXPECT_TRUE(log.LogError(nullptr));
    EXPECT_TRUE(log.LogInfo(nullptr));
    EXPECT_TRUE(log.LogRaw(nullptr));
    EXPECT_EQ(Text(log), "VantryLog:\r\n");
}

TEST(Logger, LeaveContextAtTheRootChangesNothing) {
    Logger log;
    EXPECT_TRUE(log.LeaveContext());
    EXPECT_TRUE(log.LeaveContext());
    log.LogInfo("in root");
    log.EnterContext("A");
    log.LeaveContext();
    log.LeaveContext();
    log.LogInfo("still root");
    EXPECT_EQ(Text(log), "VantryLog:\r\n  in root\r\n  A:\r\n  still root\r\n");
}

TEST(Logger, ClearLogStartsAgainWithOnlyTheRootOpen) {
    Logger log;
    log.EnterContext("Open");
    log.LogError("x");
    EXPECT_TRUE(log.ClearLog());
    log.LogInfo("after");
    EXPECT_EQ(Xml(log), "<VantryLog>\r\n<info>after</info>\r\n</VantryLog>\r\n");
}

TEST(Logger, RenderingReplacesTheOutput) {
    Logger log;
    StringBuffer out("previous contents");
    log.GetLogText(out);
    EXPECT_EQ(std::string(out.View()), "VantryLog:\r\n");
}

TEST(Logger, LogContextClosesOnEveryPath) {
    Logger log;
    auto op = [&](bool early) {
        LogContext ctx(log, "Op");
        if (early)
            return;
        log.LogInfo("late");
    };
    op(true);
    op(false);
    log.LogInfo("root");
    EXPECT_EQ(Text(log), "VantryLog:\r\n  Op:\r\n  Op:\r\n    late\r\n  root\r\n");
}

TEST(Logger, SaveLogXmlWritesTheXmlRendering) {
    testsupport::TempDir dir;
    Logger log;
    FillNested(log);
    std::string name = dir.File("log.xml");
    EXPECT_TRUE(log.SaveLogXml(name.c_str()));
    EXPECT_EQ(testsupport::ReadFileBytes(name), Xml(log));
    EXPECT_FALSE(log.SaveLogXml(dir.Path().c_str()));
    EXPECT_FALSE(log.SaveLogXml(""));
}

TEST(LogNull, AcceptsEverythingAndRendersNothing) {
    LogNull log;
    StringBuffer out("unchanged");
    log.GetLogText(out);
    log.GetLogXml(out);
    log.GetLogHtml(out);
    EXPECT_EQ(std::string(out.View()), "unchanged");
    EXPECT_TRUE(log.LogError("e"));
    EXPECT_TRUE(log.LogData("", nullptr));
    EXPECT_TRUE(log.LeaveContext());
    EXPECT_TRUE(log.SaveLogXml("/nonexistent/dir/file.xml"));
}
