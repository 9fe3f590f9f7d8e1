// Tests of the secure channel against the scripted TLS server: handshake, record sizes and framing,
// close_notify, the proxy CONNECT, certificate verification and the require-verified option.
#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <string>

#include "core/DataBuffer.h"
#include "net/RecordingLog.h"
#include "net/SChannel.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/TlsTestServer.h"

using namespace vantry;

using testsupport::CertFiles;
using testsupport::TestCa;
using testsupport::TlsSession;
using testsupport::TlsTestServer;

namespace {

std::string AsString(const DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

// A CA and its certificates in a temporary directory, shared by the tests of this file.
struct Pki {
    testsupport::TempDir dir;
    TestCa ca{dir.Path(), "test"};
    CertFiles good = ca.Good();
    CertFiles expired = ca.Expired();
    CertFiles other = ca.OtherName();
};

Pki &SharedPki() {
    static Pki pki;
    return pki;
}

void Prepare(SChannel &ch, uint16_t port, bool addCa = true) {
    ch.SetHost("127.0.0.1");
    ch.SetPort(port);
    ch.SetConnectTimeout(5);
    ch.SetReadTimeout(5);
    if (addCa)
        ch.SetCaFile(SharedPki().ca.CaFile().c_str());
}

// Reads records until the plaintext holds text, the session closes or a read fails.
std::string ReceiveUntil(SChannel &ch, const std::string &text, LogBase &log, bool *closedOut = nullptr) {
    std::string all;
    for (int i = 0; i < 50 && all.find(text) == std::string::npos; ++i) {
        DataBuffer part;
        bool closed = false;
        if (!ch.ReceiveRecords(part, closed, log))
            break;
        all += AsString(part);
        if (closed) {
            if (closedOut)
                *closedOut = true;
            break;
        }
    }
    return all;
}

// Handshake, read one request, answer it, then wait for the client to go.
void EchoHandler(TlsSession &s) {
    if (!s.Handshake())
        return;
    std::string req = s.ReadUntil("\r\n\r\n");
    s.Send("reply to " + req);
    s.WaitPeerClose(3000);
}

} // namespace

TEST(SChannelTest, HandshakeAndDataFlowBothWays) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    ASSERT_TRUE(server.Ok());
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_TRUE(ch.IsConnected());
    EXPECT_TRUE(log.Has("info: Secure Channel Established.")) << log.Dump();
    EXPECT_FALSE(log.Has("error: Error authenticating server credentials!")) << log.Dump();
    EXPECT_EQ(0u, ch.ServerCertificateError());

    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_TRUE(ch.SendData(request.data(), static_cast<uint32_t>(request.size()), log)) << log.Dump();
    EXPECT_EQ("reply to " + request, ReceiveUntil(ch, "\r\n\r\n", log)) << log.Dump();
}

TEST(SChannelTest, DefaultProtocolsNegotiateTls13AndLogTodaysNames) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    SChannel ch;
    EXPECT_EQ(tls::SP_PROT_TLS1_2 | tls::SP_PROT_TLS1_3, ch.EnabledProtocols());
    EXPECT_EQ(0u, ch.SupportedAlgorithm());
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_TRUE(log.HasInOrder({"enter: ConnectionInfo", "data: protocol=TLS1.3", "data: cipher=AES-GCM",
                                "data: cipherStrength=256", "data: hash=SHA384", "data: hashStrength=384",
                                "data: keyExchange=ECDHE", "data: keyExchangeGroup=X25519", "leave",
                                "info: Secure Channel Established."}))
        << log.Dump();
    EXPECT_TRUE(log.Has("data: alpn=http/1.1") || !log.Has("data: alpn=")) << log.Dump();
}

TEST(SChannelTest, Tls12ServerGivesTls12WithEcdheNames) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    server.SetMaxVersion(TLS1_2_VERSION);
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_TRUE(log.HasInOrder({"data: protocol=TLS1.2", "data: cipher=AES-GCM", "data: hash=SHA384",
                                "data: keyExchange=ECDHE", "data: keyExchangeStrength=253"}))
        << log.Dump();
    const std::string request = "ping\r\n\r\n";
    ASSERT_TRUE(ch.SendData(request.data(), static_cast<uint32_t>(request.size()), log));
    EXPECT_EQ("reply to ping\r\n\r\n", ReceiveUntil(ch, "\r\n\r\n", log)) << log.Dump();
}

TEST(SChannelTest, SendDataCutsIntoRecordsOfAtMost16000Bytes) {
    std::vector<size_t> sizes;
    std::string plain;
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        if (!s.Handshake())
            return;
        sizes = s.ReadRecordSizes(40000);
        plain = s.Plain();
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    std::string data(40000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(ch.SendData(data.data(), 40000, log)) << log.Dump();
    ASSERT_TRUE(server.WaitHandled(1, 10000));
    EXPECT_EQ((std::vector<size_t>{16000, 16000, 8000}), sizes);
    EXPECT_EQ(data, plain);
}

TEST(SChannelTest, SendDataOfNothingIsTrueWithoutSending) {
    SChannel ch;
    RecordingLog log;
    EXPECT_TRUE(ch.SendData("", 0, log));
    EXPECT_TRUE(log.entries.empty());
}

TEST(SChannelTest, TwoRecordsInOneSegmentComeBackFromOneReceive) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.ReadUntil("go");
        s.Queue("first record|");
        s.Queue("second record");
        s.Flush();
        s.WaitPeerClose(3000);
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.SendData("go", 2, log));
    DataBuffer out;
    bool closed = true;
    ASSERT_TRUE(ch.ReceiveRecords(out, closed, log)) << log.Dump();
    EXPECT_FALSE(closed);
    EXPECT_EQ("first record|second record", AsString(out));
}

TEST(SChannelTest, RecordSplitAcrossSegmentsIsWaitedFor) {
    const std::string body(5000, 'x');
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.ReadUntil("go");
        s.Queue(body);
        s.FlushSplit(3, 100); // not even a whole record header in the first segment
        s.WaitPeerClose(3000);
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.SendData("go", 2, log));
    DataBuffer out;
    bool closed = false;
    ASSERT_TRUE(ch.ReceiveRecords(out, closed, log)) << log.Dump();
    EXPECT_EQ(body, AsString(out));
}

TEST(SChannelTest, RecordsArrivingWithTheEndOfTheHandshakeAreKept) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake(true))
            return;
        s.Queue("sent with the Finished message");
        s.Flush();
        s.WaitPeerClose(3000);
    });
    server.SetMaxVersion(TLS1_2_VERSION); // the server's Finished is the handshake's last flight
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    DataBuffer out;
    bool closed = false;
    ASSERT_TRUE(ch.ReceiveRecords(out, closed, log)) << log.Dump();
    EXPECT_EQ("sent with the Finished message", AsString(out));
}

TEST(SChannelTest, CloseNotifyEndsReadWithClosedFlagAndNoData) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.ReadUntil("bye");
        s.SendCloseNotify();
        s.WaitPeerClose(3000);
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.SendData("bye", 3, log));
    DataBuffer out;
    bool closed = false;
    ASSERT_TRUE(ch.ReceiveRecords(out, closed, log)) << log.Dump();
    EXPECT_TRUE(closed);
    EXPECT_EQ(0u, out.Length());
    EXPECT_TRUE(log.Has("info: End of session has been signalled."));
}

TEST(SChannelTest, DataThenCloseNotifyInOneSegmentGiveBoth) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.ReadUntil("go");
        s.Queue("last words");
        s.SendCloseNotify(); // flushes the data record and the alert together
        s.WaitPeerClose(3000);
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.SendData("go", 2, log));
    bool closed = false;
    EXPECT_EQ("last words", ReceiveUntil(ch, "never", log, &closed)) << log.Dump();
    EXPECT_TRUE(closed);
}

TEST(SChannelTest, ServerRenegotiationIsAnsweredAndTheSessionGoesOn) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.ReadUntil("go");
        s.Renegotiate();
        s.Send("before|"); // data in the old keys right behind the request for a new handshake
        s.ReadUntil("more");
        s.Send("after");
        s.WaitPeerClose(3000);
    });
    server.SetMaxVersion(TLS1_2_VERSION);
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.SendData("go", 2, log));
    EXPECT_EQ("before|", ReceiveUntil(ch, "|", log)) << log.Dump();
    EXPECT_TRUE(log.Has("info: Server requested renegotiate.")) << log.Dump();
    ASSERT_TRUE(ch.SendData("more", 4, log)) << log.Dump();
    EXPECT_EQ("after", ReceiveUntil(ch, "after", log)) << log.Dump();
}

TEST(SChannelTest, ShutdownSendsCloseNotifyAndReleasesTheSession) {
    bool peerSawCloseNotify = false;
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        if (!s.Handshake())
            return;
        s.WaitPeerClose(5000);
        peerSawCloseNotify = s.PeerSentCloseNotify();
    });
    SChannel ch;
    Prepare(ch, server.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    ASSERT_TRUE(ch.Shutdown(log)) << log.Dump();
    EXPECT_TRUE(log.Has("info: Secure Channel Shutdown."));
    ch.Socket().Close();
    ASSERT_TRUE(server.WaitHandled(1, 10000));
    EXPECT_TRUE(peerSawCloseNotify);

    RecordingLog after;
    EXPECT_FALSE(ch.SendData("x", 1, after));
    EXPECT_TRUE(after.Has("error: Cannot send data, no context exists"));
    EXPECT_FALSE(ch.Shutdown(after));
    EXPECT_TRUE(after.Has("error: Cannot shutdown channel, no context exists"));
}

TEST(SChannelTest, ReadTimeoutIs15000MsAfterConnect) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    SChannel ch;
    Prepare(ch, server.Port());
    ch.SetReadTimeout(40);
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_EQ(15000u, ch.Socket().ReadTimeout());
}

TEST(SChannelTest, PlainServerFailsHandshakeAndLeavesNoContext) {
    testsupport::ScriptedServer plain;
    plain.AddScript(testsupport::ConnectionScript()
                        .ReadBytes(5)
                        .Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
                        .Close());
    SChannel ch;
    Prepare(ch, plain.Port());
    RecordingLog log;
    EXPECT_FALSE(ch.Connect(log));
    EXPECT_TRUE(
        log.HasInOrder({"error: Aborting because of fatal error", "error: Error performing handshake"}))
        << log.Dump();
    RecordingLog after;
    EXPECT_FALSE(ch.SendData("x", 1, after));
    EXPECT_TRUE(after.Has("error: Cannot send data, no context exists"));
}

TEST(SChannelTest, ProtocolMaskWithoutCommonVersionFailsHandshake) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    server.SetMaxVersion(TLS1_2_VERSION);
    SChannel ch;
    Prepare(ch, server.Port());
    ch.SetEnabledProtocols(tls::SP_PROT_TLS1_3);
    RecordingLog log;
    EXPECT_FALSE(ch.Connect(log));
    EXPECT_TRUE(log.Has("error: Error performing handshake")) << log.Dump();
}

TEST(SChannelTest, ProxyReceivesExactlyTheConnectTextAnd2xxOpensTheTunnel) {
    std::string head;
    TlsTestServer proxy(SharedPki().good.cert, SharedPki().good.key, [&](TlsSession &s) {
        head = s.ReadPlainHead();
        s.SendPlain("HTTP/1.0 200 Connection established\r\n\r\n");
        EchoHandler(s);
    });
    SChannel ch;
    Prepare(ch, 8443);
    ch.SetProxy("127.0.0.1", proxy.Port());
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_EQ("CONNECT 127.0.0.1:8443 HTTP/1.0\r\nUser-Agent: Vantry\r\n\r\n", head);
    ASSERT_TRUE(ch.SendData("hi\r\n\r\n", 6, log));
    EXPECT_EQ("reply to hi\r\n\r\n", ReceiveUntil(ch, "\r\n\r\n", log));
}

TEST(SChannelTest, ProxyAnswering403RefusesTheConnect) {
    testsupport::ScriptedServer proxy;
    proxy.AddScript(testsupport::ConnectionScript()
                        .ReadUntil("\r\n\r\n")
                        .Send("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                        .HoldOpen());
    SChannel ch;
    Prepare(ch, 443);
    ch.SetProxy("127.0.0.1", proxy.Port());
    RecordingLog log;
    EXPECT_FALSE(ch.Connect(log));
    EXPECT_TRUE(log.Has("error: The proxy server refused the tunnel")) << log.Dump();
    EXPECT_TRUE(log.Has("data: proxyResponse=HTTP/1.0 403 Forbidden")) << log.Dump();
    EXPECT_FALSE(ch.IsConnected());
}

TEST(SChannelTest, ProxyClosingWithoutAnswerFails) {
    testsupport::ScriptedServer proxy;
    proxy.AddScript(testsupport::ConnectionScript().ReadUntil("\r\n\r\n").Close());
    SChannel ch;
    Prepare(ch, 443);
    ch.SetProxy("127.0.0.1", proxy.Port());
    RecordingLog log;
    EXPECT_FALSE(ch.Connect(log));
    EXPECT_TRUE(log.Has("error: Error receiving message from proxy server")) << log.Dump();
}

// ---- certificate verification ----

struct VerifyCase {
    const char *label;
    CertFiles Pki::*files;
    bool addCa;
    const char *host;
    const char *name; // expected "WinVerifyTrustError", nullptr for a good chain
};

class SChannelVerifyTest : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(SChannelVerifyTest, MapsTheCheckAndStillUsesTheChannel) {
    const VerifyCase &c = GetParam();
    const CertFiles &files = SharedPki().*(c.files);
    TlsTestServer server(files.cert, files.key, EchoHandler);
    SChannel ch;
    Prepare(ch, server.Port(), c.addCa);
    ch.SetHost(c.host);
    RecordingLog log;
    ASSERT_TRUE(ch.Connect(log)) << log.Dump();
    EXPECT_TRUE(log.Has("info: Secure Channel Established.")) << log.Dump();
    if (c.name) {
        EXPECT_TRUE(log.HasInOrder({std::string("data: WinVerifyTrustError=") + c.name,
                                    "error: Error authenticating server credentials!"}))
            << log.Dump();
        EXPECT_NE(0u, ch.ServerCertificateError());
    } else {
        EXPECT_FALSE(log.Has("error: Error authenticating server credentials!")) << log.Dump();
        EXPECT_EQ(0u, ch.ServerCertificateError());
    }
    ASSERT_TRUE(ch.SendData("q\r\n\r\n", 5, log));
    EXPECT_EQ("reply to q\r\n\r\n", ReceiveUntil(ch, "\r\n\r\n", log));
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, SChannelVerifyTest,
    ::testing::Values(VerifyCase{"GoodChainWithCaAdded", &Pki::good, true, "127.0.0.1", nullptr},
                      VerifyCase{"GoodChainByDnsName", &Pki::good, true, "localhost", nullptr},
                      VerifyCase{"Expired", &Pki::expired, true, "127.0.0.1", "CERT_E_EXPIRED"},
                      VerifyCase{"WrongName", &Pki::other, true, "127.0.0.1", "CERT_E_CN_NO_MATCH"},
                      VerifyCase{"UnknownCa", &Pki::good, false, "127.0.0.1", "CERT_E_UNTRUSTEDROOT"}),
    [](const ::testing::TestParamInfo<VerifyCase> &info) { return std::string(info.param.label); });

TEST(SChannelTest, RequireVerifiedServerRefusesAFailingCertificate) {
    TlsTestServer server(SharedPki().expired.cert, SharedPki().expired.key, EchoHandler);
    SChannel ch;
    EXPECT_FALSE(ch.RequireVerifiedServer());
    Prepare(ch, server.Port());
    ch.SetRequireVerifiedServer(true);
    RecordingLog log;
    EXPECT_FALSE(ch.Connect(log));
    EXPECT_TRUE(log.HasInOrder(
        {"data: WinVerifyTrustError=CERT_E_EXPIRED", "error: Error authenticating server credentials!"}))
        << log.Dump();
    EXPECT_FALSE(log.Has("info: Secure Channel Established."));
    EXPECT_FALSE(ch.IsConnected());
    RecordingLog after;
    EXPECT_FALSE(ch.SendData("x", 1, after));
}

TEST(SChannelTest, RequireVerifiedServerAcceptsAGoodChain) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    SChannel ch;
    Prepare(ch, server.Port());
    ch.SetRequireVerifiedServer(true);
    RecordingLog log;
    EXPECT_TRUE(ch.Connect(log)) << log.Dump();
}

TEST(SChannelTest, SecondConnectOnTheSameChannelStartsAFreshSession) {
    TlsTestServer server(SharedPki().good.cert, SharedPki().good.key, EchoHandler);
    SChannel ch;
    Prepare(ch, server.Port());
    for (int i = 0; i < 2; ++i) {
        RecordingLog log;
        ASSERT_TRUE(ch.Connect(log)) << log.Dump();
        ASSERT_TRUE(ch.SendData("n\r\n\r\n", 5, log));
        EXPECT_EQ("reply to n\r\n\r\n", ReceiveUntil(ch, "\r\n\r\n", log)) << log.Dump();
    }
    EXPECT_EQ(2, server.Accepted());
}

// ---- the provider's record framing ----

TEST(TlsProviderTest, CompleteRecordLengthWaitsForWholeRecords) {
    const uint8_t rec[] = {23, 3, 3, 0, 3, 'a', 'b', 'c', 23, 3};
    EXPECT_EQ(0u, tls::CompleteRecordLength(rec, 4));  // header incomplete
    EXPECT_EQ(0u, tls::CompleteRecordLength(rec, 7));  // body incomplete
    EXPECT_EQ(8u, tls::CompleteRecordLength(rec, 8));  // exactly one
    EXPECT_EQ(8u, tls::CompleteRecordLength(rec, 10)); // one and the start of the next
}

TEST(TlsProviderTest, BytesThatCannotStartARecordAreHandedOverWhole) {
    const char text[] = "HTTP/1.1 400 Bad Request\r\n";
    EXPECT_EQ(sizeof(text) - 1,
              tls::CompleteRecordLength(reinterpret_cast<const uint8_t *>(text), sizeof(text) - 1));
}
