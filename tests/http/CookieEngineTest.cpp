// The cookie steps of the GET engine against scripted servers: cookies set by a redirect hop belong to
// that hop's host, Set-Cookie lines cannot smuggle anything into a later request (a bare CR refuses the
// whole response), Secure cookies need a verified TLS channel, and the facade sends the exact Cookie line
// of the cookie parser cases.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "http/CookieTestHelpers.h"
#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

using namespace vantry;

using enginetest::AllReceived;
using enginetest::Ok;
using enginetest::Text;
using testsupport::ConnectionScript;
using testsupport::ScriptedServer;

namespace {

std::string UrlOn(const std::string &address, const ScriptedServer &s, const std::string &path) {
    return "http://" + address + ":" + std::to_string(s.Port()) + path;
}

// Answers every request of every connection with what reply returns for its request line's target.
ConnectionScript Route(std::function<std::string(const std::string &target)> reply) {
    return ConnectionScript().AnswerEach("\r\n\r\n", [reply](const std::string &request) {
        size_t start = request.find(' ') + 1;
        return reply(request.substr(start, request.find(' ', start) - start));
    });
}

// The head of the request for target among everything a server received.
std::string RequestHead(const std::string &all, const std::string &target) {
    size_t at = all.find("GET " + target + " ");
    if (at == std::string::npos)
        return std::string();
    return all.substr(at, all.find("\r\n\r\n", at) + 4 - at);
}

struct Engine {
    cookietest::FixedClock clock;
    testsupport::TempDir cookies;
    HttpClient client;
    HttpControl control;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    Engine() {
        control.ConnectTimeout = 2;
        control.ReadTimeout = 3;
        control.CookieDir.SetString(cookies.Path().c_str());
    }
    // reuse: over the client's kept-alive connection (which must be to the same server).
    bool Get(const std::string &url, bool reuse = true) {
        result.Reset();
        return client.HttpGet(url.c_str(), 0, reuse, control, body, result, log);
    }
};

} // namespace

TEST(CookieEngine, CookiesSetByARedirectHopBelongToThatHopsHostAlone) {
    ScriptedServer bank(16, "127.0.0.1"), other(16, "127.0.0.2");
    ASSERT_TRUE(bank.Ok());
    ASSERT_TRUE(other.Ok()) << "127.0.0.2 cannot be bound";
    const std::string landing = UrlOn("127.0.0.2", other, "/landing");
    bank.SetDefaultScript(Route([&](const std::string &target) {
        return target == "/start"
                   ? "HTTP/1.1 302 Found\r\nLocation: " + landing + "\r\nContent-Length: 0\r\n\r\n"
                   : Ok("bank");
    }));
    other.SetDefaultScript(Route([](const std::string &) {
        return Ok("landed", "Set-Cookie: sid=planted; path=/\r\nSet-Cookie: wide=1; domain=127.0.0.1\r\n"
                            "Set-Cookie: own=1; domain=127.0.0.2\r\n");
    }));
    Engine e;
    ASSERT_TRUE(e.Get(UrlOn("127.0.0.1", bank, "/start"))) << e.log.Dump();
    EXPECT_EQ(Text(e.body), "landed");
    // The pooled connection was opened for the bank, yet nothing lands there.
    ASSERT_TRUE(e.Get(UrlOn("127.0.0.1", bank, "/next"))) << e.log.Dump();
    EXPECT_EQ(RequestHead(AllReceived(bank), "/next").find("Cookie:"), std::string::npos)
        << AllReceived(bank);
    ASSERT_TRUE(e.Get(UrlOn("127.0.0.2", other, "/again"), false)) << e.log.Dump();
    EXPECT_NE(RequestHead(AllReceived(other), "/again").find("\r\nCookie: sid=planted; own=1\r\n"),
              std::string::npos)
        << AllReceived(other);
}

TEST(CookieEngine, SetCookieLinesCannotSmuggleAnythingIntoALaterRequest) {
    ScriptedServer server;
    server.SetDefaultScript(Route([](const std::string &target) {
        if (target == "/cr") // a bare CR inside a head makes the whole response invalid
            return std::string("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n"
                               "Set-Cookie: b=2\rGET /evil HTTP/1.1\r\n\r\nset");
        if (target != "/set")
            return Ok("plain");
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n"
                           "Set-Cookie: a=1\nX-Smuggled: 1\r\n"
                           "Set-Cookie: c==?utf-8?Q?x=0D=0AGET_/evil_HTTP/1.1=0D=0A?=\r\n"
                           "Set-Cookie: d==?utf-8?B?DQpHRVQgL2V2aWwgSFRUUC8xLjENCg==?=\r\n"
                           "\r\nset");
    }));
    Engine e;
    ASSERT_TRUE(e.Get(enginetest::Url(server, "/set"))) << e.log.Dump();
    EXPECT_FALSE(e.Get(enginetest::Url(server, "/cr")));
    EXPECT_TRUE(e.log.Has("error: Invalid response header received")) << e.log.Dump();
    ASSERT_TRUE(e.Get(enginetest::Url(server, "/next"))) << e.log.Dump();
    std::string all = AllReceived(server);
    std::string next = all.substr(all.find("GET /next "));
    // Exactly one request went out after the first, and its Cookie line holds the values as sent.
    EXPECT_EQ(next.find("GET /evil"), std::string::npos) << next;
    EXPECT_EQ(next.find("\r\n\r\n"), next.size() - 4) << next;
    EXPECT_EQ(next.find('\n'), next.find("\r\n") + 1);
    EXPECT_NE(next.find("\r\nCookie: a=1; c==?utf-8?Q?x=0D=0AGET_/evil_HTTP/1.1=0D=0A?=; "
                        "d==?utf-8?B?DQpHRVQgL2V2aWwgSFRUUC8xLjENCg==?=\r\n"),
              std::string::npos)
        << next;
    for (size_t at = next.find('\r'); at != std::string::npos; at = next.find('\r', at + 1))
        EXPECT_EQ(next[at + 1], '\n') << next;
}

namespace {

struct TlsCookieServer {
    testsupport::TempDir dir;
    testsupport::TestCa ca{dir.Path(), "cookies"};
    testsupport::CertFiles good = ca.Good();
};

TlsCookieServer &Pki() {
    static TlsCookieServer pki;
    return pki;
}

// A TLS server that answers two requests on one session and keeps what it read.
struct TwoAnswers {
    std::mutex lock;
    std::string read;
    testsupport::TlsTestServer server;
    explicit TwoAnswers(std::vector<std::string> replies)
        : server(Pki().good.cert, Pki().good.key, [this, replies](testsupport::TlsSession &s) {
              if (!s.Handshake())
                  return;
              for (size_t i = 0; i < replies.size(); ++i) {
                  bool got = s.ReadCount("\r\n\r\n", static_cast<int>(i + 1));
                  {
                      std::lock_guard<std::mutex> hold(lock);
                      read = s.Plain();
                  }
                  if (!got || !s.Send(replies[i]))
                      return;
              }
              s.WaitPeerClose(5000);
          }) {}
    std::string Url(const std::string &path) const {
        return "https://127.0.0.1:" + std::to_string(server.Port()) + path;
    }
    std::string Read() {
        std::lock_guard<std::mutex> hold(lock);
        return read;
    }
};

const std::string kSetsSecure = Ok("a", "Set-Cookie: s=1; secure\r\nSet-Cookie: p=2\r\n");

} // namespace

TEST(CookieEngine, ASecureCookieTravelsOnlyOverAVerifiedTlsChannel) {
    TwoAnswers verified({kSetsSecure, Ok("b")});
    Engine e;
    e.control.TlsCaFile.SetString(Pki().ca.CaFile().c_str());
    ASSERT_TRUE(e.Get(verified.Url("/one"))) << e.log.Dump();
    ASSERT_TRUE(e.Get(verified.Url("/two"))) << e.log.Dump();
    EXPECT_NE(verified.Read().find("\r\nCookie: s=1; p=2\r\n"), std::string::npos) << verified.Read();
}

TEST(CookieEngine, AnUnverifiedTlsChannelNeitherSetsNorGetsSecureCookies) {
    Engine e;
    {
        TwoAnswers verified({kSetsSecure});
        e.control.TlsCaFile.SetString(Pki().ca.CaFile().c_str());
        ASSERT_TRUE(e.Get(verified.Url("/one"))) << e.log.Dump();
        e.client.CloseConnections();
    }
    TwoAnswers unverified({Ok("a", "Set-Cookie: u=1; secure\r\nSet-Cookie: q=3\r\n"), Ok("b")});
    e.control.TlsCaFile.SetString("");
    e.control.RequireVerifiedServer = false;
    ASSERT_TRUE(e.Get(unverified.Url("/one"))) << e.log.Dump();
    ASSERT_TRUE(e.log.Has("error: Error authenticating server credentials!")) << e.log.Dump();
    ASSERT_TRUE(e.Get(unverified.Url("/two"))) << e.log.Dump();
    EXPECT_NE(unverified.Read().find("\r\nCookie: p=2; q=3\r\n"), std::string::npos) << unverified.Read();
    e.client.CloseConnections();
}

TEST(CookieEngine, TheFacadeSendsTheExactCookieLineOfTheParserCases) {
    ScriptedServer server;
    std::mutex lock;
    std::vector<std::string> cookieLines;
    server.SetDefaultScript(Route([&](const std::string &target) {
        if (target.rfind("/cookie-parser?", 0) == 0)
            return Ok("set",
                      "Set-Cookie: key=val0;\r\nSet-Cookie: key=val1; path=/cookie-parser-result\r\n"
                      "Set-Cookie: key=val2; path=/\r\nSet-Cookie: key=val3; path=/bar\r\n"
                      "Set-Cookie: =x\r\nSet-Cookie: q=\"a b\"; Expires=Fri, 07 Aug 2007 08:04:19 GMT\r\n"
                      "Set-Cookie: q2=\"a, b\"; Max-Age=60\r\n");
        return Ok("result");
    }));
    cookietest::FixedClock clock;
    testsupport::TempDir dir;
    HttpMan man;
    man.SetCookieDir(dir.Path().c_str());
    StringBuffer page;
    ASSERT_TRUE(man.QuickGetHtml(enginetest::Url(server, "/cookie-parser?1").c_str(), page));
    ASSERT_TRUE(man.QuickGetHtml(enginetest::Url(server, "/cookie-parser-result?1").c_str(), page));
    std::string head = RequestHead(AllReceived(server), "/cookie-parser-result?1");
    EXPECT_NE(head.find("\r\nCookie: key=val1; key=val2; x; q2=\"a, b\"\r\n"), std::string::npos) << head;
}
