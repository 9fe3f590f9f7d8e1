// StopWatch: a rate-limited, latched view of the environment's stop request.
#include "harvester/StopWatch.h"

#include "harvester/HarvestEnvironment.h"

namespace lanternfold {

bool StopWatch::Requested() {
    if (m_stopped.load())
        return true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopped.load())
        return true;
    const uint32_t now = m_env.TickCount();
    if (m_polled && now - m_lastPoll < kPollEveryMs)
        return false;
    m_polled = true;
    m_lastPoll = now;
    if (!m_env.StopRequested())
        return false;
    m_reason = m_env.StopReason();
    m_stopped.store(true);
    return true;
}

std::string StopWatch::Reason() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reason;
}

} // namespace lanternfold
