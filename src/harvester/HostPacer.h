// HostPacer: when each host may be asked next. At most one request to a host at a time, and the starts
// of two requests to one host at least the spacing apart (1 s by default), or the host's own delay
// (robots.txt's Crawl-delay) when that is longer, capped at 30 s. Safe to share between crawl workers:
// it keeps no clock of its own (callers pass the tick count) and never waits; a caller that may not
// start yet is told how long to wait.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lanternfold {

class HostPacer {
public:
    static constexpr uint32_t kDefaultSpacingMs = 1000;
    static constexpr uint32_t kLongestHostDelayMs = 30000;

    explicit HostPacer(uint32_t spacingMs = kDefaultSpacingMs) : m_spacingMs(spacingMs) {}

    void SetSpacing(uint32_t ms);
    uint32_t Spacing() const;
    // A host's own spacing, used when longer than the common one; capped at 30 s.
    void SetHostDelay(std::string_view host, uint32_t ms);

    // Takes the host for one request when no request to it is running and its spacing has passed
    // since the start of the last one: true, and the host is busy until Finish. Otherwise false,
    // with waitMs the time until it may be free (at least 1).
    bool TryStart(std::string_view host, uint32_t now, uint32_t &waitMs);
    // As above, but the host is taken only when `alsoFree` (asked under the pacer's lock, once the host
    // itself is free and due) gives true too; when it gives false, nothing changes and waitMs is a few
    // milliseconds.
    // Lets a request wait for a second limit (its address) without its host's turn passing meanwhile.
    bool TryStart(std::string_view host, uint32_t now, uint32_t &waitMs,
                  const std::function<bool()> &alsoFree);
    void Finish(std::string_view host);

    // Hosts remembered (the busy ones, and those whose spacing has not yet passed, at the least).
    size_t HostCount() const;

private:
    struct Slot {
        uint32_t lastStart = 0;
        uint32_t delayMs = 0; // the host's own spacing; 0 for the common one
        bool started = false;
        bool busy = false;
    };

    uint32_t SpacingOf(const Slot &slot) const;
    // Forgets the hosts that are free and due, once the table has grown.
    void PruneIfLarge(uint32_t now);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Slot> m_hosts;
    uint32_t m_spacingMs;
};

} // namespace lanternfold
