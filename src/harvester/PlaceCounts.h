// PlaceCounts: how many places are taken under each key (requests per address, lookups per block),
// with a limit per key. Keys with no place taken are not kept. Not locked: its owner holds its lock.
#pragma once
#include <string>
#include <unordered_map>

namespace lanternfold {

class PlaceCounts {
public:
    // Takes a place under the key when fewer than `limit` are taken.
    bool TryTake(const std::string &key, int limit) {
        int &count = m_taken[key];
        if (count >= limit)
            return false;
        ++count;
        return true;
    }
    void Give(const std::string &key) {
        auto it = m_taken.find(key);
        if (it != m_taken.end() && --it->second <= 0)
            m_taken.erase(it);
    }
    int Taken(const std::string &key) const {
        auto it = m_taken.find(key);
        return it == m_taken.end() ? 0 : it->second;
    }

private:
    std::unordered_map<std::string, int> m_taken;
};

} // namespace lanternfold
