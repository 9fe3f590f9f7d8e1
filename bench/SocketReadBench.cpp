// Benchmark: keep-alive exchanges of a 1 KiB page over loopback, the head read with ReceiveHeaderBlock
// and the body with ReceiveCount, against a minimal in-process server thread. Run under `strace -c`
// (without -f, so only the client thread is counted) to see the system calls per response.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "net/VantrySocket.h"

using namespace vantry;

namespace {

const std::string kRequest = "GET /page HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// Answers every request head on one accepted connection with a 1 KiB page, head and body in one send.
class PageServer {
public:
    explicit PageServer(size_t bodySize) {
        m_response = "HTTP/1.1 200 OK\r\nServer: bench\r\nContent-Type: text/html\r\nContent-Length: " +
                     std::to_string(bodySize) + "\r\nConnection: keep-alive\r\n\r\n" +
                     std::string(bodySize, 'x');
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        bind(m_listen, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        listen(m_listen, 4);
        getsockname(m_listen, reinterpret_cast<sockaddr *>(&sa), &len);
        m_port = ntohs(sa.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~PageServer() {
        shutdown(m_listen, SHUT_RDWR);
        close(m_listen);
        m_thread.join();
    }
    int Port() const { return m_port; }

private:
    void Serve() {
        int fd = accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            return;
        std::string in;
        char buf[4096];
        for (;;) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            in.append(buf, static_cast<size_t>(n));
            size_t end;
            while ((end = in.find("\r\n\r\n")) != std::string::npos) {
                in.erase(0, end + 4);
                send(fd, m_response.data(), m_response.size(), MSG_NOSIGNAL);
            }
        }
        close(fd);
    }

    std::string m_response;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
};

void BM_HeadAndCountedBody(benchmark::State &state) {
    const auto bodySize = static_cast<uint32_t>(state.range(0));
    PageServer server(bodySize);
    VantrySocket s;
    LogNull log;
    bool lookupFailed = false;
    if (!s.Connect("127.0.0.1", server.Port(), lookupFailed, log)) {
        state.SkipWithError("connect failed");
        return;
    }
    DataBuffer head, body;
    for (auto _ : state) {
        head.Clear();
        body.Clear();
        if (!s.SendBytes(kRequest.data(), static_cast<uint32_t>(kRequest.size()), log) ||
            !s.ReceiveHeaderBlock(head, log) || !s.ReceiveCount(bodySize, body, log)) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    s.Close();
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_HeadAndCountedBody)->Arg(1024)->Arg(65536);
// A fixed count of exchanges, for dividing the `strace -c` totals by.
BENCHMARK(BM_HeadAndCountedBody)->Arg(1024)->Iterations(2000);
BENCHMARK_MAIN();
