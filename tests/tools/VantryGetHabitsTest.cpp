// vantry-get with a curl user's habits, end to end against the scripted server and a scripted TLS server:
// -I, -w, -o -, -s/-S, redirect options, --compressed, --retry, refused methods, -O names, proxies from
// the environment (https through a CONNECT tunnel), and failure messages that say what failed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include "RunProgram.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#ifdef VANTRY_GET_PATH

using testsupport::ConnectionScript;
using testsupport::ProgramResult;
using testsupport::ScriptedServer;
using testsupport::TlsSession;
using testsupport::TlsTestServer;

namespace {

using testsupport::ClosedPort;
using testsupport::GzipOf;

std::string Response(int status, const std::string &body, const std::string &extra = "") {
    return "HTTP/1.1 " + std::to_string(status) + " Status " + std::to_string(status) +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

ConnectionScript Answer(const std::string &response) {
    return ConnectionScript().ReadUntil("\r\n\r\n").Send(response).Close();
}

std::string Url(const ScriptedServer &server, const std::string &path = "/") {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

ProgramResult Get(std::vector<std::string> args, const std::vector<std::string> &env = {},
                  const std::string &cwd = "") {
    args.insert(args.begin(), VANTRY_GET_PATH);
    return testsupport::RunProgram(args, cwd, 60, env);
}

size_t Lines(const std::string &text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// One certificate authority and its server certificates for every TLS test of this file.
struct Pki {
    std::string dir = testsupport::MakeTempDirectory();
    testsupport::TestCa ca{dir, "vantry-get"};
    testsupport::CertFiles good = ca.Good();
    testsupport::CertFiles other = ca.OtherName();
};
Pki &SharedPki() {
    static Pki pki;
    return pki;
}

} // namespace

TEST(VantryGetHabits, HeadSendsAHeadRequestAndWritesTheHeadOnly) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4000\r\nContent-Type: text/plain\r\n\r\n";
    ScriptedServer server;
    server.AddScript(ConnectionScript().ReadUntil("\r\n\r\n").Send(head).HoldOpen());
    ProgramResult r = Get({"-I", Url(server, "/file.txt")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, head);
    EXPECT_EQ(server.Received(0).rfind("HEAD /file.txt HTTP/1.1\r\n", 0), 0u) << server.Received(0);
}

TEST(VantryGetHabits, WriteOutReportsTheTransferAfterTheBody) {
    ScriptedServer server;
    server.AddScript(Answer(Response(303, "see other", "Location: /final\r\n")));
    server.AddScript(Answer(Response(200, "hello", "Content-Type: text/plain\r\n")));
    ProgramResult r =
        Get({"-w", "%{http_code} %{size_download} %{url_effective} %{content_type}\\n", Url(server)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "hello200 5 " + Url(server, "/final") + " text/plain\n");

    ProgramResult failed = Get(
        {"-s", "-w", "[%{http_code}|%{exitcode}]", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"});
    EXPECT_EQ(failed.exitCode, 7);
    EXPECT_EQ(failed.out, "[000|7]");
    EXPECT_EQ(failed.err, "");
}

TEST(VantryGetHabits, DashIsStandardOutputAndSilentHidesTheFailureUnlessShowError) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "to stdout")));
    ProgramResult dash = Get({"-o", "-", Url(server)});
    EXPECT_EQ(dash.exitCode, 0) << dash.err;
    EXPECT_EQ(dash.out, "to stdout");

    const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    ProgramResult silent = Get({"-s", refused});
    EXPECT_EQ(silent.exitCode, 7);
    EXPECT_EQ(silent.err, "");
    ProgramResult shown = Get({"-sS", refused});
    EXPECT_EQ(shown.exitCode, 7);
    EXPECT_EQ(Lines(shown.err), 1u) << shown.err;
}

TEST(VantryGetHabits, RedirectsFollowByDefaultWithinMaxRedirs) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &request) {
        if (request.rfind("GET /307 ", 0) == 0)
            return Response(307, "", "Location: /308\r\n");
        if (request.rfind("GET /308 ", 0) == 0)
            return Response(308, "", "Location: /done\r\n");
        return Response(200, "done");
    }));
    ProgramResult followed = Get({"-L", Url(server, "/307")});
    EXPECT_EQ(followed.exitCode, 0) << followed.err;
    EXPECT_EQ(followed.out, "done");
    ProgramResult limited = Get({"--max-redirs", "1", Url(server, "/307")});
    EXPECT_EQ(limited.exitCode, 47) << limited.err;
    EXPECT_EQ(limited.out, "");
    ProgramResult kept = Get({"--no-location", "-i", Url(server, "/307")});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.out.rfind("HTTP/1.1 307 ", 0), 0u) << kept.out;
}

TEST(VantryGetHabits, CompressedIsAskedForByDefaultAndAGzFileStaysAsStored) {
    const std::string page = std::string(5000, 'x') + "end";
    const std::string file = GzipOf("archive contents");
    ScriptedServer server;
    server.AddScript(Answer(Response(200, GzipOf(page), "Content-Encoding: gzip\r\n")));
    server.AddScript(Answer(Response(200, "plain")));
    server.AddScript(Answer(Response(200, file, "Content-Type: application/gzip\r\n")));
    ProgramResult compressed = Get({Url(server, "/page")});
    EXPECT_EQ(compressed.exitCode, 0) << compressed.err;
    EXPECT_EQ(compressed.out, page);
    ProgramResult plain = Get({"--no-compressed", Url(server, "/page")});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    ProgramResult archive = Get({"--compressed", Url(server, "/a.tar.gz")});
    EXPECT_EQ(archive.exitCode, 0) << archive.err;
    EXPECT_EQ(archive.out, file);
    ASSERT_TRUE(server.WaitAccepted(3, 5000));
    EXPECT_NE(server.Received(0).find("\r\nAccept-Encoding: gzip\r\n"), std::string::npos)
        << server.Received(0);
    EXPECT_EQ(server.Received(1).find("Accept-Encoding"), std::string::npos) << server.Received(1);
}

TEST(VantryGetHabits, RetryRepeatsTransientFailuresWithBackOff) {
    {
        ScriptedServer server;
        server.AddScript(Answer(Response(503, "busy")));
        server.AddScript(Answer(Response(200, "at last")));
        ProgramResult r = Get({"--retry", "2", Url(server)});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "at last");
        EXPECT_NE(r.err.find("retrying in 1 s, 2 retries left"), std::string::npos) << r.err;
        EXPECT_EQ(server.Accepted(), 2);
    }
    {
        // A time-out is transient too; the last attempt's 503 is the answer, as without --retry.
        ScriptedServer server;
        server.AddScript(ConnectionScript().ReadUntil("\r\n\r\n").HoldOpen());
        server.AddScript(Answer(Response(503, "still busy")));
        ProgramResult r = Get({"--retry", "1", "--read-timeout", "1", Url(server)});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "still busy");
        EXPECT_EQ(server.Accepted(), 2);
    }
    {
        // With --fail a 5xx is retried as well; the last one fails the run.
        ScriptedServer server;
        server.AddScript(Answer(Response(502, "bad gateway")));
        server.AddScript(Answer(Response(502, "bad gateway")));
        server.AddScript(Answer(Response(404, "never asked")));
        ProgramResult r = Get({"--retry", "1", "-f", Url(server)});
        EXPECT_EQ(r.exitCode, 22);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(server.Accepted(), 2);
    }
    {
        ScriptedServer server;
        server.AddScript(Answer(Response(404, "not transient")));
        ProgramResult r = Get({"--retry", "3", "-f", Url(server)});
        EXPECT_EQ(r.exitCode, 22);
        EXPECT_EQ(server.Accepted(), 1);
    }
}

TEST(VantryGetHabits, MethodsOtherThanGetAndHeadAreRefusedInOneLine) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"-X", "POST"}, {"-d", "a=b"}, {"--data-binary", "@file"}}) {
        args.push_back("http://127.0.0.1:1/");
        ProgramResult r = Get(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(Lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find("only GET and HEAD are supported"), std::string::npos) << r.err;
    }
}

TEST(VantryGetHabits, RemoteNameDecodesPercentEscapes) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "pdf bytes")));
    std::string dir = testsupport::MakeTempDirectory();
    ProgramResult r = Get({"-O", Url(server, "/files/annual%20report.pdf")}, {}, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testsupport::DirectoryEntries(dir), std::vector<std::string>{"annual report.pdf"});
    EXPECT_EQ(testsupport::ReadWholeFile(dir + "/annual report.pdf"), "pdf bytes");
    testsupport::RemoveTree(dir);
}

TEST(VantryGetHabits, ProxiesComeFromTheEnvironmentAsCurlReadsThem) {
    ScriptedServer proxy, origin;
    proxy.SetDefaultScript(Answer(Response(200, "via proxy")));
    origin.SetDefaultScript(Answer(Response(200, "direct")));
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    ProgramResult viaProxy = Get({Url(origin, "/p")}, {"http_proxy=" + proxyUrl});
    EXPECT_EQ(viaProxy.out, "via proxy") << viaProxy.err;
    EXPECT_EQ(proxy.Received(0).rfind("GET " + Url(origin, "/p") + " HTTP/1.1\r\n", 0), 0u)
        << proxy.Received(0);
    // HTTP_PROXY is not read (as curl does not), no_proxy exempts a host, and -x "" turns the proxy off.
    EXPECT_EQ(Get({Url(origin)}, {"HTTP_PROXY=" + proxyUrl}).out, "direct");
    EXPECT_EQ(Get({Url(origin)}, {"http_proxy=" + proxyUrl, "NO_PROXY=localhost,127.0.0.1"}).out, "direct");
    EXPECT_EQ(Get({"-x", "", Url(origin)}, {"http_proxy=" + proxyUrl}).out, "direct");
    EXPECT_EQ(proxy.Accepted(), 1);
    ProgramResult bad = Get({Url(origin)}, {"http_proxy=socks5://127.0.0.1:1080"});
    EXPECT_EQ(bad.exitCode, 5);
    EXPECT_EQ(Lines(bad.err), 1u) << bad.err;
}

TEST(VantryGetHabits, HttpsGoesThroughTheProxysTunnel) {
    Pki &pki = SharedPki();
    std::string connectLine, request;
    TlsTestServer proxy(pki.good.cert, pki.good.key, [&](TlsSession &s) {
        connectLine = s.ReadPlainHead();
        s.SendPlain("HTTP/1.1 200 Connection established\r\n\r\n");
        if (!s.Handshake())
            return;
        request = s.ReadUntil("\r\n\r\n");
        s.Send(Response(200, "secret page"));
        s.SendCloseNotify();
    });
    ASSERT_TRUE(proxy.Ok());
    // The tunnel's far end is the proxy itself; the port named in the URL is never connected to directly.
    const int unused = ClosedPort();
    ProgramResult r =
        Get({"--cacert", pki.ca.CaFile(), "https://127.0.0.1:" + std::to_string(unused) + "/inside"},
            {"HTTPS_PROXY=127.0.0.1:" + std::to_string(proxy.Port())});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "secret page");
    ASSERT_TRUE(proxy.WaitHandled(1, 10000)); // the handler's strings are read once it has returned
    EXPECT_EQ(connectLine.rfind("CONNECT 127.0.0.1:" + std::to_string(unused) + " HTTP/1.", 0), 0u)
        << connectLine;
    EXPECT_EQ(request.rfind("GET /inside HTTP/1.1\r\n", 0), 0u) << request;
}

TEST(VantryGetHabits, FailureMessagesSayWhatFailed) {
    const int port = ClosedPort();
    ProgramResult refused = Get({"http://127.0.0.1:" + std::to_string(port) + "/"});
    EXPECT_EQ(refused.exitCode, 7);
    EXPECT_NE(refused.err.find("connect to 127.0.0.1 port " + std::to_string(port) + ": Connection refused"),
              std::string::npos)
        << refused.err;

    Pki &pki = SharedPki();
    auto serve = [](TlsSession &s) {
        if (s.Handshake()) {
            s.ReadUntil("\r\n\r\n");
            s.Send(Response(200, "tls"));
        }
    };
    TlsTestServer wrongName(pki.other.cert, pki.other.key, serve);
    ProgramResult mismatch =
        Get({"--cacert", pki.ca.CaFile(), "https://127.0.0.1:" + std::to_string(wrongName.Port()) + "/"});
    EXPECT_EQ(mismatch.exitCode, 60);
    EXPECT_NE(mismatch.err.find("certificate did not verify: IP address mismatch"), std::string::npos)
        << mismatch.err;
    TlsTestServer untrusted(pki.good.cert, pki.good.key, serve);
    ProgramResult unknownCa = Get({"https://127.0.0.1:" + std::to_string(untrusted.Port()) + "/"});
    EXPECT_EQ(unknownCa.exitCode, 60);
    EXPECT_NE(unknownCa.err.find("certificate did not verify: "), std::string::npos) << unknownCa.err;

    // A server that speaks only TLS 1.0 ends the handshake with an alert; the message names it.
    TlsTestServer old(pki.good.cert, pki.good.key, serve);
    old.SetMaxVersion(TLS1_VERSION);
    ProgramResult alert =
        Get({"--cacert", pki.ca.CaFile(), "https://127.0.0.1:" + std::to_string(old.Port()) + "/"});
    EXPECT_EQ(alert.exitCode, 35) << alert.err;
    EXPECT_NE(alert.err.find("TLS handshake failed: "), std::string::npos) << alert.err;
    EXPECT_EQ(Lines(alert.err), 1u) << alert.err;
}

TEST(VantryGetHabits, VerboseShowsNoCacheNoticesWithoutACache) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "page", "Cache-Control: max-age=60\r\n")));
    ProgramResult r = Get({"-v", Url(server)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    size_t log = r.err.find("VantryLog:"), head = r.err.find("< HTTP/1.1 200");
    ASSERT_TRUE(log != std::string::npos && head != std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(log, head - log).find("ache"), std::string::npos) << r.err;
}

#endif // VANTRY_GET_PATH
