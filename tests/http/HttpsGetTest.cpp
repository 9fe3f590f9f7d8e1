// The GET engine's TLS road against the scripted TLS server: heads and bodies across many records, chunks,
// bodies ended by close_notify or the peer's close, keep-alive over one session, a redirect from http to
// https, and the two TLS settings (an added CA file, a required verified server).
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <string>

#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpConnPool.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/TlsTestServer.h"

using namespace vantry;

using namespace enginetest;
using testsupport::CertFiles;
using testsupport::TestCa;
using testsupport::TlsSession;
using testsupport::TlsTestServer;

namespace {

struct Pki {
    testsupport::TempDir dir;
    TestCa ca{dir.Path(), "engine"};
    CertFiles good = ca.Good();
    CertFiles expired = ca.Expired();
};

Pki &SharedPki() {
    static Pki pki;
    return pki;
}

struct Fixture {
    HttpClient client;
    HttpControl control;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    Fixture() {
        control.ConnectTimeout = 3;
        control.ReadTimeout = 5;
        control.TlsCaFile.SetString(SharedPki().ca.CaFile().c_str());
    }
    bool Get(const std::string &url, bool reuse = false) {
        result.Reset();
        return client.HttpGet(url.c_str(), 0, reuse, control, body, result, log);
    }
};

std::string HttpsUrl(const TlsTestServer &s, const std::string &path) {
    return "https://127.0.0.1:" + std::to_string(s.Port()) + path;
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('A' + (i * 7) % 26);
    return s;
}

std::string Chunked(const std::string &body, size_t chunk) {
    std::string out;
    char size[16];
    for (size_t at = 0; at < body.size(); at += chunk) {
        std::string piece = body.substr(at, chunk);
        std::snprintf(size, sizeof(size), "%zx", piece.size());
        out += std::string(size) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Answers each request with the next response, cut into records of recordSize bytes.
TlsTestServer::Handler Serve(std::vector<std::string> responses, size_t recordSize) {
    return [responses, recordSize](TlsSession &s) {
        if (!s.Handshake())
            return;
        for (size_t i = 0; i < responses.size(); ++i) {
            if (!s.ReadCount("\r\n\r\n", static_cast<int>(i + 1)))
                return;
            s.QueueInRecords(responses[i], recordSize);
            s.Flush();
        }
        s.WaitPeerClose(5000);
    };
}

} // namespace

TEST(HttpsGet, ContentLengthBodyAcrossManyRecordsIsRead) {
    const std::string body = Pattern(50000);
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, Serve({Ok(body)}, 777));
    Fixture f;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/page"))) << f.log.Dump();
    EXPECT_EQ(200, f.result.Header.StatusCode);
    EXPECT_EQ(body, Text(f.body));
    EXPECT_TRUE(f.log.HasInOrder(
        {"data: httpServer=127.0.0.1", "info: Using HTTPS.", "info: Secure Channel Established."}))
        << f.log.Dump();
    EXPECT_FALSE(f.log.Has("error: Error authenticating server credentials!")) << f.log.Dump();
}

TEST(HttpsGet, HeadSpreadOverTinyRecordsIsRead) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, Serve({Ok("tiny", "X-Pad: 1\r\n")}, 3));
    Fixture f;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/"))) << f.log.Dump();
    EXPECT_EQ("tiny", Text(f.body));
}

TEST(HttpsGet, ChunkedBodiesAcrossRecordsOnOneKeptAliveSession) {
    const std::string first = Pattern(30000), second = Pattern(1234);
    std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key,
                         Serve({head + Chunked(first, 4096), head + Chunked(second, 100)}, 1000));
    Fixture f;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/a"), true)) << f.log.Dump();
    EXPECT_EQ(first, Text(f.body));
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/b"), true)) << f.log.Dump();
    EXPECT_EQ(second, Text(f.body));
    EXPECT_EQ(1, server.Accepted());
}

TEST(HttpsGet, BodyWithoutLengthEndsAtCloseNotify) {
    const std::string body = Pattern(20000);
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        if (!s.Handshake() || !s.ReadCount("\r\n\r\n", 1))
            return;
        s.QueueInRecords("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body, 5000);
        s.SendCloseNotify();
        s.WaitPeerClose(5000);
    });
    Fixture f;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/"), true)) << f.log.Dump();
    EXPECT_EQ(body, Text(f.body));
    EXPECT_TRUE(f.log.Has("info: End of session has been signalled.")) << f.log.Dump();
    EXPECT_FALSE(f.log.Has("error: WaitForData timed out.")) << f.log.Dump();
    EXPECT_FALSE(f.client.Channel().HasContext());
}

TEST(HttpsGet, BodyWithoutLengthEndsAtThePeersClose) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake() || !s.ReadCount("\r\n\r\n", 1))
            return;
        s.Send("HTTP/1.1 200 OK\r\n\r\nuntil the end");
        s.CloseTcp();
    });
    Fixture f;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/"), true)) << f.log.Dump();
    EXPECT_EQ("until the end", Text(f.body));
    // The truncation cannot be told from the end of the body: it is noted, and the session is not kept.
    EXPECT_TRUE(f.log.Has("info: The TLS session ended without close_notify; the body may be cut short."))
        << f.log.Dump();
    EXPECT_FALSE(f.client.Channel().IsConnected());
}

TEST(HttpsGet, RecordThatFailsToDecryptInsideTheBodyIsAFailureNotItsEnd) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake() || !s.ReadCount("\r\n\r\n", 1))
            return;
        s.Send("HTTP/1.1 200 OK\r\n\r\nfirst part");
        // An application data record whose contents do not authenticate.
        s.SendPlain(std::string("\x17\x03\x03\x00\x20", 5) + std::string(32, '\x5a'));
        s.WaitPeerClose(5000);
    });
    Fixture f;
    EXPECT_FALSE(f.Get(HttpsUrl(server, "/"))) << f.log.Dump();
    EXPECT_TRUE(f.log.HasInOrder({"error: Error in DecryptMessage",
                                  "error: The response body without length did not end with the close of the "
                                  "connection."}))
        << f.log.Dump();
}

TEST(HttpsGet, DataSentDuringARenegotiationCountsAgainstTheBodyLimit) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake() || !s.ReadCount("\r\n\r\n", 1))
            return;
        s.Send("HTTP/1.1 200 OK\r\n\r\n");
        s.Renegotiate();
        s.Send(Pattern(60000)); // in the old keys, right behind the request for a new handshake
        s.WaitPeerClose(5000);
    });
    server.SetMaxVersion(TLS1_2_VERSION);
    Fixture f;
    f.control.MaxContentLength = 1000;
    EXPECT_FALSE(f.Get(HttpsUrl(server, "/"))) << f.log.Dump();
    EXPECT_TRUE(f.log.Has("error: Data received during renegotiation is larger than the maximum allowed."))
        << f.log.Dump();
}

TEST(HttpsGet, DeclaredLengthOverTheLimitIsRefusedAsOnPlainConnections) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, Serve({Ok(Pattern(100))}, 4000));
    Fixture f;
    f.control.MaxContentLength = 10;
    EXPECT_FALSE(f.Get(HttpsUrl(server, "/")));
    EXPECT_TRUE(f.log.Has("error: Content length more than the maximum allowed.")) << f.log.Dump();
}

TEST(HttpsGet, HttpPageRedirectingToHttpsIsFollowed) {
    TlsTestServer tlsServer(SharedPki().good.cert, SharedPki().good.key, Serve({Ok("secure page")}, 4000));
    testsupport::ScriptedServer plain;
    plain.AddScript(AnswerAndClose(Redirect(301, HttpsUrl(tlsServer, "/landing"))));
    Fixture f;
    ASSERT_TRUE(f.Get(Url(plain, "/"))) << f.log.Dump();
    EXPECT_TRUE(f.result.WasRedirected);
    EXPECT_EQ(HttpsUrl(tlsServer, "/landing"), std::string(f.result.FinalUrl.Text()));
    EXPECT_EQ("secure page", Text(f.body));
    EXPECT_TRUE(f.log.Has("info: Using HTTPS."));
}

TEST(HttpsGet, WithVerificationOffAFailingCertificateIsLoggedAndThePageStillRead) {
    TlsTestServer server(SharedPki().expired.cert, SharedPki().expired.key, Serve({Ok("public page")}, 4000));
    Fixture f;
    f.control.RequireVerifiedServer = false;
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/"))) << f.log.Dump();
    EXPECT_EQ("public page", Text(f.body));
    EXPECT_TRUE(f.log.HasInOrder(
        {"data: WinVerifyTrustError=CERT_E_EXPIRED", "error: Error authenticating server credentials!"}))
        << f.log.Dump();
}

TEST(HttpsGet, RequireVerifiedServerRefusesAFailingCertificate) {
    TlsTestServer server(SharedPki().expired.cert, SharedPki().expired.key, Serve({Ok("public page")}, 4000));
    Fixture f;
    f.control.RequireVerifiedServer = true;
    EXPECT_FALSE(f.Get(HttpsUrl(server, "/")));
    EXPECT_TRUE(f.log.HasInOrder(
        {"error: Error authenticating server credentials!", "error: Failed to connect to HTTP server"}))
        << f.log.Dump();
    EXPECT_EQ(0u, f.body.Length());
}

TEST(HttpsGet, ByDefaultAServerMustVerifyAndAPrivateCaInTlsCaFileMakesItSo) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, Serve({Ok("private page")}, 4000));
    Fixture f;
    f.control.TlsCaFile.SetString(""); // the settings' defaults: the system store only, verification on
    EXPECT_FALSE(f.Get(HttpsUrl(server, "/")));
    EXPECT_TRUE(f.log.HasInOrder({"data: WinVerifyTrustError=CERT_E_UNTRUSTEDROOT",
                                  "error: Error authenticating server credentials!",
                                  "error: Failed to connect to HTTP server"}))
        << f.log.Dump();
    EXPECT_EQ(0u, f.body.Length());
    f.control.TlsCaFile.SetString(SharedPki().ca.CaFile().c_str());
    ASSERT_TRUE(f.Get(HttpsUrl(server, "/"))) << f.log.Dump();
    EXPECT_EQ("private page", Text(f.body));
}

TEST(HttpsGet, AConnectionOpenedUnverifiedIsNotReusedOnceVerificationIsRequired) {
    // Each connection would answer two requests; the second must not travel over the unverified one.
    TlsTestServer server(SharedPki().expired.cert, SharedPki().expired.key,
                         Serve({Ok("one"), Ok("two")}, 4000));
    HttpControl control;
    control.ReadTimeout = 5;
    control.TlsCaFile.SetString(SharedPki().ca.CaFile().c_str());
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    {
        // Through the pool: a client per verification setting.
        HttpConnPool pool;
        control.RequireVerifiedServer = false;
        ASSERT_TRUE(pool.Fetch(HttpsUrl(server, "/1").c_str(), control, body, result, log)) << log.Dump();
        control.RequireVerifiedServer = true;
        EXPECT_FALSE(pool.Fetch(HttpsUrl(server, "/2").c_str(), control, body, result, log));
        EXPECT_EQ(2, server.Accepted());
        EXPECT_EQ(2, pool.ClientCount());
    }
    {
        // On one client's own kept connection.
        HttpClient client;
        control.RequireVerifiedServer = false;
        ASSERT_TRUE(client.HttpGet(HttpsUrl(server, "/3").c_str(), 0, true, control, body, result, log));
        control.RequireVerifiedServer = true;
        log.entries.clear();
        EXPECT_FALSE(client.HttpGet(HttpsUrl(server, "/4").c_str(), 0, true, control, body, result, log));
        EXPECT_TRUE(
            log.Has("info: The kept-alive TLS connection's server is not verified; opening a new one."))
            << log.Dump();
        EXPECT_EQ(4, server.Accepted());
    }
}

TEST(HttpsGet, ACachedPageFromAnUnverifiedChannelIsNotServedOnceVerificationIsRequired) {
    for (bool caf : {false, true}) {
        const std::string cacheable = Ok("page", "Cache-Control: max-age=600\r\n");
        TlsTestServer unverified(SharedPki().expired.cert, SharedPki().expired.key, Serve({cacheable}, 4000));
        TlsTestServer verified(SharedPki().good.cert, SharedPki().good.key, Serve({cacheable}, 4000));
        testsupport::TempDir dir;
        Fixture f;
        f.control.UseHttpCache = caf;
        f.control.CacheStore.AddRoot(dir.Path().c_str());
        f.control.HttpStore.AddRoot(dir.Path().c_str());
        f.control.RequireVerifiedServer = false;
        ASSERT_TRUE(f.Get(HttpsUrl(unverified, "/p"))) << f.log.Dump();
        ASSERT_TRUE(f.Get(HttpsUrl(verified, "/p"))) << f.log.Dump();
        ASSERT_TRUE(f.Get(HttpsUrl(unverified, "/p")));
        EXPECT_TRUE(f.result.FromCache) << caf; // verification off: served
        f.control.RequireVerifiedServer = true;
        f.log.entries.clear();
        EXPECT_FALSE(f.Get(HttpsUrl(unverified, "/p"))) << caf; // to the network, where the server fails
        EXPECT_TRUE(f.log.Has("info: Cache entry did not come over a verified TLS channel; not served to a "
                              "request that requires one."))
            << f.log.Dump();
        ASSERT_TRUE(f.Get(HttpsUrl(verified, "/p"))) << f.log.Dump();
        EXPECT_TRUE(f.result.FromCache) << caf;
        EXPECT_EQ(1, verified.Accepted());
    }
}

TEST(HttpsGet, PoolKeepsOneTlsConnectionForTwoFetches) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, Serve({Ok("one"), Ok("two")}, 4000));
    HttpConnPool pool;
    HttpControl control;
    control.ReadTimeout = 5;
    control.TlsCaFile.SetString(SharedPki().ca.CaFile().c_str());
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(pool.Fetch(HttpsUrl(server, "/1").c_str(), control, body, result, log)) << log.Dump();
    EXPECT_EQ("one", Text(body));
    ASSERT_TRUE(pool.Fetch(HttpsUrl(server, "/2").c_str(), control, body, result, log)) << log.Dump();
    EXPECT_EQ("two", Text(body));
    EXPECT_EQ(1, server.Accepted());
}

TEST(HttpsGet, ChannelSourceServesTheBytesAlreadyReceivedBeforeTheRecords) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake() || !s.ReadCount("go", 1))
            return;
        s.QueueInRecords("lo\r\n3\r\nabc\r\n0\r\n\r\n", 4);
        s.Flush();
        s.WaitPeerClose(5000);
    });
    SChannel channel;
    channel.SetHost("127.0.0.1");
    channel.SetPort(server.Port());
    RecordingLog log;
    ASSERT_TRUE(channel.Connect(log)) << log.Dump();
    ASSERT_TRUE(channel.SendData("go", 2, log));
    ChannelByteSource source(channel);
    const std::string extra = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel";
    source.Prime(reinterpret_cast<const uint8_t *>(extra.data()), static_cast<uint32_t>(extra.size()));
    ResponseFraming framing;
    ASSERT_EQ(framing.ReadHead(source, log), ResponseFraming::HeadResult::Ok) << log.Dump();
    DataBuffer body;
    ASSERT_TRUE(framing.ReadBody(source, 0, body, log)) << log.Dump();
    EXPECT_EQ("helloabc", Text(body));
}
