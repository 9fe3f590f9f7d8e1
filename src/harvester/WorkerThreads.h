// WorkerThreads: a group of threads each running the same loop, ended together with a bounded wait.
// The loops watch the stop themselves; End waits for them at most a given time, so that a thread held
// in a system call that cannot be cut short (a name lookup of the system resolver) cannot hold up the
// process's stop. Threads still running then are joined by the destructor; a caller that must not
// wait (the process exiting after a stop) can leave without destroying the group.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lanternfold {

class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads &) = delete;
    WorkerThreads &operator=(const WorkerThreads &) = delete;

    // Starts `count` threads, each running loop(index) once.
    void Start(int count, const std::function<void(int)> &loop);
    // Waits until every loop has returned, at most waitMs; gives whether they all did (and then joins
    // them).
    bool End(uint32_t waitMs);
    int Running() const;

private:
    std::vector<std::thread> m_threads;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    int m_running = 0;
};

} // namespace lanternfold
