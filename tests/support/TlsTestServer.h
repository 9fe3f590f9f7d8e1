// TlsTestServer: a scripted TLS server for tests on 127.0.0.1 (ephemeral port, a thread per connection).
// OpenSSL on the server side works through memory BIOs, so a test decides which records go out together
// in one segment, sees the size of every record it reads and can end a session with close_notify.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// One accepted connection, as the test's handler sees it. Every read is bounded by a time-out.
class TlsSession {
public:
    TlsSession(int fd, void *ctx, std::atomic<bool> &stop);
    ~TlsSession();

    // Plain bytes before the handshake (a proxy's side of CONNECT): reads up to the empty line.
    std::string ReadPlainHead();
    bool SendPlain(const std::string &bytes);

    bool Handshake();
    // Reads plaintext until the bytes read so far contain text; returns everything read.
    std::string ReadUntil(const std::string &text);
    // Reads plaintext until text occurs n times in everything read so far (n requests, for instance).
    bool ReadCount(const std::string &text, int n);
    // Reads records until total plaintext bytes arrived; the plaintext size of each record read.
    std::vector<size_t> ReadRecordSizes(size_t total);
    // Encrypts bytes as records (at most 16384 bytes each) kept until Flush sends all of them in one go.
    void Queue(const std::string &plain);
    // The same in records of at most recordSize plaintext bytes each.
    void QueueInRecords(const std::string &plain, size_t recordSize);
    bool Flush();
    // Sends the queued bytes in two segments: the first `first` bytes, a pause, then the rest.
    bool FlushSplit(size_t first, uint32_t pauseMs);
    // Ends the TCP connection without close_notify.
    void CloseTcp();
    bool Send(const std::string &plain) {
        Queue(plain);
        return Flush();
    }
    // Starts a renegotiation (TLS 1.2): sends the HelloRequest; later reads complete the handshake.
    bool Renegotiate();
    // Sends close_notify.
    bool SendCloseNotify();
    // Waits until the peer closes the connection (or the time-out); true when it did.
    bool WaitPeerClose(uint32_t ms = 5000);
    // True when the peer's close_notify was read.
    bool PeerSentCloseNotify() const { return m_peerClosed; }
    const std::string &Plain() const { return m_plain; }

private:
    bool Fill(uint32_t ms); // reads one segment from the socket into the TLS input
    bool ReadMore();
    int m_fd;
    void *m_ssl = nullptr;
    void *m_rbio = nullptr;
    void *m_wbio = nullptr;
    std::atomic<bool> &m_stop;
    std::string m_raw;   // bytes received before the handshake (plain mode)
    std::string m_plain; // decrypted bytes so far
    bool m_peerClosed = false;
};

class TlsTestServer {
public:
    using Handler = std::function<void(TlsSession &)>;
    // Serves the certificate chain file and key; each connection runs handler on its own thread.
    TlsTestServer(const std::string &certFile, const std::string &keyFile, Handler handler);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer &) = delete;
    TlsTestServer &operator=(const TlsTestServer &) = delete;

    // Limits the protocol versions offered (e.g. TLS1_2_VERSION); 0 leaves the library's range.
    void SetMaxVersion(int version);

    bool Ok() const { return m_listen >= 0 && m_ctx; }
    uint16_t Port() const { return m_port; }
    int Accepted() const { return m_accepted.load(); }
    // Waits until the handlers of n connections have returned.
    bool WaitHandled(int n, uint32_t ms) const;
    void Stop();

private:
    void AcceptLoop();
    int m_listen = -1;
    uint16_t m_port = 0;
    void *m_ctx = nullptr;
    Handler m_handler;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_handled{0};
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::vector<int> m_fds;
};

} // namespace testsupport
