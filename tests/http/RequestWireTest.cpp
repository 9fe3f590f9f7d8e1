// The request as it reaches the scripted server: the Host line's port, header lines that are never
// folded, values that would break a line refused before any connection, the fragment left out, and
// the URL limits a library user gets (any extension, URLs up to 8000 bytes).
#include <gtest/gtest.h>

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

std::string FirstRequest(const ScriptedServer &server) {
    return server.WaitFinished(0, 3000) ? server.Received(0) : "(no request)";
}

} // namespace

TEST(RequestWire, HostLineCarriesAPortThatIsNotTheDefaultInEveryProfile) {
    for (int profile = 0; profile < 3; ++profile) {
        ScriptedServer server;
        server.SetDefaultScript(AnswerAndClose(Ok("x")));
        Fixture f;
        f.control.MimicIE = profile == 1;
        f.control.MimicFirefox = profile == 2;
        ASSERT_TRUE(f.Get(Url(server, "/p"))) << f.log.Dump();
        EXPECT_NE(FirstRequest(server).find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
                  std::string::npos)
            << FirstRequest(server);
    }
}

TEST(RequestWire, LongHeaderLinesGoOutUnfolded) {
    std::string cookie, accept;
    for (int i = 0; i < 60; ++i) {
        cookie += "c" + std::to_string(i) + "=v" + std::to_string(i) + "; ";
        accept += "text/t" + std::to_string(i) + ";q=0.5, ";
    }
    cookie.resize(cookie.size() - 2);
    accept.resize(accept.size() - 2);
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("x")));
    Fixture f;
    f.control.ExtraHeaders.Append("Cookie", cookie.c_str());
    f.control.ExtraHeaders.Append("X-Long", (std::string(300, 'a') + ";" + std::string(300, 'b')).c_str());
    f.control.Accept.SetString(accept.c_str());
    f.control.Referer.SetString(("http://r.example/?" + cookie).c_str());
    ASSERT_TRUE(f.Get(Url(server, "/"))) << f.log.Dump();
    std::string request = FirstRequest(server);
    EXPECT_NE(request.find("\r\nCookie: " + cookie + "\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nX-Long: " + std::string(300, 'a') + ";" + std::string(300, 'b') + "\r\n"),
              std::string::npos);
    EXPECT_NE(request.find("\r\nAccept: " + accept + "\r\n"), std::string::npos);
    EXPECT_EQ(request.find("\r\n\t"), std::string::npos);
    EXPECT_EQ(request.find("\r\n "), std::string::npos);
}

TEST(RequestWire, HeaderValueWithCrLfOrNulIsRefusedBeforeAnyConnection) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("x")));
    Fixture f;
    f.control.ExtraHeaders.Append("X-Bad", "one\r\nInjected: two");
    EXPECT_FALSE(f.Get(Url(server, "/")));
    EXPECT_TRUE(
        f.log.HasInOrder({"error: A request header value holds a CR, LF or NUL byte.", "data: header=X-Bad"}))
        << f.log.Dump();

    Fixture g;
    g.control.UserAgent.Append(std::string_view("agent\0tail", 10));
    EXPECT_FALSE(g.Get(Url(server, "/")));
    EXPECT_TRUE(g.log.Has("data: header=User-Agent"));
    EXPECT_EQ(server.Accepted(), 0);
}

TEST(RequestWire, FragmentIsLeftOutOfTheRequestAndThroughAProxy) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("x")));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(server, "/p#a?b#c")));
    EXPECT_EQ(FirstRequest(server).rfind("GET /p HTTP/1.1\r\n", 0), 0u) << FirstRequest(server);

    ScriptedServer proxy;
    proxy.SetDefaultScript(AnswerAndClose(Ok("x")));
    Fixture g;
    g.control.ProxyDomain.SetString("127.0.0.1");
    g.control.ProxyPort = proxy.Port();
    ASSERT_TRUE(g.Get("http://origin.example/q?x=1#frag")) << g.log.Dump();
    EXPECT_EQ(FirstRequest(proxy).rfind("GET http://origin.example/q?x=1 HTTP/1.1\r\n", 0), 0u)
        << FirstRequest(proxy);
}

TEST(RequestWire, LibraryUsersFetchAnyExtensionAndUrlsUpTo8000Bytes) {
    ScriptedServer server;
    server.SetDefaultScript(AnswerAndClose(Ok("media")));
    Fixture f;
    EXPECT_EQ(f.control.MaxUrlLen, 8000);
    EXPECT_FALSE(f.control.RefuseMediaExtensions);
    EXPECT_TRUE(f.Get(Url(server, "/song.MP3"))) << f.log.Dump();
    EXPECT_TRUE(f.Get(Url(server, "/clip.wmv")));

    std::string base = Url(server, "/long?q=");
    std::string longest = base + std::string(8000 - base.size(), 'x');
    EXPECT_TRUE(f.Get(longest)) << f.log.Dump();
    EXPECT_FALSE(f.Get(longest + "y"));
    EXPECT_TRUE(
        f.log.HasInOrder({"error: URL is longer than the maximum allowed length.", "data: maxUrlLen=8000"}));
    EXPECT_EQ(server.Accepted(), 3);
}
