// The facade: the profile switches, QuickGetHtml's charset steps and log context, the redirect getters
// and the Last-Modified day.
#include <gtest/gtest.h>

#include "http/EngineTestSupport.h"
#include "http/HttpMan.h"
#include "net/ProgressMonitor.h"
#include "platform/Clock.h"

using namespace vantry;

using namespace enginetest;
using testsupport::ScriptedServer;

TEST(HttpMan, SettingOneBrowserProfileClearsTheOtherButClearingLeavesItAlone) {
    HttpMan man;
    man.SetMimicFirefox(true);
    man.SetMimicIE(true);
    EXPECT_TRUE(man.Control().MimicIE);
    EXPECT_FALSE(man.Control().MimicFirefox);
    man.SetMimicFirefox(true);
    man.SetMimicIE(false);
    EXPECT_TRUE(man.Control().MimicFirefox);
    EXPECT_FALSE(man.Control().MimicIE);
}

TEST(HttpMan, SettersReachTheSettingsAndThePool) {
    HttpMan man;
    man.SetConnectTimeout(5);
    man.SetReadTimeout(8);
    man.SetMaxConnections(5);
    man.SetMaxContentLength(250000);
    man.SetUserAgent("Agent/1");
    man.SetUpdateCache(false);
    man.SetFetchFromCache(false);
    man.SetUseHttpCache(true);
    StringBuffer ua;
    man.GetUserAgent(ua);
    EXPECT_STREQ(ua.Text(), "Agent/1");
    EXPECT_EQ(man.Control().ConnectTimeout, 5);
    EXPECT_EQ(man.Control().ReadTimeout, 8);
    EXPECT_EQ(man.Pool().MaxConnections(), 5);
    EXPECT_EQ(man.Control().MaxContentLength, 250000u);
    EXPECT_FALSE(man.GetUpdateCache());
    EXPECT_FALSE(man.GetFetchFromCache());
    EXPECT_TRUE(man.Control().UseHttpCache);
    EXPECT_EQ(man.Control().MaxExchangeSeconds, 300);
}

TEST(HttpMan, Latin1PageNamedByContentTypeComesBackAsUtf8) {
    ScriptedServer server;
    server.SetDefaultScript(Answer(Ok("caf\xE9", "Content-Type: text/html; charset=iso-8859-1\r\n")));
    HttpMan man;
    StringBuffer page;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/").c_str(), page));
    EXPECT_EQ(std::string(page.Text(), page.Length()), "caf\xC3\xA9");
}

TEST(HttpMan, PageNamingItsCharsetOnlyInAMetaTagIsConverted) {
    std::string html =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
        "</head><body>\x80 \x93q\x94</body></html>";
    ScriptedServer server;
    server.SetDefaultScript(Answer(Ok(html, "Content-Type: text/html\r\n")));
    HttpMan man;
    StringBuffer page;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/").c_str(), page));
    EXPECT_NE(std::string(page.Text()).find("\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"), std::string::npos)
        << page.Text();
}

TEST(HttpMan, SevenBitPageWithoutCharsetComesBackUnchanged) {
    ScriptedServer server;
    server.SetDefaultScript(Answer(Ok("<p>plain</p>")));
    HttpMan man;
    StringBuffer page;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/").c_str(), page));
    EXPECT_STREQ(page.Text(), "<p>plain</p>");
}

TEST(HttpMan, QuickGetHtmlClearsTheLogAndWritesUnderItsContext) {
    HttpMan man;
    man.SetRefuseMediaExtensions(true);
    StringBuffer page, text;
    EXPECT_FALSE(man.QuickGetHtml("http://127.0.0.1:9/a.mp3", page));
    EXPECT_FALSE(man.QuickGetHtml("http://127.0.0.1:9/b.avi", page));
    man.GetLogText(text);
    std::string log = text.Text();
    EXPECT_NE(log.find("QuickGetHtml"), std::string::npos) << log;
    EXPECT_NE(log.find("b.avi"), std::string::npos);
    EXPECT_EQ(log.find("a.mp3"), std::string::npos); // the first call's entries were cleared
}

TEST(HttpMan, FollowedRedirectIsReportedWithItsFinalUrl) {
    ScriptedServer server;
    server.AddScript(AnswerAndClose(Redirect(302, "/target")));
    server.AddScript(AnswerAndClose(Ok("here")));
    HttpMan man;
    StringBuffer page, final;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/start").c_str(), page));
    EXPECT_STREQ(page.Text(), "here");
    EXPECT_TRUE(man.GetWasRedirected());
    man.GetFinalUrl(final);
    EXPECT_EQ(std::string(final.Text()), Url(server, "/target"));
}

TEST(HttpMan, LastModifiedDateReadsTheRfc1123FormAndNotTheAsctimeForm) {
    ScriptedServer server;
    server.SetDefaultScript(
        testsupport::ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &req) {
            if (req.find("/rfc") != std::string::npos)
                return Ok("a", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n");
            if (req.find("/asctime") != std::string::npos)
                return Ok("b", "Last-Modified: Sun Nov  6 08:49:37 1994\r\n");
            return Ok("c", "Last-Modified: Mon, 1 FOO 2001 00:00:00 GMT\r\n");
        }));
    HttpMan man;
    StringBuffer page, day;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/rfc").c_str(), page));
    man.LastModifiedDate(day);
    EXPECT_STREQ(day.Text(), "1994-11-06");
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/asctime").c_str(), page));
    man.LastModifiedDate(day);
    EXPECT_STREQ(day.Text(), "");
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/month").c_str(), page));
    man.LastModifiedDate(day);
    EXPECT_STREQ(day.Text(), "");
}

namespace {

// Asks to abort from its fifth check on, and counts the checks.
class AbortAfterChecks : public ProgressMonitor {
public:
    bool AbortCheck() override { return ++checks >= 5; }
    int checks = 0;
};

} // namespace

TEST(HttpMan, ProgressAbortEndsAStalledTlsHandshakeBeforeTheReadTimeOut) {
    ScriptedServer server;
    server.SetDefaultScript(testsupport::ConnectionScript().HoldOpen()); // accepts, never answers
    HttpMan man;
    man.SetReadTimeout(60);
    AbortAfterChecks monitor;
    man.Control().Progress = &monitor;
    StringBuffer page;
    const uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(
        man.QuickGetHtml(("https://127.0.0.1:" + std::to_string(server.Port()) + "/").c_str(), page));
    EXPECT_GE(monitor.checks, 5);
    // Aborted in the handshake's first slices, far from the minute of the read time-out.
    EXPECT_LT(platform::GetTickCount() - start, 30000u);
}

TEST(HttpMan, ProgressAbortEndsAStalledResponse) {
    ScriptedServer server;
    server.SetDefaultScript(testsupport::ConnectionScript().ReadUntil("\r\n\r\n").HoldOpen());
    HttpMan man;
    man.SetReadTimeout(60);
    AbortAfterChecks monitor;
    man.Control().Progress = &monitor;
    StringBuffer page;
    const uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(man.QuickGetHtml(Url(server, "/").c_str(), page));
    EXPECT_GE(monitor.checks, 5);
    EXPECT_LT(platform::GetTickCount() - start, 30000u);
}
