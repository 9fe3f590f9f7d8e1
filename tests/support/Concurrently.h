// Helpers of the concurrency tests: run a body on several threads that start together, under a watchdog
// that ends the process when they have not all finished in time (a deadlock fails instead of hanging).
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

// Ends the process with a message unless it is destroyed within the limit.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit, const char *what = "concurrency test")
        : m_thread([this, limit, what] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  std::fprintf(stderr, "%s: threads still running after %lld s; stopping the process\n", what,
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread; // last: starts once the members above exist
};

// Runs body(index) on `threads` threads released together, so that first uses really meet; returns when
// all have finished. Bounded by the watchdog's limit.
inline void RunTogether(int threads, const std::function<void(int)> &body,
                        std::chrono::seconds limit = std::chrono::seconds(120)) {
    Watchdog watchdog(limit);
    std::latch start(threads);
    std::vector<std::thread> running;
    running.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i)
        running.emplace_back([&, i] {
            start.arrive_and_wait();
            body(i);
        });
    for (std::thread &t : running)
        t.join();
}

} // namespace testsupport
