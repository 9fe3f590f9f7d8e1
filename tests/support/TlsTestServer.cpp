// TlsTestServer: loopback TLS server for tests; records pass through memory BIOs the handler controls.
#include "support/TlsTestServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {
constexpr int kSliceMs = 20;
constexpr uint32_t kReadTimeoutMs = 10000;

SSL *S(void *p) {
    return static_cast<SSL *>(p);
}
BIO *B(void *p) {
    return static_cast<BIO *>(p);
}

bool SendAll(int fd, const char *data, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = send(fd, data + done, n - done, MSG_NOSIGNAL);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(r);
    }
    return true;
}
} // namespace

TlsSession::TlsSession(int fd, void *ctx, std::atomic<bool> &stop) : m_fd(fd), m_stop(stop) {
    SSL *ssl = SSL_new(static_cast<SSL_CTX *>(ctx));
    BIO *r = BIO_new(BIO_s_mem());
    BIO *w = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(r, -1);
    SSL_set_bio(ssl, r, w);
    SSL_set_accept_state(ssl);
    m_ssl = ssl;
    m_rbio = r;
    m_wbio = w;
}

TlsSession::~TlsSession() {
    SSL_free(S(m_ssl));
}

bool TlsSession::Fill(uint32_t ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stop.load() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_fd, POLLIN, 0};
        int r = poll(&p, 1, kSliceMs);
        if (r < 0 && errno != EINTR)
            return false;
        if (r <= 0)
            continue;
        char buf[65536];
        ssize_t n = recv(m_fd, buf, sizeof(buf), 0);
        if (n <= 0)
            return false;
        BIO_write(B(m_rbio), buf, static_cast<int>(n));
        return true;
    }
    return false;
}

std::string TlsSession::ReadPlainHead() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    while (m_raw.find("\r\n\r\n") == std::string::npos && !m_stop.load() &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, kSliceMs) <= 0)
            continue;
        char c;
        // One byte at a time: what follows the head belongs to the TLS session.
        if (recv(m_fd, &c, 1, 0) != 1)
            break;
        m_raw += c;
    }
    return m_raw;
}

bool TlsSession::SendPlain(const std::string &bytes) {
    return SendAll(m_fd, bytes.data(), bytes.size());
}

bool TlsSession::FlushSplit(size_t first, uint32_t pauseMs) {
    char *data = nullptr;
    long n = BIO_get_mem_data(B(m_wbio), &data);
    std::string all(data ? data : "", n > 0 ? static_cast<size_t>(n) : 0);
    (void)BIO_reset(B(m_wbio));
    if (first > all.size())
        first = all.size();
    if (!SendAll(m_fd, all.data(), first))
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    return SendAll(m_fd, all.data() + first, all.size() - first);
}

void TlsSession::CloseTcp() {
    shutdown(m_fd, SHUT_RDWR);
}

bool TlsSession::Flush() {
    char *data = nullptr;
    long n = BIO_get_mem_data(B(m_wbio), &data);
    bool ok = true;
    if (n > 0)
        ok = SendAll(m_fd, data, static_cast<size_t>(n));
    (void)BIO_reset(B(m_wbio));
    return ok;
}

bool TlsSession::Handshake() {
    for (;;) {
        ERR_clear_error();
        int r = SSL_do_handshake(S(m_ssl));
        if (!Flush())
            return false;
        if (r == 1)
            return true;
        int err = SSL_get_error(S(m_ssl), r);
        if (err != SSL_ERROR_WANT_READ)
            return false;
        if (!Fill(kReadTimeoutMs))
            return false;
    }
}

// Reads until some plaintext arrived; false at the peer's close_notify, an error or the time-out.
bool TlsSession::ReadMore() {
    for (;;) {
        char buf[16384];
        ERR_clear_error();
        int n = SSL_read(S(m_ssl), buf, sizeof(buf));
        if (n > 0) {
            m_plain.append(buf, static_cast<size_t>(n));
            return true;
        }
        int err = SSL_get_error(S(m_ssl), n);
        if (err == SSL_ERROR_ZERO_RETURN) {
            m_peerClosed = true;
            return false;
        }
        // A handshake in progress (a renegotiation) may have answers to send before more can arrive.
        if (err != SSL_ERROR_WANT_READ || !Flush() || !Fill(kReadTimeoutMs))
            return false;
    }
}

bool TlsSession::Renegotiate() {
    if (SSL_renegotiate(S(m_ssl)) != 1)
        return false;
    SSL_do_handshake(S(m_ssl));
    return Flush();
}

std::string TlsSession::ReadUntil(const std::string &text) {
    while (m_plain.find(text) == std::string::npos && ReadMore()) {
    }
    return m_plain;
}

bool TlsSession::ReadCount(const std::string &text, int n) {
    for (;;) {
        int found = 0;
        for (size_t at = m_plain.find(text); at != std::string::npos;
             at = m_plain.find(text, at + text.size()))
            ++found;
        if (found >= n)
            return true;
        if (!ReadMore())
            return false;
    }
}

std::vector<size_t> TlsSession::ReadRecordSizes(size_t total) {
    std::vector<size_t> sizes;
    size_t got = 0;
    while (got < total) {
        char buf[20000];
        ERR_clear_error();
        // Without read-ahead one SSL_read returns the plaintext of at most one record.
        int n = SSL_read(S(m_ssl), buf, sizeof(buf));
        if (n > 0) {
            m_plain.append(buf, static_cast<size_t>(n));
            sizes.push_back(static_cast<size_t>(n));
            got += static_cast<size_t>(n);
            continue;
        }
        int err = SSL_get_error(S(m_ssl), n);
        if (err != SSL_ERROR_WANT_READ || !Fill(kReadTimeoutMs))
            break;
    }
    return sizes;
}

void TlsSession::Queue(const std::string &plain) {
    size_t done = 0;
    while (done < plain.size()) {
        size_t piece = plain.size() - done < 16384 ? plain.size() - done : 16384;
        if (SSL_write(S(m_ssl), plain.data() + done, static_cast<int>(piece)) <= 0)
            break;
        done += piece;
    }
}

void TlsSession::QueueInRecords(const std::string &plain, size_t recordSize) {
    for (size_t at = 0; at < plain.size(); at += recordSize)
        Queue(plain.substr(at, recordSize));
}

bool TlsSession::SendCloseNotify() {
    SSL_shutdown(S(m_ssl));
    return Flush();
}

bool TlsSession::WaitPeerClose(uint32_t ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stop.load() && std::chrono::steady_clock::now() < deadline) {
        char buf[16384];
        ERR_clear_error();
        int n = SSL_read(S(m_ssl), buf, sizeof(buf));
        if (n > 0) {
            m_plain.append(buf, static_cast<size_t>(n));
            continue;
        }
        int err = SSL_get_error(S(m_ssl), n);
        if (err == SSL_ERROR_ZERO_RETURN)
            m_peerClosed = true;
        else if (err != SSL_ERROR_WANT_READ)
            return true;
        if (!Fill(kSliceMs * 5)) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 0) > 0) {
                char c;
                if (recv(m_fd, &c, 1, MSG_PEEK) == 0)
                    return true;
            }
        }
    }
    return false;
}

TlsTestServer::TlsTestServer(const std::string &certFile, const std::string &keyFile, Handler handler)
    : m_handler(std::move(handler)) {
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(ctx);
        return;
    }
    SSL_CTX_set_num_tickets(ctx, 0);
    m_ctx = ctx;
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof(a);
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0 ||
        listen(m_listen, 16) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        if (m_listen >= 0)
            close(m_listen);
        m_listen = -1;
        return;
    }
    m_port = ntohs(a.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

TlsTestServer::~TlsTestServer() {
    Stop();
    SSL_CTX_free(static_cast<SSL_CTX *>(m_ctx));
}

void TlsTestServer::SetMaxVersion(int version) {
    if (m_ctx)
        SSL_CTX_set_max_proto_version(static_cast<SSL_CTX *>(m_ctx), version);
}

void TlsTestServer::AcceptLoop() {
    while (!m_stop.load()) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, kSliceMs) <= 0)
            continue;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        m_accepted++;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] {
            {
                TlsSession session(fd, m_ctx, m_stop);
                m_handler(session);
            }
            shutdown(fd, SHUT_RDWR); // the peer sees the end of the stream
            m_handled++;
        });
    }
}

bool TlsTestServer::WaitHandled(int n, uint32_t ms) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (m_handled.load() < n) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void TlsTestServer::Stop() {
    m_stop.store(true);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread &t : threads)
        t.join();
    for (int fd : m_fds)
        close(fd);
    m_fds.clear();
    if (m_listen >= 0)
        close(m_listen);
    m_listen = -1;
}

} // namespace testsupport
