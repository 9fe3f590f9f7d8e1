// WorkerThreads: starting the loops, counting those still running, the bounded end.
#include "harvester/WorkerThreads.h"

#include <chrono>

namespace lanternfold {

WorkerThreads::~WorkerThreads() {
    for (std::thread &thread : m_threads)
        if (thread.joinable())
            thread.join();
}

void WorkerThreads::Start(int count, const std::function<void(int)> &loop) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running += count;
    }
    for (int i = 0; i < count; ++i) {
        m_threads.emplace_back([this, loop, i] {
            loop(i);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_running == 0)
                m_ended.notify_all();
        });
    }
}

bool WorkerThreads::End(uint32_t waitMs) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_ended.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_running == 0; }))
            return false;
    }
    for (std::thread &thread : m_threads)
        if (thread.joinable())
            thread.join();
    m_threads.clear();
    return true;
}

int WorkerThreads::Running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

} // namespace lanternfold
