// HttpMan::Get and the engine's streamed body: status, final URL and head of the result, only the final
// response's body in the sink, bytes handed on before the server has finished, gzip decoded on the way,
// sinks that stop the transfer, HEAD requests and the redirect limit.
#include <gtest/gtest.h>

#include "codec/InflateTestHelpers.h"
#include "http/BodySink.h"
#include "http/EngineTestSupport.h"
#include "http/HttpMan.h"
#include "http/HttpResponseHeader.h"

using namespace vantry;

using namespace enginetest;
using testsupport::ConnectionScript;
using testsupport::ScriptedServer;

namespace {

// Records what the engine hands over; may refuse the head or stop after some bytes.
class RecordingSink : public BodySink {
public:
    bool Head(const HttpResponseHeader &head) override {
        statuses.push_back(head.StatusCode);
        return acceptHead;
    }
    bool Write(const uint8_t *bytes, size_t count) override {
        if (onFirstWrite && writes == 0)
            onFirstWrite();
        ++writes;
        body.append(reinterpret_cast<const char *>(bytes), count);
        return stopAfter == 0 || body.size() < stopAfter;
    }
    void Progress(uint64_t received, int64_t expected) override {
        lastReceived = received;
        lastExpected = expected;
    }

    std::vector<int> statuses;
    std::string body;
    int writes = 0;
    bool acceptHead = true;
    size_t stopAfter = 0;
    uint64_t lastReceived = 0;
    int64_t lastExpected = -2;
    std::function<void()> onFirstWrite;
};

std::string Response(int status, const std::string &body, const std::string &extra = "") {
    return "HTTP/1.1 " + std::to_string(status) +
           " Status\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

std::string Chunked(const std::string &body, size_t piece) {
    std::string out;
    char size[32];
    for (size_t at = 0; at < body.size(); at += piece) {
        std::string part = body.substr(at, piece);
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        out += size + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 100) % 26);
    return s;
}

} // namespace

TEST(HttpManGet, A404IsAResultWithItsStatusHeadAndBody) {
    ScriptedServer server;
    server.AddScript(AnswerAndClose(Response(404, "no such page", "X-Why: gone\r\n")));
    HttpMan http;
    DataBuffer body;
    ASSERT_TRUE(http.Get(Url(server, "/missing#frag").c_str(), body));
    EXPECT_EQ(http.LastResult().Header.StatusCode, 404);
    EXPECT_EQ(Text(body), "no such page");
    StringBuffer why;
    EXPECT_TRUE(http.LastResult().Header.GetField("X-Why", why));
    EXPECT_STREQ(why.Text(), "gone");
    EXPECT_STREQ(http.LastResult().EffectiveUrl.Text(), Url(server, "/missing").c_str());
    StringBuffer log;
    http.GetLogText(log);
    EXPECT_NE(std::string(log.View()).find("Get:"), std::string::npos) << log.Text();
}

TEST(HttpManGet, ARedirectChainEndsAtItsFinalUrlAndOnlyTheLastBodyReachesTheSink) {
    ScriptedServer server;
    server.AddScript(AnswerAndClose(Redirect(301, "/b")));
    server.AddScript(AnswerAndClose(Redirect(303, Url(server, "/c"))));
    server.AddScript(AnswerAndClose(Redirect(307, "d")));
    server.AddScript(AnswerAndClose(Redirect(308, "/e")));
    server.AddScript(AnswerAndClose(Response(200, "final body")));
    HttpMan http;
    RecordingSink sink;
    ASSERT_TRUE(http.Get(Url(server, "/a").c_str(), sink));
    EXPECT_EQ(sink.statuses, std::vector<int>{200});
    EXPECT_EQ(sink.body, "final body");
    EXPECT_EQ(http.LastResult().Header.StatusCode, 200);
    EXPECT_STREQ(http.LastResult().EffectiveUrl.Text(), Url(server, "/e").c_str());
    EXPECT_TRUE(http.GetWasRedirected());
    EXPECT_EQ(server.Accepted(), 5);

    // Without following, the redirect itself is the result, its body in the sink.
    server.AddScript(AnswerAndClose(Redirect(302, "/elsewhere")));
    http.SetFollowRedirects(false);
    RecordingSink kept;
    ASSERT_TRUE(http.Get(Url(server, "/a").c_str(), kept));
    EXPECT_EQ(kept.statuses, std::vector<int>{302});
    EXPECT_EQ(kept.body, "moved");
    EXPECT_STREQ(http.LastResult().EffectiveUrl.Text(), Url(server, "/a").c_str());
}

TEST(HttpManGet, MaxRedirectsBoundsTheChain) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Redirect(302, "/again")));
    HttpMan http;
    http.Control().MaxRedirects = 2;
    RecordingSink sink;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), sink));
    EXPECT_EQ(server.Accepted(), 3);
    EXPECT_TRUE(sink.body.empty());
    StringBuffer log;
    http.GetLogText(log);
    EXPECT_NE(std::string(log.View()).find("Aborted to avoid infinite redirects."), std::string::npos);
}

TEST(HttpManGet, TheBodyReachesTheSinkWhileTheServerStillHoldsTheRest) {
    ScriptedServer server;
    server.AddScript(ConnectionScript()
                         .ReadUntil("\r\n\r\n")
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nfirst")
                         .Pause(1500)
                         .Send("-last")
                         .Close());
    HttpMan http;
    RecordingSink sink;
    bool serverDone = true;
    sink.onFirstWrite = [&] { serverDone = server.WaitFinished(0, 0); };
    ASSERT_TRUE(http.Get(Url(server, "/").c_str(), sink));
    EXPECT_FALSE(serverDone);
    EXPECT_EQ(sink.body, "first-last");
    EXPECT_EQ(sink.writes, 2);
    EXPECT_EQ(sink.lastReceived, 10u);
    EXPECT_EQ(sink.lastExpected, 10);
}

TEST(HttpManGet, AGzipBodyIsDecodedOnTheWayAsItsChunksArrive) {
    const std::string plain = Pattern(400000);
    const std::string gz = inflatetest::ZCompress(plain, 6, Z_DEFAULT_STRATEGY, 31);
    ScriptedServer server;
    server.AddScript(
        AnswerAndClose("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
                       Chunked(gz, 1000)));
    HttpMan http;
    RecordingSink sink;
    ASSERT_TRUE(http.Get(Url(server, "/").c_str(), sink));
    EXPECT_EQ(sink.body, plain);
    EXPECT_GT(sink.writes, 1);
    EXPECT_EQ(sink.lastReceived, gz.size()); // progress counts the bytes as they came
    EXPECT_EQ(sink.lastExpected, -1);
}

TEST(HttpManGet, AnAnnouncedGzipBodyThatDoesNotDecodeFailsAfterWhatDecoded) {
    std::string gz = inflatetest::ZCompress(Pattern(100000), 6, Z_DEFAULT_STRATEGY, 31);
    gz[gz.size() - 5] ^= 0x55; // the trailer's length no longer matches
    ScriptedServer server;
    server.AddScript(AnswerAndClose(Response(200, gz, "Content-Encoding: gzip\r\n")));
    HttpMan http;
    RecordingSink sink;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), sink));
    StringBuffer log;
    http.GetLogText(log);
    EXPECT_NE(std::string(log.View()).find("The gzip-encoded body is damaged"), std::string::npos);
}

TEST(HttpManGet, AGzipFileNobodyAnnouncedIsDecodedOnlyWhenTheSettingsAskForIt) {
    const std::string gz = inflatetest::ZCompress("the file's own text", 6, Z_DEFAULT_STRATEGY, 31);
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Response(200, gz, "Content-Type: application/gzip\r\n")));
    HttpMan http;
    DataBuffer body;
    ASSERT_TRUE(http.Get(Url(server, "/f.gz").c_str(), body));
    EXPECT_EQ(Text(body), "the file's own text");
    http.Control().DecodeGzipByMagic = false;
    ASSERT_TRUE(http.Get(Url(server, "/f.gz").c_str(), body));
    EXPECT_EQ(Text(body), gz);
}

TEST(HttpManGet, ASinkThatStopsEndsTheTransferAndTheConnection) {
    ScriptedServer server;
    const std::string big = Pattern(2 << 20);
    server.SetDefaultScript(Answer(Response(200, big)));
    HttpMan http;
    RecordingSink stopping;
    stopping.stopAfter = 100000;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), stopping));
    EXPECT_LT(stopping.body.size(), big.size());
    EXPECT_EQ(stopping.body, big.substr(0, stopping.body.size()));
    EXPECT_EQ(http.LastResult().Header.StatusCode, 200);
    StringBuffer log;
    http.GetLogText(log);
    EXPECT_NE(std::string(log.View()).find("The receiver of the response body stopped the transfer."),
              std::string::npos)
        << log.Text();
    // The connection was out of step, so it was closed: the server sees the end.
    EXPECT_TRUE(server.WaitFinished(0, 5000));

    // A sink that refuses the head gets no byte.
    RecordingSink refusing;
    refusing.acceptHead = false;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), refusing));
    EXPECT_EQ(refusing.statuses, std::vector<int>{200});
    EXPECT_EQ(refusing.writes, 0);
}

TEST(HttpManGet, LengthsBeyondFourGiBAreAnnouncedWhole) {
    ScriptedServer server;
    server.AddScript(ConnectionScript()
                         .ReadUntil("\r\n\r\n")
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 5368709120\r\n\r\n" + Pattern(70000))
                         .HoldOpen());
    HttpMan http;
    RecordingSink sink;
    sink.stopAfter = 1;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), sink));
    EXPECT_EQ(http.LastResult().Header.ContentLength, 5368709120LL);
    EXPECT_EQ(sink.lastExpected, 5368709120LL);
    // Held in memory, the same body is refused before a byte is read.
    server.AddScript(ConnectionScript()
                         .ReadUntil("\r\n\r\n")
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 5368709120\r\n\r\nxx")
                         .HoldOpen());
    DataBuffer body;
    EXPECT_FALSE(http.Get(Url(server, "/").c_str(), body));
    StringBuffer log;
    http.GetLogText(log);
    EXPECT_NE(std::string(log.View()).find("Content length more than the maximum allowed."),
              std::string::npos);
}

TEST(HttpManGet, AHeadRequestReadsNoBodyAndKeepsTheConnection) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &request) {
        if (request.rfind("HEAD ", 0) == 0)
            return std::string(
                "HTTP/1.1 200 OK\r\nContent-Length: 123456\r\nContent-Type: text/plain\r\n\r\n");
        return Response(200, "after the head");
    }));
    HttpMan http;
    http.Control().Method = HttpMethod::Head;
    RecordingSink sink;
    ASSERT_TRUE(http.Get(Url(server, "/h").c_str(), sink));
    EXPECT_EQ(sink.statuses, std::vector<int>{200});
    EXPECT_TRUE(sink.body.empty());
    EXPECT_EQ(http.LastResult().Header.ContentLength, 123456);
    http.Control().Method = HttpMethod::Get;
    DataBuffer body;
    ASSERT_TRUE(http.Get(Url(server, "/h").c_str(), body));
    EXPECT_EQ(Text(body), "after the head");
    EXPECT_EQ(server.Accepted(), 1); // both over one kept connection
    EXPECT_EQ(server.Received(0).rfind("HEAD /h HTTP/1.1\r\n", 0), 0u) << server.Received(0);
}
