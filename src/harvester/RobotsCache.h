// RobotsCache: the outcome of each site's robots.txt fetch (its status and body), kept for 24 hours by
// site (the host without "www.", so that both spellings share one entry), so that a site is asked for
// it once. Bounded: past 512 entries or 8 MiB of text the oldest are forgotten. Thread-safe.
#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lanternfold {

class RobotsCache {
public:
    static constexpr uint32_t kKeepMs = 24u * 60 * 60 * 1000;
    static constexpr size_t kMaxEntries = 512;
    static constexpr size_t kMaxTextBytes = 8u << 20;

    // The outcome stored for the host's site less than 24 hours before `now`.
    bool Find(std::string_view host, uint32_t now, int &status, std::string &text) const;
    void Store(std::string_view host, int status, std::string_view text, uint32_t now);
    size_t Count() const;

private:
    struct Entry {
        int status = 0;
        std::string text;
        uint32_t storedAt = 0;
    };
    void Forget(const std::string &key);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
    std::deque<std::string> m_order; // keys, oldest first
    size_t m_textBytes = 0;
};

} // namespace lanternfold
