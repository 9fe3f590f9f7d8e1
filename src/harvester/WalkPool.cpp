// WalkPool: the per-/16 gate on reverse lookups and the loop of one walker.
#include "harvester/WalkPool.h"

#include <chrono>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/StringBuffer.h"
#include "harvester/SharedState.h"
#include "harvester/StopWatch.h"

namespace lanternfold {

using namespace vantry;

std::string BlockGate::BlockOf(const char *address) {
    if (address == nullptr)
        return std::string();
    const char *first = std::strchr(address, '.');
    const char *second = first != nullptr ? std::strchr(first + 1, '.') : nullptr;
    return second != nullptr ? std::string(address, static_cast<size_t>(second - address)) : std::string();
}

bool BlockGate::Enter(const std::string &block, const std::function<bool()> &stopped) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_inFlight.TryTake(block, m_perBlock))
            return true;
        if (stopped && stopped())
            return false;
        m_freed.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs));
    }
}

void BlockGate::Leave(const std::string &block) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inFlight.Give(block);
    }
    m_freed.notify_all();
}

int BlockGate::InFlight(const std::string &block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inFlight.Taken(block);
}

// The pool's lookups with each reverse lookup holding a place on its /16 block.
class WalkPool::GatedLookups : public AddressScanner::Lookups {
public:
    GatedLookups(AddressScanner::Lookups &inner, BlockGate &gate, StopWatch &stop)
        : m_inner(inner), m_gate(gate), m_stop(stop) {}
    bool ForwardLookup(const char *host, StringBuffer &out) override {
        return m_inner.ForwardLookup(host, out);
    }
    bool ReverseLookup(const char *address, StringBuffer &out) override {
        const std::string block = BlockGate::BlockOf(address);
        if (!m_gate.Enter(block, [this] { return m_stop.Requested(); }))
            return false; // stopped: the walk sees the stop before its next lookup
        const bool answered = m_inner.ReverseLookup(address, out);
        m_gate.Leave(block);
        return answered;
    }
    uint32_t TickCount() override { return m_inner.TickCount(); }

private:
    AddressScanner::Lookups &m_inner;
    BlockGate &m_gate;
    StopWatch &m_stop;
};

// The names of one walk: a name scanned before or met earlier in this walk ends a direction; the new
// ones are handed to the state when the walk is done.
class WalkPool::Names : public AddressScanner::Names {
public:
    explicit Names(const SharedState &state) : m_state(state) {}
    bool Known(const StringBuffer &name) override {
        return m_met.count(std::string(name.View())) != 0 || m_state.IsScanned(name.View());
    }
    void Found(const StringBuffer &name) override {
        if (m_met.insert(std::string(name.View())).second)
            m_found.emplace_back(name.View());
    }
    const std::vector<std::string> &FoundNames() const { return m_found; }

private:
    const SharedState &m_state;
    std::unordered_set<std::string> m_met;
    std::vector<std::string> m_found;
};

void WalkPool::Start(int count) {
    m_threads.Start(count, [this](int) { Work(); });
}

void WalkPool::Work() {
    GatedLookups lookups(m_lookups, m_gate, m_stop);
    AddressScanner scanner(lookups);
    scanner.maxMisses = kMaxMisses;
    scanner.quickScan = false;
    scanner.SetStopCheck([this] { return m_stop.Requested(); });
    std::string name;
    while (!m_stop.Requested()) {
        if (!m_state.TakeNameToWalk(name)) {
            m_state.WaitForWork(kIdleWaitMs);
            continue;
        }
        Names names(m_state);
        scanner.WalkFrom(name.c_str(), names);
        // A walk that the stop cut short leaves no trace: the next start walks it again, whole.
        if (m_stop.Requested()) {
            m_state.DropWalk(name);
            break;
        }
        m_state.FinishWalk(name, names.FoundNames());
    }
}

} // namespace lanternfold
