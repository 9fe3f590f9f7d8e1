// CrawlWorkers: the crawl workers of a parallel run. Each takes one domain at a time from the shared
// crawl queue and crawls it as the single loop does (a SiteCrawl with its own spider and fetcher, the
// same page budget and pacing), handing each page's outbound hosts back to the shared state as the
// page is done. Politeness holds across workers through what they share: the host pacer (one request
// at a time per host, the spacing and Crawl-delay between starts), the IP gate (at most two requests
// at once per address) and the robots cache; a domain and its www twin go to one worker only.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "harvester/WorkerThreads.h"

namespace lanternfold {

class HarvestEnvironment;
class HostPacer;
class IpGate;
class RobotsCache;
class SharedState;
class StopWatch;

class CrawlWorkers {
public:
    // How long an idle worker waits for work before it looks at the stop again.
    static constexpr uint32_t kIdleWaitMs = 100;

    // What the workers share (none of it owned).
    struct Tools {
        HarvestEnvironment &env;
        HostPacer &pacer;
        StopWatch &stop;
        RobotsCache &robots;
        IpGate *ipGate;
        SharedState &state;
    };

    explicit CrawlWorkers(const Tools &tools) : m_tools(tools) {}

    void Start(int count);
    // Waits for the workers to end after a stop, at most waitMs; gives whether they all did.
    bool End(uint32_t waitMs) { return m_threads.End(waitMs); }
    uint64_t PagesFetched() const { return m_pages.load(); }

private:
    class Sink;
    void Work();

    Tools m_tools;
    std::atomic<uint64_t> m_pages{0};
    WorkerThreads m_threads;
};

} // namespace lanternfold
