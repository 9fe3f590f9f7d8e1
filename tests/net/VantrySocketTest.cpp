// Tests of VantrySocket against the scripted loopback server: connect, time-outs, sends, the receive
// family and the error texts. Only 127.0.0.1 literals are used; no name is ever resolved.
#include "net/VantrySocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "RecordingLog.h"
#include "core/DataBuffer.h"
#include "net/ProgressMonitor.h"
#include "support/ScriptedServer.h"

using namespace vantry;

using testsupport::ConnectionScript;
using testsupport::ScriptedServer;

namespace {

std::string Text(const DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

// Connects a fresh socket to the server with a short read time-out, failing the test when it cannot.
void ConnectTo(VantrySocket &s, const ScriptedServer &server, uint32_t readTimeoutMs = 2000) {
    RecordingLog log;
    bool lookupFailed = true;
    s.SetReadTimeout(readTimeoutMs);
    ASSERT_TRUE(s.Connect("127.0.0.1", server.Port(), lookupFailed, log)) << log.Dump();
    ASSERT_FALSE(lookupFailed);
}

// A port on 127.0.0.1 with nothing listening: bound, then released.
int UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    close(fd);
    return ntohs(sa.sin_port);
}

// A listener that never accepts, with its accept queue filled, so further SYNs are dropped unanswered.
class SilentPeer {
public:
    SilentPeer() {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        bind(m_listen, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        listen(m_listen, 0);
        getsockname(m_listen, reinterpret_cast<sockaddr *>(&sa), &len);
        port = ntohs(sa.sin_port);
        // Fill the queue: connect until an attempt stays pending.
        for (int i = 0; i < 16; ++i) {
            int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_fillers.push_back(c);
            if (connect(c, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0)
                continue;
            pollfd p{c, POLLOUT, 0};
            if (poll(&p, 1, 200) == 0) {
                full = true;
                break;
            }
        }
    }
    ~SilentPeer() {
        for (int c : m_fillers)
            close(c);
        close(m_listen);
    }
    int port = 0;
    bool full = false;

private:
    int m_listen = -1;
    std::vector<int> m_fillers;
};

// Records the size of every piece reported to it; aborts once told to.
class PieceMonitor : public ProgressMonitor {
public:
    bool BytesSent(uint32_t n) override {
        sent.push_back(n);
        return ProgressMonitor::BytesSent(n);
    }
    std::vector<uint32_t> sent;
};

} // namespace

TEST(VantrySocketReportSocketError, TableTextsAndFurtherEntries) {
    RecordingLog log;
    VantrySocket::ReportSocketError(10061, log);
    VantrySocket::ReportSocketError(10035, log);
    VantrySocket::ReportSocketError(10053, log);
    VantrySocket::ReportSocketError(10037, log);
    std::vector<std::string> expected = {
        "data: SocketError=WSAECONNREFUSED No connection could be made because the target machine actively "
        "refused it.",
        "data: SocketError=WSAEWOULDBLOCK The socket would block.",
        "error: Check to make sure the port is not blocked by a firewall.",
        "data: SocketError=WSAECONNABORTED An established connection was aborted by the software in your "
        "host "
        "machine.",
        "error: This is commonly caused by anti-virus programs that may be running.",
        "error: Check Mcafee's port filtering. If enabled, add your app to the exclusion list.",
        "data: SocketError=Unknown socket error",
    };
    EXPECT_EQ(log.entries, expected);
}

TEST(VantrySocketReportSocketError, EveryCodeOfTheTableHasItsText) {
    const std::vector<std::pair<int, std::string>> table = {
        {10093, "WSANOTINITIALISED A successful WSAStartup must occur before using this function."},
        {10050, "WSAENETDOWN The network subsystem or the associated service provider has failed."},
        {10047, "WSAEAFNOSUPPORT The specified address family is not supported."},
        {10036,
         "WSAEINPROGRESS A blocking Windows Sockets 1.1 call is in progress, or the service provider is "
         "still processing a callback function."},
        {10024, "WSAEMFILE No more socket descriptors are available."},
        {10055, "WSAENOBUFS No buffer space is available. The socket cannot be created."},
        {10043, "WSAEPROTONOSUPPORT The specified protocol is not supported."},
        {10041, "WSAEPROTOTYPE The specified protocol is the wrong type for this socket."},
        {10044, "WSAESOCKTNOSUPPORT The specified socket type is not supported in this address family."},
        {10051, "WSAENETUNREACH A socket operation was attempted to an unreachable network."},
        {10060,
         "WSAETIMEDOUT A connection attempt failed because the connected party did not properly respond "
         "after a period of time, or established connection failed because connected host has failed to "
         "respond."},
        {10061,
         "WSAECONNREFUSED No connection could be made because the target machine actively refused it."},
        {0, "Unknown socket error"},
    };
    for (const auto &[code, text] : table) {
        RecordingLog log;
        VantrySocket::ReportSocketError(code, log);
        EXPECT_EQ(log.entries, std::vector<std::string>{"data: SocketError=" + text}) << code;
    }
}

TEST(VantrySocketStartWinsock, FailedStartupTextsFollowTheCode) {
    const std::vector<std::pair<int, std::string>> table = {
        {10091, "The underlying network subsystem is not ready for network communication."},
        {10092, "The version of Windows Sockets support requested is not provided by this particular Windows "
                "Sockets implementation."},
        {10036, "A blocking Windows Sockets 1.1 operation is in progress."},
        {10067, "Limit on the number of tasks supported by the Windows Sockets implementation has been "
                "reached."},
        {10014, "The lpWSAData is not a valid pointer."},
        {10107, "WSAStartup error: 0x277b"},
    };
    for (const auto &[code, text] : table) {
        RecordingLog log;
        VantrySocket::ReportStartupError(code, log);
        EXPECT_EQ(log.entries, std::vector<std::string>{"error: " + text}) << code;
    }
}

TEST(VantrySocketReportSocketError, ErrnoValuesMapToTheWinsockCodesOfTheTable) {
    const std::vector<std::pair<int, int>> pairs = {
        {0, 0},
        {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},
        {EINPROGRESS, 10035},
        {ECONNREFUSED, 10061},
        {ETIMEDOUT, 10060},
        {ENETUNREACH, 10051},
        {ECONNABORTED, 10053},
        {ENETDOWN, 10050},
        {EAFNOSUPPORT, 10047},
        {EMFILE, 10024},
        {ENFILE, 10024},
        {ENOBUFS, 10055},
        {EPROTONOSUPPORT, 10043},
        {EPROTOTYPE, 10041},
        {ESOCKTNOSUPPORT, 10044},
        {EALREADY, 10037},
    };
    for (const auto &[err, code] : pairs)
        EXPECT_EQ(platform::WinsockCodeFromErrno(err), code) << err;
}

TEST(VantrySocketConnectDeathTest, NoDescriptorLeftFailsWithInvalidSocket) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtimes need free descriptors of their own to report anything";
#endif
    // In a child process: use up every descriptor under a small limit, then connect.
    auto run = [] {
        rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        int probe = socket(AF_INET, SOCK_STREAM, 0);
        while (probe >= 0 && dup(probe) >= 0) {
        }
        VantrySocket s;
        RecordingLog log;
        bool lookupFailed = true;
        bool ok = s.Connect("127.0.0.1", 80, lookupFailed, log);
        std::vector<std::string> expected = {
            "data: SocketError=WSAEMFILE No more socket descriptors are available.",
            "error: Cannot connect, invalid socket."};
        std::exit(!ok && !lookupFailed && log.entries == expected ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(VantrySocketSettings, ReadTimeoutIsClampedAndConnectTimeoutStoredAsGiven) {
    VantrySocket s;
    EXPECT_EQ(s.ReadTimeout(), 30000u);
    EXPECT_EQ(s.ConnectTimeout(), 7);
    s.SetReadTimeout(0);
    EXPECT_EQ(s.ReadTimeout(), 1u);
    s.SetReadTimeout(600000);
    EXPECT_EQ(s.ReadTimeout(), 500000u);
    s.SetConnectTimeout(-3);
    EXPECT_EQ(s.ConnectTimeout(), -3);
    RecordingLog log;
    EXPECT_TRUE(VantrySocket::StartWinsock(log)) << "start-up succeeds every time";
}

TEST(VantrySocketConnect, LocalhostWithBlanksOrCapitalsConnectsToLoopback) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().HoldOpen());
    for (const char *host : {"  localhost\t", "LOCALHOST", "\r\nLocalHost \n"}) {
        VantrySocket s;
        RecordingLog log;
        bool lookupFailed = true;
        EXPECT_TRUE(s.Connect(host, server.Port(), lookupFailed, log)) << host << "\n" << log.Dump();
        EXPECT_FALSE(lookupFailed);
        EXPECT_TRUE(s.IsConnected());
    }
}

TEST(VantrySocketConnect, BlankOrMissingHostFailsWithoutLogEntry) {
    VantrySocket s;
    RecordingLog log;
    bool lookupFailed = true;
    EXPECT_FALSE(s.Connect(" \t\r\n\xA0", 80, lookupFailed, log));
    EXPECT_FALSE(lookupFailed);
    EXPECT_FALSE(s.Connect(nullptr, 80, lookupFailed, log));
    EXPECT_TRUE(log.entries.empty()) << log.Dump();
    EXPECT_FALSE(s.HasHandle());
}

TEST(VantrySocketConnect, RefusedBlockingConnectReportsTheRefusal) {
    VantrySocket s;
    s.SetConnectTimeout(0);
    RecordingLog log;
    bool lookupFailed = true;
    EXPECT_FALSE(s.Connect("127.0.0.1", UnusedPort(), lookupFailed, log));
    EXPECT_FALSE(lookupFailed);
    EXPECT_FALSE(s.IsConnected());
    EXPECT_TRUE(log.HasInOrder({"data: sockError=10061", "error: Connect function failed.",
                                "data: SocketError=WSAECONNREFUSED No connection could be made because the "
                                "target machine actively refused it."}))
        << log.Dump();
}

TEST(VantrySocketConnect, RefusedTimedConnectFailsAtOnceWithTheRefusal) {
    // The pending connect turns writable with its error; it must not be taken for a connection.
    VantrySocket s;
    s.SetConnectTimeout(5);
    RecordingLog log;
    bool lookupFailed = true;
    EXPECT_FALSE(s.Connect("127.0.0.1", UnusedPort(), lookupFailed, log));
    EXPECT_FALSE(s.IsConnected());
    EXPECT_TRUE(log.HasInOrder({"data: sockError=10061", "error: Connect function failed."})) << log.Dump();
    EXPECT_FALSE(log.Has("error: Connection attempt timed out, trying again.")) << log.Dump();
}

TEST(VantrySocketConnect, SilentPeerTimesOutThenConnectIsIssuedOnceMoreOnTheSameSocket) {
    SilentPeer peer;
    ASSERT_TRUE(peer.full) << "could not fill the listen queue";
    VantrySocket s;
    s.SetConnectTimeout(1);
    RecordingLog log;
    bool lookupFailed = true;
    EXPECT_FALSE(s.Connect("127.0.0.1", peer.port, lookupFailed, log));
    EXPECT_FALSE(lookupFailed);
    EXPECT_FALSE(s.IsConnected());
    // The second connect on the still-pending socket reports "already in progress" (no table text).
    EXPECT_TRUE(log.HasInOrder({"error: socket is not ready for writing",
                                "error: Connection attempt timed out, trying again.", "data: sockError=10037",
                                "error: Connect function failed.", "data: SocketError=Unknown socket error"}))
        << log.Dump();
    EXPECT_TRUE(s.HasHandle()) << "a failed connect keeps its handle until Close";
    s.Close();
    EXPECT_FALSE(s.HasHandle());
}

TEST(VantrySocketConnect, ConnectOnAnObjectHoldingAHandleClosesTheOldConnection) {
    ScriptedServer first;
    first.SetDefaultScript(ConnectionScript().HoldOpen());
    ScriptedServer second;
    second.SetDefaultScript(ConnectionScript().HoldOpen());
    VantrySocket s;
    ConnectTo(s, first);
    ConnectTo(s, second);
    EXPECT_TRUE(s.IsConnected());
    EXPECT_TRUE(first.WaitFinished(0, 5000)) << "the first connection was not closed";
    EXPECT_TRUE(second.WaitAccepted(1, 5000));
    EXPECT_EQ(second.Accepted(), 1);
}

TEST(VantrySocketSend, SendsInPiecesOf4096Bytes) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().ReadBytes(10000).Close());
    VantrySocket s;
    ConnectTo(s, server);
    std::string data(10000, 'x');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>('a' + i % 26);
    PieceMonitor monitor;
    RecordingLog log;
    ASSERT_TRUE(s.SendBytes(data.data(), 10000, &monitor, log)) << log.Dump();
    EXPECT_EQ(monitor.sent, (std::vector<uint32_t>{4096, 4096, 1808}));
    ASSERT_TRUE(server.WaitFinished(0, 5000));
    EXPECT_EQ(server.Received(0), data);
}

TEST(VantrySocketSend, ZeroCountFailsSilentlyAndNoHandleIsLogged) {
    VantrySocket s;
    RecordingLog log;
    EXPECT_FALSE(s.SendBytes("x", 0, log));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(s.SendBytes("x", 1, log));
    EXPECT_EQ(log.entries, std::vector<std::string>{"error: No socket exists for sending"});
}

TEST(VantrySocketSend, SendingToAResetPeerFailsWithoutSigpipe) {
    // SIGPIPE at its default would end the test program; the send must report the error instead.
    struct sigaction old {};
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, &old);
    ScriptedServer server;
    server.AddScript(ConnectionScript().ReadBytes(1).Reset());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    ASSERT_TRUE(s.SendBytes("x", 1, log));
    ASSERT_TRUE(server.WaitFinished(0, 5000));
    std::string big(100000, 'y');
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i)
        failed = !s.SendBytes(big.data(), static_cast<uint32_t>(big.size()), log);
    sigaction(SIGPIPE, &old, nullptr);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(log.Has("error: Error sending on socket")) << log.Dump();
    EXPECT_NE(s.LastSendError(), 0);
}

TEST(VantrySocketReceive, HeaderBlockStopsAfterTheEmptyLineAndLeavesTheBody) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nBODY").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer head;
    ASSERT_TRUE(s.ReceiveHeaderBlock(head, log)) << log.Dump();
    EXPECT_EQ(Text(head), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n");
    DataBuffer body;
    ASSERT_TRUE(s.ReceiveCount(4, body, log));
    EXPECT_EQ(Text(body), "BODY");
}

TEST(VantrySocketReceive, HeaderBlockEndsAtALeadingEmptyLineAndAtBareLfLines) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("\r\nA: 1\n\nrest").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer first;
    ASSERT_TRUE(s.ReceiveHeaderBlock(first, log));
    EXPECT_EQ(Text(first), "\r\n");
    DataBuffer second;
    ASSERT_TRUE(s.ReceiveHeaderBlock(second, log));
    EXPECT_EQ(Text(second), "A: 1\n\n");
}

TEST(VantrySocketReceive, CrlfLineStopsAfterItsLineEnd) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("1a\r\nchunk-data\nx\n\n").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer line;
    ASSERT_TRUE(s.ReceiveCrlfLine(line, log));
    EXPECT_EQ(Text(line), "1a\r\n");
    // A bare LF after text does not end a CRLF line; the following empty LF line does.
    DataBuffer next;
    ASSERT_TRUE(s.ReceiveCrlfLine(next, log));
    EXPECT_EQ(Text(next), "chunk-data\nx\n\n");
}

TEST(VantrySocketReceive, HeaderBlockWithoutEndFailsWhenThePeerCloses) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("HTTP/1.1 200 OK\r\nX: y").Close());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer head;
    EXPECT_FALSE(s.ReceiveHeaderBlock(head, log));
    EXPECT_EQ(Text(head), "HTTP/1.1 200 OK\r\nX: y");
    EXPECT_TRUE(log.Has("error: The peer has closed the socket (TCP) connection")) << log.Dump();
    EXPECT_FALSE(s.IsConnected());
    EXPECT_FALSE(s.HasHandle());
    RecordingLog after;
    char c;
    uint32_t n = 1;
    bool timedOut = true;
    EXPECT_FALSE(s.ReceiveSome(&c, n, timedOut, after));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(after.entries, std::vector<std::string>{"error: This socket is not connected"});
}

TEST(VantrySocketReceive, HeaderBlockWithoutEndFailsAfterTheReadTimeOut) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("HTTP/1.1 200 OK\r\n").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server, 200);
    RecordingLog log;
    DataBuffer head;
    EXPECT_FALSE(s.ReceiveHeaderBlock(head, log));
    EXPECT_TRUE(log.Has("error: WaitForData timed out.")) << log.Dump();
    EXPECT_TRUE(s.IsConnected()) << "a time-out keeps the connection";
}

TEST(VantrySocketReceive, EndlessLineIsCutOffInsteadOfGrowingWithoutBound) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send(std::string(VantrySocket::kMaxCrlfLine + 100, 'a')).HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer line;
    EXPECT_FALSE(s.ReceiveCrlfLine(line, log));
    EXPECT_EQ(line.Length(), VantrySocket::kMaxCrlfLine);
    EXPECT_TRUE(log.Has("error: Line too long")) << log.Dump();
}

TEST(VantrySocketReceive, ReceiveToEndReturnsWhatCameBeforeTheTimeOut) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("hello").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server, 300);
    RecordingLog log;
    DataBuffer all;
    EXPECT_TRUE(s.ReceiveToEnd(all, log));
    EXPECT_EQ(Text(all), "hello");
    EXPECT_TRUE(log.Has("error: WaitForData timed out.")) << log.Dump();
}

TEST(VantrySocketReceive, ReceiveToEndAndOnceFollowTheBufferNotTheRead) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Close());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer empty;
    EXPECT_FALSE(s.ReceiveToEnd(empty, log));
    DataBuffer held;
    held.Append("old", 3);
    EXPECT_TRUE(s.ReceiveOnce(held, log)) << "a buffer that already held bytes gives true";
    EXPECT_EQ(Text(held), "old");
}

TEST(VantrySocketReceive, ReceiveCountRefusesZeroAndOversizedCounts) {
    VantrySocket s;
    RecordingLog log;
    DataBuffer b;
    EXPECT_FALSE(s.ReceiveCount(0, b, log));
    EXPECT_FALSE(s.ReceiveCount(VantrySocket::kMaxReceiveCount + 1, b, log));
    EXPECT_EQ(b.Length(), 0u);
}

TEST(VantrySocketReceive, ReceiveCountAboveThePieceSizeReadsEverything) {
    const uint32_t n = 5000000;
    std::string data(n, 0);
    for (uint32_t i = 0; i < n; ++i)
        data[i] = static_cast<char>((i * 7 + i / 4096) & 0xff);
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send(data + "tail").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer b;
    b.Append("pre", 3);
    ASSERT_TRUE(s.ReceiveCount(n, b, log)) << log.Dump();
    EXPECT_EQ(b.Length(), n + 3);
    EXPECT_TRUE(Text(b) == "pre" + data);
    DataBuffer tail;
    EXPECT_TRUE(s.ReceiveCount(4, tail, log));
    EXPECT_EQ(Text(tail), "tail");
}

TEST(VantrySocketReceive, ReceiveCountAboveThePieceSizeAppendsWholePiecesOf2200000Bytes) {
    // A monitor that asks to stop once a given number of bytes has arrived: the pieces completed by
    // then stay appended, so the buffer length shows where the pieces end.
    class StopAfter : public ProgressMonitor {
    public:
        explicit StopAfter(uint64_t limit) : m_limit(limit) {}
        bool AbortCheck() override { return ReceivedTotal() >= m_limit; }

    private:
        uint64_t m_limit;
    };
    const uint32_t n = 5000000;
    for (uint32_t stop : {2200000u, 4400000u}) {
        ScriptedServer server;
        server.AddScript(ConnectionScript().Send(std::string(n, 'p')).HoldOpen());
        VantrySocket s;
        ConnectTo(s, server);
        StopAfter monitor(stop);
        RecordingLog log;
        DataBuffer b;
        EXPECT_FALSE(s.ReceiveCount(n, b, &monitor, log));
        EXPECT_EQ(b.Length(), stop);
    }
}

TEST(VantrySocketReceive, PeerClosingMidCountLeavesTheBufferUnchanged) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send(std::string(50, 'z')).Close());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    DataBuffer b;
    EXPECT_FALSE(s.ReceiveCount(100, b, log));
    EXPECT_EQ(b.Length(), 0u);
    EXPECT_TRUE(log.Has("error: The peer has closed the socket (TCP) connection")) << log.Dump();
    EXPECT_FALSE(s.IsConnected());
}

TEST(VantrySocketReceive, AbortingMonitorStopsAReceive) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().HoldOpen());
    VantrySocket s;
    ConnectTo(s, server, 5000);
    ProgressMonitor monitor;
    monitor.RequestAbort();
    RecordingLog log;
    DataBuffer b;
    EXPECT_FALSE(s.ReceiveCount(10, b, &monitor, log));
    bool lost = true;
    EXPECT_FALSE(s.WaitForData(1000, lost, &monitor, log));
    EXPECT_FALSE(lost);
}

TEST(VantrySocketWait, WaitsWithoutAHandleFail) {
    VantrySocket s;
    RecordingLog log;
    EXPECT_FALSE(s.WaitWritable(1, log));
    EXPECT_EQ(log.entries, std::vector<std::string>{"error: invalid socket, not ready for writing."});
    bool lost = false;
    EXPECT_FALSE(s.WaitForData(10, lost, log));
    EXPECT_TRUE(lost);
}

TEST(VantrySocketWait, WaitForDataSeesPendingBytes) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Pause(100).Send("x").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server);
    RecordingLog log;
    bool lost = true;
    EXPECT_TRUE(s.WaitWritable(1, log));
    EXPECT_TRUE(s.WaitForData(5000, lost, log));
    EXPECT_FALSE(lost);
}

TEST(VantrySocketReadAhead, HeadBodyAndNextResponseInOneSegmentAreServedInOrder) {
    const std::string first = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    const std::string second = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send(first + second).HoldOpen());
    VantrySocket s;
    ConnectTo(s, server, 300);
    RecordingLog log;
    DataBuffer head1, body1, head2, size1, data1, end1, size2, trailer;
    ASSERT_TRUE(s.ReceiveHeaderBlock(head1, log)) << log.Dump();
    EXPECT_EQ(Text(head1), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
    ASSERT_TRUE(s.ReceiveCount(5, body1, log));
    EXPECT_EQ(Text(body1), "hello");
    ASSERT_TRUE(s.ReceiveHeaderBlock(head2, log));
    EXPECT_EQ(Text(head2), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    ASSERT_TRUE(s.ReceiveCrlfLine(size1, log));
    EXPECT_EQ(Text(size1), "3\r\n");
    ASSERT_TRUE(s.ReceiveCount(3, data1, log));
    EXPECT_EQ(Text(data1), "abc");
    ASSERT_TRUE(s.ReceiveCrlfLine(end1, log));
    EXPECT_EQ(Text(end1), "\r\n");
    ASSERT_TRUE(s.ReceiveCrlfLine(size2, log));
    EXPECT_EQ(Text(size2), "0\r\n");
    ASSERT_TRUE(s.ReceiveCrlfLine(trailer, log));
    EXPECT_EQ(Text(trailer), "\r\n");
    EXPECT_TRUE(log.entries.empty()) << log.Dump();
    EXPECT_EQ(s.BufferedCount(), 0u);
    bool lost = true;
    EXPECT_FALSE(s.WaitForData(50, lost, log)) << "nothing is left, neither buffered nor on the wire";
    EXPECT_FALSE(lost);
}

TEST(VantrySocketReadAhead, BufferedBytesGoToEveryKindOfReceive) {
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().Send(head + "0123456789abcdefghij").HoldOpen());

    // ReceiveSome: the buffered bytes only, at most the room given, without waiting for more.
    {
        VantrySocket s;
        ConnectTo(s, server, 300);
        RecordingLog log;
        DataBuffer h;
        ASSERT_TRUE(s.ReceiveHeaderBlock(h, log));
        ASSERT_EQ(s.BufferedCount(), 20u);
        bool lost = true;
        EXPECT_TRUE(s.WaitForData(1, lost, log)) << "buffered data is available at once";
        char some[64] = {};
        uint32_t n = 4;
        bool timedOut = true;
        ASSERT_TRUE(s.ReceiveSome(some, n, timedOut, log));
        EXPECT_EQ(std::string(some, n), "0123");
        EXPECT_FALSE(timedOut);
        n = sizeof some;
        ASSERT_TRUE(s.ReceiveSome(some, n, timedOut, log));
        EXPECT_EQ(std::string(some, n), "456789abcdefghij");
        EXPECT_TRUE(log.entries.empty()) << log.Dump();
    }
    // ReceiveExactly, ReceiveOnce and ReceiveToEnd.
    {
        VantrySocket s;
        ConnectTo(s, server, 300);
        RecordingLog log;
        DataBuffer h;
        ASSERT_TRUE(s.ReceiveHeaderBlock(h, log));
        char exact[5] = {};
        ASSERT_TRUE(s.ReceiveExactly(exact, 5, log));
        EXPECT_EQ(std::string(exact, 5), "01234");
        DataBuffer once;
        ASSERT_TRUE(s.ReceiveOnce(once, log));
        EXPECT_EQ(Text(once), "56789abcdefghij");
        EXPECT_TRUE(log.entries.empty()) << log.Dump();
    }
    {
        VantrySocket s;
        ConnectTo(s, server, 300);
        RecordingLog log;
        DataBuffer h;
        ASSERT_TRUE(s.ReceiveHeaderBlock(h, log));
        DataBuffer rest;
        EXPECT_TRUE(s.ReceiveToEnd(rest, log));
        EXPECT_EQ(Text(rest), "0123456789abcdefghij");
        EXPECT_EQ(log.entries, std::vector<std::string>{"error: WaitForData timed out."});
    }
}

TEST(VantrySocketReadAhead, ReadAheadBytesAreServedBeforeThePeersCloseIsSeen) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc").Close());
    VantrySocket s;
    ConnectTo(s, server);
    ASSERT_TRUE(server.WaitFinished(0, 5000));
    RecordingLog log;
    DataBuffer head, body;
    ASSERT_TRUE(s.ReceiveHeaderBlock(head, log));
    ASSERT_TRUE(s.ReceiveCount(3, body, log));
    EXPECT_EQ(Text(body), "abc");
    EXPECT_TRUE(log.entries.empty()) << log.Dump();
    EXPECT_TRUE(s.IsConnected());
    DataBuffer more;
    EXPECT_FALSE(s.ReceiveOnce(more, log));
    EXPECT_EQ(log.entries,
              std::vector<std::string>{"error: The peer has closed the socket (TCP) connection"});
    EXPECT_FALSE(s.HasHandle());
}

TEST(VantrySocketReadAhead, CloseAndConnectDiscardTheBufferedBytes) {
    ScriptedServer first;
    first.AddScript(ConnectionScript().Send("A: 1\r\n\r\nleft over").HoldOpen());
    first.AddScript(ConnectionScript().Send("B: 2\r\n\r\nold bytes").HoldOpen());
    ScriptedServer second;
    second.SetDefaultScript(ConnectionScript().Send("new").HoldOpen());
    VantrySocket s;
    RecordingLog log;
    DataBuffer head;

    ConnectTo(s, first);
    ASSERT_TRUE(s.ReceiveHeaderBlock(head, log));
    ASSERT_GT(s.BufferedCount(), 0u);
    s.Close();
    EXPECT_EQ(s.BufferedCount(), 0u);
    RecordingLog after;
    char c = 0;
    uint32_t n = 1;
    bool timedOut = false;
    EXPECT_FALSE(s.ReceiveSome(&c, n, timedOut, after));
    EXPECT_EQ(after.entries, std::vector<std::string>{"error: This socket is not connected"});

    ConnectTo(s, first);
    head.Clear();
    ASSERT_TRUE(s.ReceiveHeaderBlock(head, log));
    ASSERT_GT(s.BufferedCount(), 0u);
    ConnectTo(s, second);
    EXPECT_EQ(s.BufferedCount(), 0u);
    char got[16] = {};
    char *p = got;
    for (uint32_t left = 3; left > 0;) {
        uint32_t room = left;
        ASSERT_TRUE(s.ReceiveSome(p, room, timedOut, log)) << log.Dump();
        p += room;
        left -= room;
    }
    EXPECT_EQ(std::string(got), "new");
}

TEST(VantrySocketReadAhead, MonitorCountsOnlyTheBytesHandedOutAndAbortsBetweenBytes) {
    // The head and its body arrive together; the monitor hears of the head's bytes alone.
    const std::string head = "HTTP/1.1 200 OK\r\nX: y\r\n\r\n";
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().Send(head + "body bytes").HoldOpen());
    {
        VantrySocket s;
        ConnectTo(s, server);
        ProgressMonitor monitor;
        RecordingLog log;
        DataBuffer h;
        ASSERT_TRUE(s.ReceiveHeaderBlock(h, &monitor, log));
        EXPECT_EQ(monitor.ReceivedTotal(), head.size());
        DataBuffer body;
        ASSERT_TRUE(s.ReceiveCount(10, body, &monitor, log));
        EXPECT_EQ(monitor.ReceivedTotal(), head.size() + 10);
    }
    {
        class StopAfter : public ProgressMonitor {
        public:
            bool AbortCheck() override { return ReceivedTotal() >= 7; }
        };
        VantrySocket s;
        ConnectTo(s, server);
        StopAfter monitor;
        RecordingLog log;
        DataBuffer h;
        EXPECT_FALSE(s.ReceiveHeaderBlock(h, &monitor, log));
        EXPECT_EQ(Text(h), head.substr(0, 7));
        // What was not handed out stays for the next receive.
        DataBuffer rest;
        ASSERT_TRUE(s.ReceiveHeaderBlock(rest, log));
        EXPECT_EQ(Text(rest), head.substr(7));
    }
}

TEST(VantrySocketReceive, ReceiveSomeWithNoRoomReturnsAtOnceAndKeepsTheConnection) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().Pause(100).Send("x").HoldOpen());
    VantrySocket s;
    ConnectTo(s, server, 5000);
    RecordingLog log;
    char c = 0;
    uint32_t n = 0;
    bool timedOut = true;
    EXPECT_TRUE(s.ReceiveSome(&c, n, timedOut, log));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(log.entries.empty()) << log.Dump();
    EXPECT_TRUE(s.IsConnected());
    n = 1;
    ASSERT_TRUE(s.ReceiveSome(&c, n, timedOut, log)) << log.Dump();
    EXPECT_EQ(c, 'x');
}

TEST(VantrySocketConnect, PortOutsideTheRangeIsRefusedInsteadOfWrapped) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().HoldOpen());
    // server port + 65536 names the server's port once cut to 16 bits.
    for (int port : {0, -1, 65536, server.Port() + 65536}) {
        VantrySocket s;
        RecordingLog log;
        bool lookupFailed = true;
        EXPECT_FALSE(s.Connect("127.0.0.1", port, lookupFailed, log)) << port;
        EXPECT_FALSE(lookupFailed);
        EXPECT_FALSE(s.HasHandle());
        EXPECT_EQ(log.entries, (std::vector<std::string>{"error: Port number out of range.",
                                                         "data: port=" + std::to_string(port)}));
    }
    EXPECT_FALSE(server.WaitAccepted(1, 200));
    VantrySocket s;
    RecordingLog log;
    bool lookupFailed = true;
    EXPECT_TRUE(s.Connect("127.0.0.1", server.Port(), lookupFailed, log)) << log.Dump();
}
