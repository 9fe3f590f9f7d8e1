// SeedSchedule: when each seed page may be fetched again, so that no seed site is asked more often
// than a person would: 10 minutes after a fetch, and after a failed one twice the wait before it, up
// to 6 hours. A seed never fetched is due at once; of several due seeds the one due longest comes first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lanternfold {

class SeedSchedule {
public:
    static constexpr uint32_t kIntervalMs = 10 * 60 * 1000;
    static constexpr uint32_t kLongestWaitMs = 6 * 60 * 60 * 1000;

    explicit SeedSchedule(std::vector<std::string> urls);

    size_t Count() const { return m_seeds.size(); }
    const std::string &Url(size_t index) const { return m_seeds[index].url; }
    // The index of the seed to fetch now, or -1 when none is due.
    int PickDue(uint32_t now) const;
    // Records a fetch of the seed that ended at `now`; gives the wait until it is due again.
    uint32_t Fetched(size_t index, bool ok, uint32_t now);
    // The shortest time until some seed is due (0 when one is due now).
    uint32_t NextDueIn(uint32_t now) const;

private:
    struct Seed {
        std::string url;
        bool fetched = false;
        uint32_t dueAt = 0;
        uint32_t waitMs = 0; // the wait after the latest fetch
    };
    // How long past due (0 when due just now); negative when not yet due.
    static int64_t Overdue(const Seed &seed, uint32_t now);

    std::vector<Seed> m_seeds;
};

} // namespace lanternfold
