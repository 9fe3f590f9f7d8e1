// The GET engine's redirects against the scripted server: which statuses are followed, how a Location
// is resolved and encoded, what happens without one or with another scheme, the fragment, the chain
// limit and the credentials kept from another origin; and CombineUrl on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"

using namespace vantry;

using namespace enginetest;
using testsupport::ScriptedServer;

namespace {

using Fixture = GetFixture;

// The request line connection i received (waiting for its script to finish first).
std::string RequestLine(const ScriptedServer &server, int connection) {
    if (!server.WaitFinished(connection, 3000))
        return "(connection " + std::to_string(connection) + " did not finish)";
    std::string received = server.Received(connection);
    return received.substr(0, received.find("\r\n"));
}

// A server answering the first connection with a redirect to location, the second with a page.
void RedirectThenPage(ScriptedServer &server, int status, const std::string &location) {
    server.AddScript(AnswerAndClose(Redirect(status, location)));
    server.AddScript(AnswerAndClose(Ok("landed")));
}

} // namespace

TEST(Redirect, EveryRedirectStatusIsFollowedWithAGet) {
    for (int status : {301, 302, 303, 307, 308}) {
        ScriptedServer server;
        RedirectThenPage(server, status, "/target");
        Fixture f;
        ASSERT_TRUE(f.Get(Url(server, "/start"))) << status << "\n" << f.log.Dump();
        EXPECT_EQ(f.result.Header.StatusCode, 200) << status;
        EXPECT_EQ(Text(f.body), "landed") << status;
        EXPECT_TRUE(f.result.WasRedirected) << status;
        EXPECT_EQ(std::string(f.result.FinalUrl.Text()), Url(server, "/target"));
        EXPECT_EQ(RequestLine(server, 1), "GET /target HTTP/1.1") << status;
    }
}

TEST(Redirect, OtherThreeHundredsAreResultsAsTheyAre) {
    for (int status : {300, 305, 306, 399}) {
        ScriptedServer server;
        server.SetDefaultScript(AnswerAndClose(Redirect(status, "/elsewhere")));
        Fixture f;
        EXPECT_TRUE(f.Get(Url(server, "/"))) << status;
        EXPECT_FALSE(f.result.WasRedirected) << status;
        EXPECT_EQ(server.Accepted(), 1) << status;
    }
}

TEST(Redirect, ThreeHundredWithoutAUsableLocationIsTheResult) {
    for (const std::string &head :
         {std::string("HTTP/1.1 301 Moved\r\nContent-Length: 4\r\n\r\ngone"),
          std::string("HTTP/1.1 302 Found\r\nLocation:   \r\nContent-Length: 4\r\n\r\ngone"),
          std::string("HTTP/1.1 307 Temporary\r\nLocation:\r\nContent-Length: 4\r\n\r\ngone")}) {
        ScriptedServer server;
        server.SetDefaultScript(AnswerAndClose(head));
        Fixture f;
        ASSERT_TRUE(f.Get(Url(server, "/"))) << head << f.log.Dump();
        EXPECT_EQ(f.result.Header.StatusCode, std::stoi(head.substr(9, 3)));
        EXPECT_EQ(Text(f.body), "gone");
        EXPECT_FALSE(f.result.WasRedirected);
        EXPECT_EQ(f.result.FinalUrl.Length(), 0);
        EXPECT_EQ(server.Accepted(), 1);
    }
}

TEST(Redirect, RelativeLocationsResolveAgainstTheCurrentUrlAndAreNeverTakenForAHost) {
    struct Case {
        const char *location;
        const char *request;
    } cases[] = {
        {"next.html", "GET /dir/sub/next.html HTTP/1.1"},
        {"http-errors.html", "GET /dir/sub/http-errors.html HTTP/1.1"},
        {"https-notes/a", "GET /dir/sub/https-notes/a HTTP/1.1"},
        {"../up.html?x=1", "GET /dir/up.html?x=1 HTTP/1.1"},
        {"?q=2", "GET /dir/sub/page.html?q=2 HTTP/1.1"},
        {"/root.html", "GET /root.html HTTP/1.1"},
        {"./a/./b/../c", "GET /dir/sub/a/c HTTP/1.1"},
        {"http:same-scheme.html", "GET /dir/sub/same-scheme.html HTTP/1.1"},
    };
    for (const Case &c : cases) {
        ScriptedServer server;
        RedirectThenPage(server, 302, c.location);
        Fixture f;
        ASSERT_TRUE(f.Get(Url(server, "/dir/sub/page.html?old=1"))) << c.location << "\n" << f.log.Dump();
        EXPECT_EQ(RequestLine(server, 1), c.request) << c.location;
        EXPECT_EQ(Text(f.body), "landed");
    }
}

TEST(Redirect, NetworkPathAndAbsoluteLocationsNameTheirOwnHost) {
    ScriptedServer first, second;
    first.AddScript(AnswerAndClose(Redirect(301, "//127.0.0.1:" + std::to_string(second.Port()) + "/p")));
    first.AddScript(
        AnswerAndClose(Redirect(301, "HTTP://127.0.0.1:" + std::to_string(second.Port()) + "/q")));
    second.SetDefaultScript(AnswerAndClose(Ok("other")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(first, "/a"))) << f.log.Dump();
    EXPECT_EQ(RequestLine(second, 0), "GET /p HTTP/1.1");
    ASSERT_TRUE(f.Get(Url(first, "/b"))) << f.log.Dump();
    EXPECT_EQ(RequestLine(second, 1), "GET /q HTTP/1.1");
    EXPECT_EQ(Text(f.body), "other");
}

TEST(Redirect, LocationWithBlanksAndBytesBeyondAsciiIsSentPercentEncoded) {
    ScriptedServer server;
    RedirectThenPage(server, 302, "/a b/caf\xC3\xA9\x7F?q=x y");
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(RequestLine(server, 1), "GET /a%20b/caf%C3%A9%7F?q=x%20y HTTP/1.1");
    EXPECT_EQ(std::string(f.result.FinalUrl.Text()), Url(server, "/a%20b/caf%C3%A9%7F?q=x%20y"));
}

TEST(Redirect, ToASchemeOtherThanHttpFailsAndIsNotFetched) {
    for (const char *location : {"ftp://127.0.0.1/file", "file:///etc/passwd", "mailto:someone@example.com",
                                 "javascript:alert(1)"}) {
        ScriptedServer server;
        server.SetDefaultScript(AnswerAndClose(Redirect(302, location)));
        Fixture f;
        EXPECT_FALSE(f.Get(Url(server, "/"))) << location;
        EXPECT_TRUE(
            f.log.HasInOrder({"error: Not following a redirect to a URL scheme other than http and https.",
                              std::string("data: url=") + location}))
            << f.log.Dump();
        EXPECT_EQ(server.Accepted(), 1);
    }
}

TEST(Redirect, LocationWithoutAHostFails) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Redirect(301, "http:///nohost")));
    Fixture f;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.Has("error: Failed to construct new URL")) << f.log.Dump();
    EXPECT_EQ(server.Accepted(), 1);
}

TEST(Redirect, WithFollowingOffAnyRedirectStatusIsReturnedWithItsTarget) {
    for (int status : {301, 302, 303, 307, 308}) {
        ScriptedServer server;
        server.SetDefaultScript(AnswerAndClose(Redirect(status, "ftp://elsewhere/x")));
        Fixture f;
        f.control.FollowRedirects = false;
        EXPECT_TRUE(f.Get(Url(server, "/")));
        EXPECT_TRUE(f.result.WasRedirected);
        EXPECT_STREQ(f.result.FinalUrl.Text(), "ftp://elsewhere/x");
        EXPECT_EQ(f.result.Header.StatusCode, status);
        EXPECT_EQ(Text(f.body), "moved");
        EXPECT_EQ(server.Accepted(), 1);
    }
}

TEST(Redirect, FragmentIsNeverSentAndATargetWithoutOneInheritsIt) {
    ScriptedServer server;
    server.AddScript(AnswerAndClose(Redirect(301, "/b")));
    server.AddScript(AnswerAndClose(Redirect(302, "/c#own")));
    server.AddScript(AnswerAndClose(Ok("end")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/a?x=1#frag?not=query#more"))) << f.log.Dump();
    EXPECT_EQ(RequestLine(server, 0), "GET /a?x=1 HTTP/1.1");
    EXPECT_EQ(RequestLine(server, 1), "GET /b HTTP/1.1");
    EXPECT_EQ(RequestLine(server, 2), "GET /c HTTP/1.1");
    EXPECT_EQ(std::string(f.result.FinalUrl.Text()), Url(server, "/c#own"));

    ScriptedServer one;
    RedirectThenPage(one, 307, "/b");
    ASSERT_TRUE(f.Get(Url(one, "/a#frag")));
    EXPECT_EQ(std::string(f.result.FinalUrl.Text()), Url(one, "/b#frag"));
}

TEST(Redirect, LoopStopsAfterFourRedirectsWhateverTheStatus) {
    ScriptedServer loop;
    std::atomic<int> n{0};
    loop.SetDefaultScript(
        testsupport::ConnectionScript().ReadUntil("\r\n\r\n").SendFrom([&n](const std::string &) {
            static const int statuses[] = {301, 302, 303, 307, 308};
            return Redirect(statuses[n++ % 5], "/loop");
        }));
    Fixture f;
    EXPECT_FALSE(f.Get(Url(loop, "/loop")));
    EXPECT_TRUE(f.log.Has("error: Aborted to avoid infinite redirects."));
    EXPECT_EQ(loop.Accepted(), 5);
}

TEST(Redirect, CredentialsAreNotSentToAnotherOrigin) {
    ScriptedServer first, second;
    first.AddScript(AnswerAndClose(Redirect(302, Url(second, "/elsewhere"))));
    first.AddScript(AnswerAndClose(Redirect(302, "/same")));
    first.AddScript(AnswerAndClose(Ok("same origin")));
    second.SetDefaultScript(AnswerAndClose(Ok("other origin")));
    Fixture f;
    f.control.Login.SetString("user");
    f.control.Password.SetString("secret");
    f.control.ExtraHeaders.Append("Cookie", "sid=1");
    f.control.ExtraHeaders.Append("X-Kept", "yes");
    ASSERT_TRUE(f.Get(Url(first, "/"))) << f.log.Dump();
    ASSERT_TRUE(first.WaitFinished(0, 3000) && second.WaitFinished(0, 3000));
    EXPECT_NE(first.Received(0).find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
    EXPECT_NE(first.Received(0).find("Cookie: sid=1\r\n"), std::string::npos);
    std::string other = second.Received(0);
    EXPECT_EQ(other.find("Authorization"), std::string::npos) << other;
    EXPECT_EQ(other.find("Cookie"), std::string::npos) << other;
    EXPECT_NE(other.find("X-Kept: yes\r\n"), std::string::npos) << other;
    // The settings are whole again afterwards, and a redirect within the origin keeps them.
    EXPECT_STREQ(f.control.Login.Text(), "user");
    EXPECT_TRUE(f.control.ExtraHeaders.HasField("Cookie"));
    ASSERT_TRUE(f.Get(Url(first, "/again"))) << f.log.Dump();
    ASSERT_TRUE(first.WaitFinished(2, 3000));
    EXPECT_NE(first.Received(2).find("Authorization: Basic "), std::string::npos);
    EXPECT_NE(first.Received(2).find("Cookie: sid=1\r\n"), std::string::npos);
}

TEST(CombineUrl, ResolvesAgainstTheBaseAndReadsItsOwnSchemeWithoutAuthorityAsRelative) {
    // The resolution itself is RFC 3986's (tested with MakeAbsolute); what a Location adds is here.
    const char *base = "http://a/b/c/d;p?q";
    struct Case {
        const char *reference, *target;
    } cases[] = {
        {"g", "http://a/b/c/g"},
        {"http-g", "http://a/b/c/http-g"},
        {"//g", "http://g"},
        {"http:g", "http://a/b/c/g"},
        {"HTTP:g", "http://a/b/c/g"},
        {"https:g", "https:g"},
        {"HTTPS://B/x/../y", "HTTPS://B/y"},
        {"ftp://f/x", "ftp://f/x"},
    };
    StringBuffer out;
    for (const Case &c : cases) {
        HttpClient::CombineUrl(base, c.reference, out);
        EXPECT_STREQ(out.Text(), c.target) << c.reference;
    }
    HttpClient::CombineUrl("no scheme at all", "x", out);
    EXPECT_EQ(out.Length(), 0);
}

TEST(CombineUrl, TrimsAndPercentEncodesAndPassesOnTheBasesFragment) {
    StringBuffer out;
    HttpClient::CombineUrl("http://h/dir/p#top", "  two words\t\xE2\x82\xAC%41 ", out);
    EXPECT_STREQ(out.Text(), "http://h/dir/two%20words%09%E2%82%AC%41#top");
    HttpClient::CombineUrl("http://h/dir/p#top", "q#own", out);
    EXPECT_STREQ(out.Text(), "http://h/dir/q#own");
    HttpClient::CombineUrl("http://h/dir/p", "q", out);
    EXPECT_STREQ(out.Text(), "http://h/dir/q");
    // A host beyond ASCII keeps its bytes (it is put in its ASCII form when the URL is split).
    HttpClient::CombineUrl("http://h/",
                           "http://b\xC3\xBC"
                           "cher.example/b\xC3\xBC"
                           "ch 1",
                           out);
    EXPECT_STREQ(out.Text(), "http://b\xC3\xBC"
                             "cher.example/b%C3%BC"
                             "ch%201");
    HttpClient::CombineUrl("http://h/",
                           "//b\xC3\xBC"
                           "cher.example?q=\xC3\xBC",
                           out);
    EXPECT_STREQ(out.Text(), "http://b\xC3\xBC"
                             "cher.example?q=%C3%BC");
}
