// ScriptedServer: loopback test server playing one script per connection on its own thread.
#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {
constexpr int kPollSliceMs = 20;

ConnectionScript::Step MakeStep(ConnectionScript::Kind kind) {
    ConnectionScript::Step s;
    s.kind = kind;
    return s;
}
} // namespace

ConnectionScript &ConnectionScript::ReadBytes(size_t n) {
    Step s = MakeStep(Kind::ReadBytes);
    s.count = n;
    m_steps.push_back(std::move(s));
    return *this;
}

ConnectionScript &ConnectionScript::ReadUntil(const std::string &text) {
    Step s = MakeStep(Kind::ReadUntil);
    s.bytes = text;
    m_steps.push_back(std::move(s));
    return *this;
}

ConnectionScript &ConnectionScript::ReadToClose() {
    m_steps.push_back(MakeStep(Kind::ReadToClose));
    return *this;
}

ConnectionScript &ConnectionScript::Send(const std::string &bytes) {
    Step s = MakeStep(Kind::Send);
    s.bytes = bytes;
    m_steps.push_back(std::move(s));
    return *this;
}

ConnectionScript &ConnectionScript::SendFrom(std::function<std::string(const std::string &)> fn) {
    Step s = MakeStep(Kind::SendFrom);
    s.reply = std::move(fn);
    m_steps.push_back(std::move(s));
    return *this;
}

ConnectionScript &ConnectionScript::Pause(uint32_t ms) {
    Step s = MakeStep(Kind::Pause);
    s.ms = ms;
    m_steps.push_back(std::move(s));
    return *this;
}

ConnectionScript &ConnectionScript::Close() {
    m_steps.push_back(MakeStep(Kind::Close));
    return *this;
}

ConnectionScript &ConnectionScript::Reset() {
    m_steps.push_back(MakeStep(Kind::Reset));
    return *this;
}

ConnectionScript &ConnectionScript::ShutdownWrite() {
    m_steps.push_back(MakeStep(Kind::ShutdownWrite));
    return *this;
}

ConnectionScript &ConnectionScript::HoldOpen() {
    m_steps.push_back(MakeStep(Kind::HoldOpen));
    return *this;
}

ConnectionScript &ConnectionScript::AnswerEach(const std::string &terminator,
                                               std::function<std::string(const std::string &)> fn) {
    Step s = MakeStep(Kind::AnswerEach);
    s.bytes = terminator;
    s.reply = std::move(fn);
    m_steps.push_back(std::move(s));
    return *this;
}

ScriptedServer::ScriptedServer(int backlog, const char *address) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Only loopback addresses: a test never listens on a real network.
    if (address &&
        (inet_pton(AF_INET, address, &sa.sin_addr) != 1 || (ntohl(sa.sin_addr.s_addr) >> 24) != 127)) {
        close(fd);
        return;
    }
    sa.sin_port = 0;
    socklen_t len = sizeof sa;
    if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        close(fd);
        return;
    }
    m_listen = fd;
    m_port = ntohs(sa.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

void ScriptedServer::AddScript(const ConnectionScript &script) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_scripts.push_back(script);
}

void ScriptedServer::SetDefaultScript(const ConnectionScript &script) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultScript = script;
}

int ScriptedServer::Accepted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_connections.size());
}

std::string ScriptedServer::Received(int connection) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (connection < 0 || connection >= static_cast<int>(m_connections.size()))
        return {};
    return m_connections[static_cast<size_t>(connection)]->received;
}

bool ScriptedServer::WaitAccepted(int n, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return static_cast<int>(m_connections.size()) >= n; });
}

bool ScriptedServer::WaitFinished(int connection, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return connection >= 0 && connection < static_cast<int>(m_connections.size()) &&
               m_connections[static_cast<size_t>(connection)]->finished;
    });
}

void ScriptedServer::Stop() {
    m_stop = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<Connection *> all;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        all = m_connections;
    }
    for (Connection *c : all) {
        if (c->thread.joinable())
            c->thread.join();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Connection *c : m_connections)
            delete c;
        m_connections.clear();
    }
    if (m_listen >= 0) {
        close(m_listen);
        m_listen = -1;
    }
}

void ScriptedServer::AcceptLoop() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, kPollSliceMs) <= 0)
            continue;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        auto *c = new Connection;
        c->fd = fd;
        ConnectionScript script;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            script = m_nextScript < m_scripts.size() ? m_scripts[m_nextScript++] : m_defaultScript;
            m_connections.push_back(c);
        }
        m_changed.notify_all();
        c->thread = std::thread([this, c, script] { Play(c, script); });
    }
}

void ScriptedServer::AppendReceived(Connection *c, const char *data, size_t n) {
    c->input.append(data, n);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        c->received.append(data, n);
    }
    m_changed.notify_all();
}

// Sends without blocking, waiting for room in short slices so Stop is honoured even while the peer
// reads nothing; false on an error or Stop.
bool ScriptedServer::SendAll(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (m_stop)
            return false;
        ssize_t r = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r >= 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kPollSliceMs) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

// Waits for input in short slices so Stop is honoured; false at the peer's close, an error or Stop.
bool ScriptedServer::ReadMore(Connection *c) {
    char buf[65536];
    while (!m_stop) {
        pollfd p{c->fd, POLLIN, 0};
        int r = poll(&p, 1, kPollSliceMs);
        if (r < 0 && errno != EINTR)
            return false;
        if (r <= 0)
            continue;
        ssize_t n = recv(c->fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        AppendReceived(c, buf, static_cast<size_t>(n));
        return true;
    }
    return false;
}

void ScriptedServer::Play(Connection *c, ConnectionScript script) {
    using Kind = ConnectionScript::Kind;
    size_t consumed = 0; // bytes of this connection's input used by read steps
    auto input = [&]() -> const std::string & { return c->input; };
    for (const ConnectionScript::Step &step : script.Steps()) {
        if (m_stop || c->fd < 0)
            break;
        bool ok = true;
        switch (step.kind) {
        case Kind::ReadBytes:
            while (ok && input().size() - consumed < step.count)
                ok = ReadMore(c);
            if (ok)
                consumed += step.count;
            break;
        case Kind::ReadUntil: {
            size_t at;
            while (ok && (at = input().find(step.bytes, consumed)) == std::string::npos)
                ok = ReadMore(c);
            if (ok)
                consumed = at + step.bytes.size();
            break;
        }
        case Kind::ReadToClose:
            while (ReadMore(c)) {
            }
            consumed = input().size();
            break;
        case Kind::Send:
            ok = SendAll(c->fd, step.bytes);
            break;
        case Kind::SendFrom:
            ok = SendAll(c->fd, step.reply(input()));
            break;
        case Kind::Pause: {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.ms);
            while (!m_stop && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            break;
        }
        case Kind::Close: {
            // Take in what already arrived first, so the close is a FIN and not a reset.
            char buf[65536];
            ssize_t n;
            while ((n = recv(c->fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
                AppendReceived(c, buf, static_cast<size_t>(n));
            shutdown(c->fd, SHUT_WR);
            close(c->fd);
            c->fd = -1;
            break;
        }
        case Kind::Reset: {
            linger l{1, 0};
            setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            close(c->fd);
            c->fd = -1;
            break;
        }
        case Kind::ShutdownWrite:
            shutdown(c->fd, SHUT_WR);
            break;
        case Kind::AnswerEach:
            for (;;) {
                size_t at;
                while (ok && (at = input().find(step.bytes, consumed)) == std::string::npos)
                    ok = ReadMore(c);
                if (!ok)
                    break;
                std::string request = input().substr(consumed, at + step.bytes.size() - consumed);
                consumed = at + step.bytes.size();
                if (!SendAll(c->fd, step.reply(request))) {
                    ok = false;
                    break;
                }
            }
            break;
        case Kind::HoldOpen:
            while (ReadMore(c)) {
            }
            break;
        }
        if (!ok)
            break;
    }
    if (c->fd >= 0) {
        close(c->fd);
        c->fd = -1;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        c->finished = true;
    }
    m_changed.notify_all();
}

} // namespace testsupport
