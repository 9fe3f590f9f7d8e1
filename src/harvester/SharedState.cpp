// SharedState: HarvestState's operations under one lock, with the counts of work running.
#include "harvester/SharedState.h"

#include <chrono>

namespace lanternfold {

SharedState::SharedState(HarvestState &state) : m_state(state) {
    // Called from inside Maintain's compaction, under the lock already held.
    m_state.SetWalksRunning([this] { return WalksRunning(); });
}

std::vector<std::string> SharedState::WalksRunning() const {
    std::vector<std::string> names;
    names.reserve(m_walking.size());
    for (const std::string &name : m_walking)
        names.push_back(name);
    return names;
}

void SharedState::AddSeedHosts(const std::vector<std::string> &hosts) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_state.AddSeedHosts(hosts);
    }
    WorkArrived();
}

void SharedState::AddOutboundHosts(const std::vector<std::string> &hosts) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_state.AddOutboundHosts(hosts);
    }
    WorkArrived();
}

bool SharedState::IsScanned(std::string_view name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state.IsScanned(name);
}

bool SharedState::TakeNameToWalk(std::string &name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return false;
    while (m_state.TakeNameToWalk(name)) {
        // Queued again while its walk runs (it counts as scanned only once that walk is done).
        if (m_walking.count(name) != 0)
            continue;
        m_walking.insert(name);
        ++m_walksRunning;
        return true;
    }
    return false;
}

void SharedState::FinishWalk(const std::string &walked, const std::vector<std::string> &found) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_state.FinishWalk(walked, found);
        m_walking.erase(walked);
        --m_walksRunning;
    }
    WorkArrived();
}

void SharedState::DropWalk(const std::string &) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The name stays among the walks not done, so that a compaction still keeps it queued.
        --m_walksRunning;
    }
    WorkArrived();
}

bool SharedState::TakeDomainToCrawl(std::string &domain) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_state.TakeDomainToCrawl(domain))
        return false;
    ++m_crawlsRunning;
    return true;
}

void SharedState::FinishCrawl(const std::string &domain) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_crawlsRunning;
        if (m_closed)
            return; // journalled as taken: a restart counts it as crawled all the same
        m_state.FinishCrawl(domain);
    }
    WorkArrived();
}

void SharedState::Maintain(uint32_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_closed)
        m_state.Maintain(now);
}

void SharedState::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        m_closed = true;
        m_state.Close();
    }
    WorkArrived();
}

SharedState::Figures SharedState::Read() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Figures f;
    f.namesInOutput = m_state.NamesInOutput();
    f.crawlQueue = m_state.CrawlQueueLength();
    f.walkQueue = m_state.WalkQueueLength();
    f.crawlsRunning = m_crawlsRunning;
    f.walksRunning = m_walksRunning;
    f.discoveries = m_state.Discoveries();
    return f;
}

bool SharedState::Quiet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state.CrawlQueueLength() == 0 && m_state.WalkQueueLength() == 0 && m_crawlsRunning == 0 &&
           m_walksRunning == 0;
}

void SharedState::WaitForWork(uint32_t waitMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed)
        return;
    m_workArrived.wait_for(lock, std::chrono::milliseconds(waitMs));
}

} // namespace lanternfold
