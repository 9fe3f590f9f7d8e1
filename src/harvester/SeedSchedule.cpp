// SeedSchedule: per-seed due times on the tick counter, with the doubling wait after failures.
#include "harvester/SeedSchedule.h"

namespace lanternfold {

SeedSchedule::SeedSchedule(std::vector<std::string> urls) {
    for (std::string &url : urls) {
        Seed seed;
        seed.url = std::move(url);
        m_seeds.push_back(std::move(seed));
    }
}

int64_t SeedSchedule::Overdue(const Seed &seed, uint32_t now) {
    if (!seed.fetched)
        return INT32_MAX; // never fetched: due before any other
    return static_cast<int32_t>(now - seed.dueAt);
}

int SeedSchedule::PickDue(uint32_t now) const {
    int best = -1;
    int64_t bestOverdue = -1;
    for (size_t i = 0; i < m_seeds.size(); ++i) {
        const int64_t overdue = Overdue(m_seeds[i], now);
        if (overdue >= 0 && overdue > bestOverdue) {
            best = static_cast<int>(i);
            bestOverdue = overdue;
        }
    }
    return best;
}

uint32_t SeedSchedule::Fetched(size_t index, bool ok, uint32_t now) {
    if (index >= m_seeds.size())
        return 0;
    Seed &seed = m_seeds[index];
    if (ok || seed.waitMs == 0)
        seed.waitMs = ok ? kIntervalMs : 2 * kIntervalMs;
    else
        seed.waitMs = seed.waitMs >= kLongestWaitMs / 2 ? kLongestWaitMs : seed.waitMs * 2;
    seed.fetched = true;
    seed.dueAt = now + seed.waitMs;
    return seed.waitMs;
}

uint32_t SeedSchedule::NextDueIn(uint32_t now) const {
    uint32_t shortest = UINT32_MAX;
    for (const Seed &seed : m_seeds) {
        const int64_t overdue = Overdue(seed, now);
        const uint32_t in = overdue >= 0 ? 0 : static_cast<uint32_t>(-overdue);
        if (in < shortest)
            shortest = in;
    }
    return shortest;
}

} // namespace lanternfold
