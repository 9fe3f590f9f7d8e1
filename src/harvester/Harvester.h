// Harvester: the program's driver. With one worker it runs the single loop: each cycle it fetches a
// seed page when one is due, walks the address neighbourhood of the names found since the last cycle,
// and crawls one queued domain's site. With more it runs them side by side: crawl workers
// (CrawlWorkers) and walkers (WalkPool) on threads of their own, the seed pages on this thread; all of
// them share the state through SharedState. Every new host name goes to the output file. All state lives in
// HarvestState (queues, sets, output, journal); the crawl of a site is a SiteCrawl step and a walk an
// AddressScanner step, both paced per host and ended by a stop (stop.txt, SIGTERM, SIGINT) within a second
// wherever they are.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "harvester/HarvestEnvironment.h"
#include "harvester/HarvestState.h"
#include "harvester/HostPacer.h"
#include "harvester/RobotsCache.h"
#include "harvester/SeedSchedule.h"
#include "harvester/SharedState.h"
#include "harvester/StopWatch.h"

namespace vantry {
class StringBuffer;
} // namespace vantry

namespace lanternfold {

class IpGate;
class PacedFetcher;
class StatusLine;

// The settings the command line may change.
struct HarvestSettings {
    // Seed page URLs; empty: the built-in two.
    std::vector<std::string> seeds;
    // Least time between the starts of two requests to one host.
    uint32_t hostSpacingMs = HostPacer::kDefaultSpacingMs;
    // Crawl workers; 1 runs the single loop (the command line's default is 32, see Options).
    int workers = 1;
    // Reverse lookups in flight at once (walker threads) when workers > 1.
    int lookups = 32;
};

class Harvester {
public:
    static constexpr int32_t kSeedRefillBelow = 10;
    static constexpr uint32_t kIdleFirstWaitMs = 1000;
    static constexpr uint32_t kIdleLongestWaitMs = 60000;
    static constexpr uint32_t kStopCheckSliceMs = 100;
    // After a stop, how long the parallel run waits for its threads before it saves the state
    // without them (a thread may be held in a system name lookup that cannot be cut short).
    static constexpr uint32_t kThreadsEndWaitMs = 3000;

    // Uses the real network, clock and stop file.
    explicit Harvester(HarvestSettings settings = HarvestSettings());
    // Uses the given environment (not owned; it must outlive the harvester).
    explicit Harvester(HarvestEnvironment &env, HarvestSettings settings = HarvestSettings());
    virtual ~Harvester();
    Harvester(const Harvester &) = delete;
    Harvester &operator=(const Harvester &) = delete;

    // Harvests into the output file until a stop is requested; the state is saved on the way out.
    void Run(const char *outputPath);
    // The parallel run's threads that did not end in time after the stop (they touch nothing more of
    // the state, but hold the harvester: the process should exit without destroying it).
    int ThreadsLeftRunning() const { return m_threadsLeft; }

    // The steps of a run (public so that each can be exercised on its own).
    // Opens the state beside the output and reports where names and state go.
    void Start(const char *outputPath);
    // Saves the state and reports the stop.
    void Finish();
    // One cycle; gives whether it crawled a site or found anything new.
    bool RunCycle();
    // Fetches the seed page that is due, if any; gives whether one was fetched.
    bool HarvestSeeds();
    std::unique_ptr<PacedFetcher> MakeSeedFetcher();
    // Walks the neighbourhood of every name waiting to be walked.
    void FlushNewDomains();
    // Gives whether a domain was taken from the queue and crawled.
    bool CrawlNextDomain();
    bool IsCrawlableDomain(const char *name) const;
    // The seed-link test: no excluded substring, a '.', and no digit after the first run of '/'.
    bool PassesSeedLinkTest(const char *link) const;
    // The agent string, decoded from its stored Base64 form.
    static void DecodeAgentString(vantry::StringBuffer &out);
    static std::vector<std::string> BuiltInSeeds();

    HarvestState &State() { return m_state; }
    HostPacer &Pacer() { return m_pacer; }
    StopWatch &Stop() { return m_stop; }
    const SeedSchedule &Seeds() const { return m_seeds; }
    uint64_t PagesFetched() const { return m_pagesFetched.load(); }
    SharedState &Shared() { return m_shared; }
    const HarvestSettings &Settings() const { return m_settings; }
    // One line for the user on standard error ("lanternfold: " in front).
    void Report(const std::string &line);

private:
    class CrawlSink;
    class WalkNames;

    // The single loop, and the workers side by side.
    void RunLoop();
    void RunParallel();
    // Waits in short slices; gives true when a stop was requested meanwhile.
    bool WaitIdle(uint32_t waitMs);
    void UpdateStatus(const char *domain);
    bool ContainsExcludedSubstring(const char *text) const;
    void ExcludeSeedSites();

    std::unique_ptr<HarvestEnvironment> m_ownEnv;
    HarvestEnvironment &m_env;
    HarvestSettings m_settings;
    StopWatch m_stop;
    HostPacer m_pacer;
    RobotsCache m_robots;
    SeedSchedule m_seeds;
    HarvestState m_state;
    SharedState m_shared; // the one way to the state while workers run
    std::unique_ptr<IpGate> m_ipGate;
    std::vector<std::string> m_excluded; // the fixed excluded substrings and the seed sites' domains
    std::string m_outputPath;
    std::atomic<uint64_t> m_pagesFetched{0};
    bool m_started = false;
    int m_threadsLeft = 0;
    // The parallel run's seed step: it has looked once (from then on the queues tell whether there is
    // work), and whether it is fetching now.
    std::atomic<bool> m_seedRoundDone{false};
    std::atomic<bool> m_seedFetching{false};
    std::mutex m_reportMutex; // the status line and the report lines, from any thread
    std::unique_ptr<StatusLine> m_status;
};

} // namespace lanternfold
