// The GET engine against the scripted server: the failure table, retries after invalid heads,
// redirects, keep-alive, gzip, the size caps, short bodies and the overall deadline.
#include <gtest/gtest.h>

#include <string>

#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "platform/Clock.h"
#include "support/GzipData.h"

using namespace vantry;

using namespace enginetest;
using testsupport::ConnectionScript;
using testsupport::GzipOf;
using testsupport::ScriptedServer;

namespace {

HttpControl &QuickControl(HttpControl &c) {
    c.ConnectTimeout = 2;
    c.ReadTimeout = 3;
    return c;
}

struct Fixture {
    HttpClient client;
    HttpControl control;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    Fixture() { QuickControl(control); }
    bool Get(const std::string &url, bool reuse = false) {
        result.Reset();
        return client.HttpGet(url.c_str(), 0, reuse, control, body, result, log);
    }
};

} // namespace

TEST(HttpGet, RefusedExtensionIsTestedOnTheLowercasedUrl) {
    Fixture f;
    f.control.RefuseMediaExtensions = true;
    EXPECT_FALSE(f.Get("http://127.0.0.1:9/song.MP3"));
    EXPECT_TRUE(f.log.HasInOrder(
        {"error: Does not support URLs with this file extension", "data: url=http://127.0.0.1:9/song.MP3"}));
    EXPECT_TRUE(HttpClient::IsRefusedExtension("http://h/a.wmd"));
    EXPECT_FALSE(HttpClient::IsRefusedExtension("http://h/song.mp3?x=1"));
}

TEST(HttpGet, AboutBlankSucceedsWithAnEmptyBodyWithoutNetwork) {
    Fixture f;
    f.body.Append("old", 3);
    EXPECT_TRUE(f.Get("http://127.0.0.1:9/x/about:blank"));
    EXPECT_EQ(f.body.Length(), 0u);
    EXPECT_TRUE(f.log.Has("info: Skipping about:blank"));
}

TEST(HttpGet, UrlOfExactlyMaxUrlLenIsAcceptedAndOneByteMoreRefused) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("hi")));
    Fixture f;
    std::string url = Url(server, "/abc");
    f.control.MaxUrlLen = static_cast<int>(url.size());
    EXPECT_TRUE(f.Get(url)) << f.log.Dump();
    EXPECT_FALSE(f.Get(url + "d"));
    EXPECT_TRUE(f.log.HasInOrder({"error: URL is longer than the maximum allowed length.",
                                  "data: maxUrlLen=" + std::to_string(url.size())}));
    EXPECT_EQ(server.Accepted(), 1);
}

TEST(HttpGet, HttpsUrlThroughAProxyAsksForATunnelToTheServer) {
    ScriptedServer proxy;
    proxy.SetDefaultScript(
        ConnectionScript().ReadUntil("\r\n\r\n").Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    Fixture f;
    f.control.ProxyDomain.SetString("127.0.0.1");
    f.control.ProxyPort = proxy.Port();
    EXPECT_FALSE(f.Get("https://origin.invalid:8443/path"));
    ASSERT_TRUE(proxy.WaitFinished(0, 5000));
    EXPECT_EQ(proxy.Received(0).rfind("CONNECT origin.invalid:8443 HTTP/1.", 0), 0u) << proxy.Received(0);
    EXPECT_TRUE(f.log.Has("error: The proxy server refused the tunnel")) << f.log.Dump();
}

TEST(HttpGet, RefusedConnectionsLogTheServerOrProxyEntry) {
    int port;
    {
        ScriptedServer gone;
        port = gone.Port();
    }
    Fixture f;
    f.control.ConnectTimeout = 0;
    EXPECT_FALSE(f.Get("http://127.0.0.1:" + std::to_string(port) + "/"));
    EXPECT_TRUE(f.log.HasInOrder({"data: httpServer=127.0.0.1", "data: port=" + std::to_string(port),
                                  "error: Failed to connect to HTTP server"}))
        << f.log.Dump();
    EXPECT_FALSE(f.log.Has("error: Domain name lookup failed."));
    f.control.ProxyDomain.SetString("127.0.0.1");
    f.control.ProxyPort = port;
    EXPECT_FALSE(f.Get("http://example.invalid/"));
    EXPECT_TRUE(
        f.log.HasInOrder({"data: proxyDomain=127.0.0.1", "error: Failed to connect to proxy server"}));
}

TEST(HttpGet, MissingResponseHeadFails) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().ReadUntil("\r\n\r\n").Close());
    Fixture f;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.Has("error: Failed to get response header"));
}

TEST(HttpGet, InvalidStatusLineIsRetriedOnFreshConnectionsWhileDepthIsBelowFive) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose("http/1.1 200 OK\r\n\r\n"));
    Fixture f;
    EXPECT_FALSE(f.Get(Url(server, "/"), true));
    EXPECT_EQ(server.Accepted(), 6); // depths 0 to 5
    int invalid = 0;
    for (const std::string &e : f.log.entries)
        invalid += e == "error: Invalid response header received";
    EXPECT_EQ(invalid, 6);
    EXPECT_TRUE(f.log.Has("data: received=http/1.1 200 OK\r\n\r\n"));
}

TEST(HttpGet, InvalidStatusLineThenAGoodAnswerSucceeds) {
    ScriptedServer server;
    server.AddScript(AnswerAndClose("garbage\r\n\r\n"));
    server.AddScript(AnswerAndClose(Ok("fine")));
    Fixture f;
    EXPECT_TRUE(f.Get(Url(server, "/"), true)) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "fine");
}

TEST(HttpGet, FourRedirectsAreFollowedAndAFifthIsRefused) {
    ScriptedServer server;
    for (int i = 1; i <= 4; ++i)
        server.AddScript(AnswerAndClose(Redirect(301, "/r" + std::to_string(i))));
    server.AddScript(AnswerAndClose(Ok("end")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/r0"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "end");
    EXPECT_TRUE(f.result.WasRedirected);
    EXPECT_EQ(std::string(f.result.FinalUrl.Text()), Url(server, "/r4"));
    ASSERT_TRUE(server.WaitFinished(4, 2000));
    EXPECT_EQ(server.Received(4).rfind("GET /r4 HTTP/1.1\r\n", 0), 0u);

    ScriptedServer loop;
    loop.SetDefaultScript(AnswerAndClose(Redirect(302, "/again")));
    Fixture g;
    EXPECT_FALSE(g.Get(Url(loop, "/")));
    EXPECT_TRUE(g.log.Has("error: Aborted to avoid infinite redirects."));
    EXPECT_EQ(loop.Accepted(), 5);
}

TEST(HttpGet, WithFollowRedirectsOffA302IsReturnedWithItsOwnHeadAndBody) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Redirect(302, "http://127.0.0.1:9/target")));
    Fixture f;
    f.control.FollowRedirects = false;
    EXPECT_TRUE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.result.WasRedirected);
    EXPECT_STREQ(f.result.FinalUrl.Text(), "http://127.0.0.1:9/target");
    EXPECT_EQ(f.result.Header.StatusCode, 302);
    EXPECT_EQ(Text(f.body), "moved");
    EXPECT_TRUE(f.log.Has("data: redirectUrl=http://127.0.0.1:9/target"));
    EXPECT_EQ(server.Accepted(), 1);
}

TEST(HttpGet, ChunkedBodyIsJoinedAndANonHexSizeLineFailsAndDropsTheConnection) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &req) {
        if (req.find("GET /bad") != std::string::npos)
            return std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\nxyz\r\n");
        return std::string(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n");
    }));
    server.AddScript(Answer(Ok("fresh")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/"), true));
    EXPECT_EQ(Text(f.body), "Wikipedia");
    EXPECT_FALSE(f.Get(Url(server, "/bad"), true));
    EXPECT_TRUE(f.log.Has("error: Invalid chunk size in the chunked response body.")) << f.log.Dump();
    EXPECT_FALSE(f.client.Socket().IsConnected());
    ASSERT_TRUE(f.Get(Url(server, "/"), true));
    EXPECT_EQ(Text(f.body), "fresh");
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(HttpGet, KeptConnectionServesTwoRequestsAndConnectionCloseEndsIt) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &req) {
        return req.find("/last") != std::string::npos ? Ok("bye", "Connection: close\r\n") : Ok("again");
    }));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/a"), true));
    ASSERT_TRUE(f.Get(Url(server, "/b"), true));
    EXPECT_EQ(Text(f.body), "again");
    EXPECT_TRUE(f.client.Socket().IsConnected());
    ASSERT_TRUE(f.Get(Url(server, "/last"), true));
    EXPECT_TRUE(f.log.Has("info: Got connection:close header"));
    EXPECT_FALSE(f.client.Socket().IsConnected());
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_STREQ(f.client.Host().Text(), "127.0.0.1");
    EXPECT_EQ(f.client.Port(), server.Port());
}

TEST(HttpGet, BodyEndingBeforeItsContentLengthFailsAndDropsTheKeptConnection) {
    ScriptedServer server;
    server.AddScript(ConnectionScript()
                         .ReadUntil("\r\n\r\n")
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this")
                         .Close());
    server.AddScript(Answer(Ok("whole")));
    Fixture f;
    EXPECT_FALSE(f.Get(Url(server, "/"), true));
    EXPECT_TRUE(f.log.Has("error: Response body ended before its Content-Length.")) << f.log.Dump();
    EXPECT_FALSE(f.client.Socket().IsConnected());
    ASSERT_TRUE(f.Get(Url(server, "/"), true));
    EXPECT_EQ(Text(f.body), "whole");
}

TEST(HttpGet, ResponseHeadLargerThan300KiBFailsAsAMissingHead) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    while (head.size() < 310 * 1024)
        head += "X-Pad: " + std::string(200, 'p') + "\r\n";
    ScriptedServer server;
    server.SetDefaultScript(Answer(head + "\r\n"));
    Fixture f;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.HasInOrder({"error: Response header is larger than the maximum allowed.",
                                  "error: Failed to get response header"}));
}

TEST(HttpGet, DeclaredLengthOverTheLimitIsRefusedAndTheConnectionNotKept) {
    ScriptedServer server;
    server.AddScript(Answer(Ok(std::string(5000, 'a'))));
    server.AddScript(Answer(Ok("small")));
    Fixture f;
    f.control.MaxContentLength = 1000;
    EXPECT_FALSE(f.Get(Url(server, "/"), true));
    EXPECT_TRUE(f.log.HasInOrder(
        {"error: Content length more than the maximum allowed.", "data: maxContentLength=1000"}));
    EXPECT_FALSE(f.client.Socket().IsConnected());
    // The next request does not read the refused body as its head.
    ASSERT_TRUE(f.Get(Url(server, "/"), true)) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "small");
}

TEST(HttpGet, BodyReadToTheEndFailsOnceItPassesTheLimit) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose("HTTP/1.1 200 OK\r\n\r\n" + std::string(400000, 'b')));
    Fixture f;
    f.control.MaxContentLength = 250000;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.HasInOrder(
        {"error: Content length more than the maximum allowed...", "data: maxContentLength=250000"}));
}

TEST(HttpGet, GzipBodyIsDecodedByItsMagicBytesAlone) {
    std::string plain = "<html>" + std::string(5000, 'x') + "</html>";
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok(GzipOf(plain))));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/")));
    EXPECT_EQ(Text(f.body), plain);
}

TEST(HttpGet, TenByteBodyBeginningWithTheGzipMagicIsLeftAlone) {
    std::string ten = std::string("\x1f\x8b", 2) + "12345678";
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok(ten)));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/")));
    EXPECT_EQ(Text(f.body), ten);
}

TEST(HttpGet, GzipBodyStopsDecodingPastTheLimit) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok(GzipOf(std::string(3000000, '0')))));
    Fixture f;
    f.control.MaxContentLength = 250000;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.HasInOrder(
        {"error: Content length more than the maximum allowed...", "data: maxContentLength=250000"}))
        << f.log.Dump();
}

TEST(HttpGet, DrippedResponseFailsAtTheExchangeDeadline) {
    ConnectionScript drip;
    drip.ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\n");
    for (int i = 0; i < 40; ++i)
        drip.Pause(250).Send("X");
    ScriptedServer server;
    server.SetDefaultScript(drip);
    Fixture f;
    f.control.MaxExchangeSeconds = 1;
    uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(f.Get(Url(server, "/")));
    uint32_t took = platform::GetTickCount() - start;
    EXPECT_TRUE(f.log.HasInOrder({"error: The exchange took longer than MaxExchangeSeconds allows.",
                                  "data: MaxExchangeSeconds=1", "error: Failed to get response header"}))
        << f.log.Dump();
    EXPECT_LT(took, 8000u); // well before the drip would have ended
}

TEST(HttpGet, NotModifiedWithoutACachedCopyGivesAnEmptyResultFromTheCache) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose("HTTP/1.1 304 Not Modified\r\nContent-Length: 4\r\n\r\n"));
    Fixture f;
    EXPECT_TRUE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.Has("info: Updating cache entry with new expiration."));
    EXPECT_TRUE(f.result.FromCache);
    EXPECT_EQ(f.body.Length(), 0u);
}

TEST(HttpGet, ErrorStatusesAreResultsWithTheirBodies) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope"));
    Fixture f;
    EXPECT_TRUE(f.Get(Url(server, "/missing")));
    EXPECT_EQ(f.result.Header.StatusCode, 404);
    EXPECT_EQ(Text(f.body), "nope");
}

TEST(HttpGet, EmptyPathIsSentAsTheRoot) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("r")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "")));
    ASSERT_TRUE(server.WaitFinished(0, 2000));
    EXPECT_EQ(server.Received(0).rfind("GET / HTTP/1.1\r\n", 0), 0u) << server.Received(0);
}

TEST(HttpGet, WithoutCacheRootsTheCacheIsNotConsultedAndLeavesNothingInTheLog) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("page", "ETag: \"e1\"\r\n")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/")));
    for (const std::string &e : f.log.entries) {
        EXPECT_EQ(e.find("ache"), std::string::npos) << f.log.Dump();
        EXPECT_EQ(e.rfind("error: ", 0), std::string::npos) << f.log.Dump();
    }
    EXPECT_EQ(Text(f.body), "page");
}

TEST(HttpGet, WithoutAnExchangeDeadlineASlowResponseWithinTheReadTimeoutIsRead) {
    ConnectionScript drip;
    drip.ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n");
    for (int i = 0; i < 6; ++i)
        drip.Pause(250).Send("d");
    ScriptedServer server;
    server.SetDefaultScript(drip.HoldOpen());
    Fixture f;
    f.control.MaxExchangeSeconds = 0;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "dddddd");
}
