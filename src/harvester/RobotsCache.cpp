// RobotsCache: a map by site key with an insertion-order list for the oldest-first eviction.
#include "harvester/RobotsCache.h"

#include <algorithm>

#include "url/HostName.h"

namespace lanternfold {

bool RobotsCache::Find(std::string_view host, uint32_t now, int &status, std::string &text) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(std::string(vantry::SiteKey(host)));
    if (it == m_entries.end() || now - it->second.storedAt >= kKeepMs)
        return false;
    status = it->second.status;
    text = it->second.text;
    return true;
}

void RobotsCache::Store(std::string_view host, int status, std::string_view text, uint32_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string key(vantry::SiteKey(host));
    Forget(key);
    if (text.size() > kMaxTextBytes)
        return;
    while (!m_order.empty() && (m_entries.size() >= kMaxEntries || m_textBytes + text.size() > kMaxTextBytes))
        Forget(std::string(m_order.front()));
    Entry &entry = m_entries[key];
    entry.status = status;
    entry.text.assign(text);
    entry.storedAt = now;
    m_textBytes += text.size();
    m_order.push_back(key);
}

size_t RobotsCache::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

void RobotsCache::Forget(const std::string &key) {
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    m_textBytes -= it->second.text.size();
    m_entries.erase(it);
    m_order.erase(std::find(m_order.begin(), m_order.end(), key));
}

} // namespace lanternfold
