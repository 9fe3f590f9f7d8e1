// HostPacer: per-host slots under one lock; tick differences are unsigned, so the 32-bit counter may
// wrap between two requests.
#include "harvester/HostPacer.h"

namespace lanternfold {

namespace {
constexpr size_t kPruneAbove = 4096;
// How long a request held back by its second limit waits before asking again.
constexpr uint32_t kOtherLimitWaitMs = 5;
// A host's own delay is kept while its site may still be crawled (a crawl lasts at most 10 minutes).
constexpr uint32_t kKeepHostDelayMs = 15 * 60 * 1000;
} // namespace

void HostPacer::SetSpacing(uint32_t ms) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spacingMs = ms;
}

uint32_t HostPacer::Spacing() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_spacingMs;
}

void HostPacer::SetHostDelay(std::string_view host, uint32_t ms) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hosts[std::string(host)].delayMs = ms > kLongestHostDelayMs ? kLongestHostDelayMs : ms;
}

uint32_t HostPacer::SpacingOf(const Slot &slot) const {
    return slot.delayMs > m_spacingMs ? slot.delayMs : m_spacingMs;
}

bool HostPacer::TryStart(std::string_view host, uint32_t now, uint32_t &waitMs) {
    return TryStart(host, now, waitMs, nullptr);
}

bool HostPacer::TryStart(std::string_view host, uint32_t now, uint32_t &waitMs,
                         const std::function<bool()> &alsoFree) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PruneIfLarge(now);
    Slot &slot = m_hosts[std::string(host)];
    if (slot.busy) {
        waitMs = 1;
        return false;
    }
    const uint32_t spacing = SpacingOf(slot);
    const uint32_t since = now - slot.lastStart;
    if (slot.started && since < spacing) {
        waitMs = spacing - since;
        return false;
    }
    if (alsoFree && !alsoFree()) {
        waitMs = kOtherLimitWaitMs;
        return false;
    }
    slot.started = true;
    slot.busy = true;
    slot.lastStart = now;
    waitMs = 0;
    return true;
}

void HostPacer::Finish(std::string_view host) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_hosts.find(std::string(host));
    if (it != m_hosts.end())
        it->second.busy = false;
}

size_t HostPacer::HostCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hosts.size();
}

void HostPacer::PruneIfLarge(uint32_t now) {
    if (m_hosts.size() <= kPruneAbove)
        return;
    for (auto it = m_hosts.begin(); it != m_hosts.end();) {
        const Slot &slot = it->second;
        const uint32_t since = now - slot.lastStart;
        const bool due = !slot.started || since >= SpacingOf(slot);
        if (!slot.busy && due && (slot.delayMs == 0 || since >= kKeepHostDelayMs))
            it = m_hosts.erase(it);
        else
            ++it;
    }
}

} // namespace lanternfold
