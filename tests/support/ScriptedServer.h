// ScriptedServer: a loopback TCP server for tests (127.0.0.1 or another 127.x.y.z, ephemeral port, its own
// threads) that plays one script per accepted connection: what to read, what bytes to send, when to pause and
// when to close.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// The steps played on one connection, in order. Built with chained calls:
//   ConnectionScript().ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\n...").Close()
// A read step that cannot complete (the peer closed, or the server is stopping) ends the script.
// When the steps run out the connection is closed, unless HoldOpen was the last step.
class ConnectionScript {
public:
    enum class Kind {
        ReadBytes,
        ReadUntil,
        ReadToClose,
        Send,
        SendFrom,
        Pause,
        Close,
        Reset,
        ShutdownWrite,
        HoldOpen,
        AnswerEach
    };
    struct Step {
        Kind kind;
        size_t count = 0;
        std::string bytes;
        uint32_t ms = 0;
        std::function<std::string(const std::string &)> reply;
    };

    ConnectionScript &ReadBytes(size_t n);                // read exactly n bytes
    ConnectionScript &ReadUntil(const std::string &text); // read until the unconsumed input holds text
    ConnectionScript &ReadToClose();                      // read until the peer closes
    ConnectionScript &Send(const std::string &bytes);
    // Sends what fn returns, given everything this connection has received so far.
    ConnectionScript &SendFrom(std::function<std::string(const std::string &)> fn);
    ConnectionScript &Pause(uint32_t ms);
    ConnectionScript &Close();         // orderly close
    ConnectionScript &Reset();         // close with a reset (linger 0)
    ConnectionScript &ShutdownWrite(); // half-close: the peer sees the end of the stream
    ConnectionScript &HoldOpen();      // keep the connection open until the peer closes or the server stops
    // Until the peer closes: reads up to and including terminator (e.g. "\r\n\r\n" for an HTTP head) and
    // sends what fn returns for that request, including the terminator. For keep-alive request loops.
    ConnectionScript &AnswerEach(const std::string &terminator,
                                 std::function<std::string(const std::string &)> fn);

    const std::vector<Step> &Steps() const { return m_steps; }

private:
    std::vector<Step> m_steps;
};

class ScriptedServer {
public:
    // Binds a loopback address (127.0.0.1 unless another 127.x.y.z is given) on an ephemeral port and starts
    // accepting at once. The backlog is the listen queue.
    explicit ScriptedServer(int backlog = 16, const char *address = "127.0.0.1");
    ~ScriptedServer(); // Stop()
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    // Scripts for the next accepted connections, in order; after they are used up, the default script.
    void AddScript(const ConnectionScript &script);
    void SetDefaultScript(const ConnectionScript &script);

    bool Ok() const { return m_listen >= 0; }
    uint16_t Port() const { return m_port; }

    // Connections accepted so far, and the bytes connection i has received (in accept order).
    int Accepted() const;
    std::string Received(int connection) const;
    // Waits (at most timeoutMs) until n connections were accepted; false on time-out.
    bool WaitAccepted(int n, uint32_t timeoutMs) const;
    // Waits (at most timeoutMs) until connection i has finished its script; false on time-out.
    bool WaitFinished(int connection, uint32_t timeoutMs) const;

    // Stops accepting, ends every connection's script within a short slice whatever step it is in
    // (a read, a send the peer does not take in, a pause) and joins the threads.
    void Stop();

private:
    struct Connection {
        int fd = -1;
        std::string received; // shared with the test, under the mutex
        std::string input;    // the same bytes, private to the connection's thread
        bool finished = false;
        std::thread thread;
    };
    void AcceptLoop();
    void Play(Connection *c, ConnectionScript script);
    bool ReadMore(Connection *c);
    bool SendAll(int fd, const std::string &bytes);
    void AppendReceived(Connection *c, const char *data, size_t n);

    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<ConnectionScript> m_scripts;
    size_t m_nextScript = 0;
    ConnectionScript m_defaultScript;
    std::vector<Connection *> m_connections;
};

} // namespace testsupport
