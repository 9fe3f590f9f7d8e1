// SharedState: the harvester's state as the crawl workers, the walkers and the seed step share it.
//
// One owner, one lock: every operation below takes one mutex around the HarvestState (queues, the
// crawled, scanned and written sets, the journal and the output file) for the length of one of its
// operations, and nothing else ever touches it while workers run. A lock was chosen over a coordinator
// thread because each operation is short (a few set look-ups and buffered appends) next to a fetch or
// a name lookup, so workers almost never wait for it, and each one stays a plain call that a worker
// makes when it has something to hand over. Because the operations are whole, every name is written
// once, every domain is handed to one worker once and every walk is made once, whatever the
// interleaving; the output gets whole lines from one writer (the state, under the lock).
//
// Besides, it counts the crawls and walks running (so that the run can tell when there is nothing
// left to do), keeps the names being walked journalled through a compaction, wakes idle workers when
// work arrives, and after Close ignores every change, so that a worker still finishing cannot touch
// the closed files.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "harvester/HarvestState.h"

namespace lanternfold {

class SharedState {
public:
    // The figures for the status line and the report, read together.
    struct Figures {
        uint64_t namesInOutput = 0;
        int32_t crawlQueue = 0;
        int32_t walkQueue = 0;
        int32_t crawlsRunning = 0;
        int32_t walksRunning = 0;
        uint64_t discoveries = 0;
    };

    explicit SharedState(HarvestState &state);
    SharedState(const SharedState &) = delete;
    SharedState &operator=(const SharedState &) = delete;

    void AddSeedHosts(const std::vector<std::string> &hosts);
    void AddOutboundHosts(const std::vector<std::string> &hosts);
    bool IsScanned(std::string_view name) const;

    // A name to walk, counted as running until FinishWalk or DropWalk; never one whose walk is running
    // (a name may be queued again while it is walked).
    bool TakeNameToWalk(std::string &name);
    void FinishWalk(const std::string &walked, const std::vector<std::string> &found);
    // A walk cut short (by a stop): it leaves no trace and is made again, whole, at the next start.
    void DropWalk(const std::string &walked);

    // A domain to crawl, journalled as taken and counted as running until FinishCrawl.
    bool TakeDomainToCrawl(std::string &domain);
    void FinishCrawl(const std::string &domain);

    void Maintain(uint32_t now);
    // Saves and closes the state; every later change is ignored and nothing more is handed out.
    void Close();

    Figures Read() const;
    // Both queues empty and nothing running.
    bool Quiet() const;
    // Waits (at most waitMs) until work may have arrived: names queued, a walk or crawl finished, or
    // Close.
    void WaitForWork(uint32_t waitMs);

private:
    void WorkArrived() { m_workArrived.notify_all(); }
    std::vector<std::string> WalksRunning() const;

    HarvestState &m_state;
    mutable std::mutex m_mutex;
    std::condition_variable m_workArrived;
    std::unordered_set<std::string> m_walking; // names whose walks were taken and are not done
    int32_t m_crawlsRunning = 0;
    int32_t m_walksRunning = 0;
    bool m_closed = false;
};

} // namespace lanternfold
