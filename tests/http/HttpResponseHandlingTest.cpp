// The GET engine against the scripted server, response by response: which bodies are read and how they
// end, which responses are refused, when a kept connection carries the next request, the overall
// deadline across retries and redirects, and gzip bodies that do not decode.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "support/GzipData.h"

using namespace vantry;

using namespace enginetest;
using testsupport::ConnectionScript;
using testsupport::GzipOf;
using testsupport::ScriptedServer;

namespace {

struct Fixture {
    HttpClient client;
    HttpControl control;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    Fixture() {
        control.ConnectTimeout = 2;
        control.ReadTimeout = 3;
    }
    bool Get(const std::string &url, bool reuse = true) {
        result.Reset();
        return client.HttpGet(url.c_str(), 0, reuse, control, body, result, log);
    }
};

std::string Chunked(const std::string &head, const std::string &data, const std::string &trailers = "") {
    char size[20];
    std::snprintf(size, sizeof size, "%zx", data.size());
    return head + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + data + "\r\n0\r\n" + trailers +
           "\r\n";
}

// The first request on a kept connection gets `first`; every later one "second" (Content-Length framed).
// Checks the first result, then that the next request gets its own answer, on the same connection
// when the first response allowed it.
void ExpectNextRequestClean(const std::string &first, int status, const std::string &firstBody, bool kept) {
    ScriptedServer server;
    auto answered = std::make_shared<int>(0); // across connections
    ConnectionScript script =
        ConnectionScript().AnswerEach("\r\n\r\n", [first, answered](const std::string &) {
            return (*answered)++ == 0 ? first : Ok("second");
        });
    server.SetDefaultScript(script);
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/1"))) << f.log.Dump();
    EXPECT_EQ(f.result.Header.StatusCode, status);
    EXPECT_EQ(Text(f.body), firstBody);
    EXPECT_EQ(f.client.Socket().IsConnected(), kept);
    ASSERT_TRUE(f.Get(Url(server, "/2"))) << f.log.Dump();
    EXPECT_EQ(f.result.Header.StatusCode, 200);
    EXPECT_EQ(Text(f.body), "second");
    EXPECT_EQ(server.Accepted(), kept ? 1 : 2);
}

} // namespace

TEST(KeptConnection, ChunkedErrorPageIsReadWholeAndTheNextRequestGetsItsOwnAnswer) {
    ExpectNextRequestClean(Chunked("HTTP/1.1 404 Not Found\r\n", "<h1>gone</h1>"), 404, "<h1>gone</h1>",
                           true);
}

TEST(KeptConnection, InterimResponsesAreSkippedAndTheFinalOneTaken) {
    ExpectNextRequestClean("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n" +
                               Ok("one"),
                           200, "one", true);
}

TEST(KeptConnection, NoContentHasNoBodyWhateverItsFieldsSay) {
    ExpectNextRequestClean("HTTP/1.1 204 No Content\r\n\r\n", 204, "", true);
}

TEST(KeptConnection, TrailersAreReadUpToTheirEmptyLine) {
    ExpectNextRequestClean(Chunked("HTTP/1.1 200 OK\r\n", "data", "X-Checksum: 1\r\nX-More: 2\r\n"), 200,
                           "data", true);
}

TEST(KeptConnection, Http10ResponseIsNotKeptUnlessItSaysKeepAlive) {
    ExpectNextRequestClean("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nold", 200, "old", false);
    ExpectNextRequestClean("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 3\r\n\r\nold", 200,
                           "old", true);
}

TEST(KeptConnection, RedirectBodyIsReadBeforeTheConnectionIsUsedAgain) {
    ExpectNextRequestClean("HTTP/1.1 308 Permanent Redirect\r\nContent-Length: 5\r\n\r\nmoved", 308, "moved",
                           true);
}

TEST(KeptConnection, StatusLineWithoutReasonPhraseKeepsItsFieldsAndChunks) {
    ExpectNextRequestClean(Chunked("HTTP/1.1 200\r\n", "bare"), 200, "bare", true);
}

TEST(KeptConnection, BareLineFeedHeadKeepsItsFields) {
    ExpectNextRequestClean("HTTP/1.1 200 OK\nContent-Length: 2\nX-A: b\n\nlf", 200, "lf", true);
}

TEST(KeptConnection, BytesBeyondTheResponseMeanTheConnectionIsNotUsedAgain) {
    ExpectNextRequestClean(Ok("abc") + "garbage", 200, "abc", false);
}

TEST(KeptConnection, TransferEncodingWinsOverContentLengthAndTheConnectionIsNotKept) {
    ExpectNextRequestClean(Chunked("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n", "te"), 200, "te", false);
}

TEST(KeptConnection, PeerThatClosedTheIdleConnectionGetsTheNextRequestOnANewOne) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().ReadUntil("\r\n\r\n").Send(Ok("one")).Close());
    server.AddScript(Answer(Ok("two")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/")));
    ASSERT_TRUE(server.WaitFinished(0, 3000));
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "two");
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(ResponseBodies, BodyWithoutLengthSurvivesAPauseAndEndsAtTheClose) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript()
                                .ReadUntil("\r\n\r\n")
                                .Send("HTTP/1.1 200 OK\r\n\r\nfirst half,")
                                .Pause(1500)
                                .Send(" second half")
                                .Close());
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "first half, second half");
    EXPECT_FALSE(f.client.Socket().IsConnected());
}

TEST(ResponseBodies, ReadTimeOutInsideABodyWithoutLengthIsAFailure) {
    ScriptedServer server;
    server.SetDefaultScript(
        ConnectionScript().ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\n\r\npartial").HoldOpen());
    Fixture f;
    f.control.ReadTimeout = 1;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(
        f.log.Has("error: The response body without length did not end with the close of the connection."))
        << f.log.Dump();
    EXPECT_EQ(Text(f.body), "partial");
}

TEST(ResponseBodies, NoContentAndNotModifiedReadNothingFromAConnectionHeldOpen) {
    for (const char *head :
         {"HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n"}) {
        ScriptedServer server;
        server.SetDefaultScript(Answer(head));
        Fixture f;
        f.control.ReadTimeout = 20; // a read of the body would hang here
        ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
        EXPECT_EQ(f.body.Length(), 0u);
    }
}

TEST(ResponseBodies, GzipThenChunkedIsDechunkedThenDecoded) {
    std::string plain = "<p>" + std::string(3000, 'g') + "</p>";
    std::string gz = GzipOf(plain);
    ScriptedServer server;
    server.SetDefaultScript(Answer(Chunked("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n", gz)));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), plain);
}

TEST(ResponseBodies, InvalidResponsesAreRefusedWithAClearErrorAndTheConnectionClosed) {
    struct Case {
        std::string response;
        const char *entry;
    } cases[] = {
        {"HTTP/1.1 2000 OK\r\n\r\n", "error: The response does not begin with a valid HTTP/1.x status line."},
        {"HTTP/1.1 200 OK\r\nno colon here\r\n\r\n", "error: Response header line without a colon."},
        {std::string("HTTP/1.1 200 OK\r\nX: a\0b\r\n\r\n", 27),
         "error: Response header contains a NUL byte."},
        {"HTTP/1.1 200 OK\r\nX: a\rb\r\n\r\n",
         "error: Response header contains a CR that does not end a line."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n", "error: Invalid Content-Length in the response."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
         "error: Response has Content-Length values that differ."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: br\r\n\r\n",
         "error: Response uses a Transfer-Encoding that cannot be decoded."},
    };
    for (const Case &c : cases) {
        ScriptedServer server;
        server.SetDefaultScript(Answer(c.response));
        Fixture f;
        EXPECT_FALSE(f.Get(Url(server, "/"))) << c.entry;
        EXPECT_TRUE(f.log.HasInOrder({c.entry, "error: Invalid response header received"})) << f.log.Dump();
        EXPECT_FALSE(f.client.Socket().IsConnected());
    }
}

TEST(ResponseBodies, BrokenChunkFramingFailsAndTheConnectionIsNotKept) {
    struct Case {
        std::string tail;
        const char *entry;
    } cases[] = {{"zz\r\n", "error: Invalid chunk size in the chunked response body."},
                 {"2\r\nabc\r\n0\r\n\r\n", "error: Chunk data is not followed by CRLF."},
                 {"5\r\nab", "error: Failed to get response data (b)"}};
    for (const Case &c : cases) {
        ScriptedServer server;
        server.SetDefaultScript(ConnectionScript()
                                    .ReadUntil("\r\n\r\n")
                                    .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + c.tail)
                                    .Close());
        Fixture f;
        EXPECT_FALSE(f.Get(Url(server, "/")));
        EXPECT_TRUE(f.log.Has(c.entry)) << f.log.Dump();
        EXPECT_FALSE(f.client.Socket().IsConnected());
    }
}

TEST(ResponseBodies, RedirectWhoseBodyIsTooLargeClosesTheConnectionAndIsFollowed) {
    ScriptedServer server;
    server.AddScript(Answer("HTTP/1.1 301 Moved\r\nLocation: /next\r\nContent-Length: 100000\r\n\r\n" +
                            std::string(100000, 'r')));
    server.AddScript(Answer(Ok("arrived")));
    Fixture f;
    f.control.MaxContentLength = 1000;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "arrived");
    EXPECT_TRUE(
        f.log.Has("info: The redirect's body is too large to read; the connection is closed instead."));
}

TEST(ResponseBodies, GzipAnnouncedButDamagedIsAFailure) {
    std::string gz = GzipOf(std::string(20000, 'd'));
    std::string cut = gz.substr(0, gz.size() / 2);
    std::string badCrc = gz;
    badCrc[badCrc.size() - 6] ^= 0x55;
    for (const std::string &body :
         {cut, badCrc, std::string("\x1f\x8b\x09\x00\x00\x00\x00\x00\x00\x03xyzxyz", 16)}) {
        ScriptedServer server;
        server.SetDefaultScript(Answer(Ok(body, "Content-Encoding: gzip\r\n")));
        Fixture f;
        EXPECT_FALSE(f.Get(Url(server, "/")));
        EXPECT_TRUE(f.log.Has("error: The gzip-encoded body is damaged and cannot be decoded."))
            << f.log.Dump();
    }
}

TEST(ResponseBodies, GzipAnnouncedButWithoutTheMagicIsReturnedAsItIs) {
    ScriptedServer server;
    server.SetDefaultScript(Answer(Ok("plain text after all", "Content-Encoding: gzip\r\n")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    EXPECT_EQ(Text(f.body), "plain text after all");
}

TEST(ExchangeDeadline, InvalidHeadsJustInsideTheDeadlineStopTheRetriesAtIt) {
    ScriptedServer server;
    server.SetDefaultScript(
        ConnectionScript().ReadUntil("\r\n\r\n").Pause(400).Send("garbage\r\n\r\n").Close());
    Fixture f;
    f.control.MaxExchangeSeconds = 1;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.Has("error: The exchange took longer than MaxExchangeSeconds allows.")) << f.log.Dump();
    EXPECT_LE(server.Accepted(), 3); // not the six tries a fresh deadline per try would allow
}

TEST(ExchangeDeadline, RedirectChainSharesOneDeadline) {
    ScriptedServer server;
    server.SetDefaultScript(
        ConnectionScript().ReadUntil("\r\n\r\n").Pause(400).Send(Redirect(302, "/again")).Close());
    Fixture f;
    f.control.MaxExchangeSeconds = 1;
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(f.log.Has("error: The exchange took longer than MaxExchangeSeconds allows.")) << f.log.Dump();
    EXPECT_FALSE(f.log.Has("error: Aborted to avoid infinite redirects."));
    EXPECT_LE(server.Accepted(), 3);
}

TEST(ExchangeDeadline, TlsHandshakeWithASilentServerEndsAtTheDeadline) {
    ScriptedServer server; // accepts TCP and never answers the ClientHello
    server.SetDefaultScript(ConnectionScript().HoldOpen());
    Fixture f;
    f.control.ReadTimeout = 30;
    f.control.MaxExchangeSeconds = 1;
    EXPECT_FALSE(f.Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/"));
    EXPECT_TRUE(f.log.Has("error: Error reading data from server in handshake loop")) << f.log.Dump();
}
