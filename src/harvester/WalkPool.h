// WalkPool: the neighbourhood walks of a parallel run. Each of its threads takes one name at a time
// from the shared walk queue and walks its address neighbourhood as the single loop does (its misses,
// its 10-second rule, its /16 boundary, ending at names already scanned), handing the names found to
// the shared state when the walk is done; a walk cut short by a stop leaves no trace. One thread per
// lookup in flight. Reverse lookups into one /16 block are held to a few at once (BlockGate), so that
// the walks of neighbouring names do not all fire at one network's name server together.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "harvester/AddressScanner.h"
#include "harvester/PlaceCounts.h"
#include "harvester/WorkerThreads.h"

namespace lanternfold {

class SharedState;
class StopWatch;

// At most a set number of reverse lookups at once per /16 block (the first two numbers of the address).
class BlockGate {
public:
    static constexpr int kPerBlock = 4;
    // Longest single wait for a place, so that a stop is seen soon.
    static constexpr uint32_t kWaitSliceMs = 50;

    explicit BlockGate(int perBlock = kPerBlock) : m_perBlock(perBlock < 1 ? 1 : perBlock) {}
    // "a.b" of a dotted address; empty when it is not one.
    static std::string BlockOf(const char *address);
    // Waits for a place on the block; false when `stopped` said so first.
    bool Enter(const std::string &block, const std::function<bool()> &stopped);
    void Leave(const std::string &block);
    int InFlight(const std::string &block) const;

private:
    const int m_perBlock;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    PlaceCounts m_inFlight; // lookups running per block
};

class WalkPool {
public:
    static constexpr uint32_t kIdleWaitMs = 100;
    static constexpr int32_t kMaxMisses = 20;

    // `lookups` must be safe to use from many threads at once (the system's are).
    WalkPool(AddressScanner::Lookups &lookups, StopWatch &stop, SharedState &state)
        : m_lookups(lookups), m_stop(stop), m_state(state) {}

    void Start(int count);
    bool End(uint32_t waitMs) { return m_threads.End(waitMs); }
    BlockGate &Gate() { return m_gate; }

private:
    class GatedLookups;
    class Names;
    void Work();

    AddressScanner::Lookups &m_lookups;
    StopWatch &m_stop;
    SharedState &m_state;
    BlockGate m_gate;
    WorkerThreads m_threads;
};

} // namespace lanternfold
