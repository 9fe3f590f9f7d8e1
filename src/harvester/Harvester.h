// Harvester: the program's driver. Keeps the domain queues and seen-sets, fetches seed pages, crawls
// one domain per cycle with the spider, walks the address neighbourhood of new names, and appends
// every new host name to the output file until a stop file appears (or a stop signal arrives).
#pragma once
#include <cstdint>
#include <memory>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "core/StringTable.h"
#include "harvester/HarvestEnvironment.h"
#include "harvester/NameOutput.h"

namespace vantry {
class PageFetcher;
class Spider;
class StringSeen;
} // namespace vantry

namespace lanternfold {

class StatusLine;

class Harvester {
public:
    // Uses the real network, clock and stop file.
    Harvester();
    // Uses the given environment (not owned; it must outlive the harvester).
    explicit Harvester(HarvestEnvironment &env);
    virtual ~Harvester();
    Harvester(const Harvester &) = delete;
    Harvester &operator=(const Harvester &) = delete;

    // Harvests into the output file until a stop is requested.
    void Run(const char *outputPath);

    // The steps of a run (public so that each can be exercised on its own).
    // Stores the output path, loads the names already written and the saved state.
    void Start(const char *outputPath);
    // Gives whether a seed page was fetched.
    bool HarvestSeeds();
    std::unique_ptr<vantry::PageFetcher> MakeSeedFetcher();
    void PromoteNewDomains();
    void FlushNewDomains();
    // Gives whether a domain was taken from the queue and crawled.
    bool CrawlNextDomain();
    bool IsCrawlableDomain(const char *name) const;
    void RecordDomain(const char *name);
    // The seed-link test: no excluded substring, a '.', and no digit after the first run of '/'.
    bool PassesSeedLinkTest(const char *link) const;
    // The agent string, decoded from its stored Base64 form.
    static void DecodeAgentString(vantry::StringBuffer &out);

    // The state file beside the output; saved at most once a minute while running and at every stop.
    bool SaveState();
    bool LoadState();
    const vantry::StringBuffer &StatePath() const { return m_statePath; }

    vantry::ClsStringArray &NewDomains() { return newDomains; }
    vantry::ClsStringArray &CrawlQueue() { return crawlQueue; }
    vantry::StringSeen &ScannedNames() { return *scannedNames; }
    vantry::StringSeen &CrawledDomains() { return *crawledDomains; }
    vantry::StringSeen &WrittenNames() { return *writtenNames; }
    NameOutput &Output() { return m_output; }
    uint64_t PagesFetched() const { return m_pagesFetched; }

private:
    // Per-domain crawl budget: a site stops 4 pages after the last page that added an outbound host,
    // and after 5 pages when none did.
    struct PageBudget {
        int32_t pages = 0;
        int32_t lastCount = 0;
        int32_t maxPages = 25;
        // After a page, with the count of outbound hosts so far: whether to fetch another.
        bool AfterPage(int32_t count);
    };

    bool RunCycle();
    // Sleeps for the idle back-off in short slices; gives true when a stop was requested meanwhile.
    bool WaitIdle(uint32_t waitMs);
    void SaveStateIfDue();
    void UpdateStatus(const char *domain);

    bool TakeNextDomain(vantry::StringBuffer &domain);
    void PrepareSpider(vantry::Spider &spider, const vantry::StringBuffer &domain);
    void CrawlPages(vantry::Spider &spider, const vantry::StringBuffer &domain);
    void TakeOutboundHosts(vantry::Spider &spider, vantry::StringTable &outboundHosts);
    void QueueForCrawl(const vantry::StringBuffer &name);
    void QueueNewDomain(const vantry::StringBuffer &name);
    void QueueScanResults(const vantry::StringTable &found);
    bool ContainsExcludedSubstring(const char *text) const;

    std::unique_ptr<HarvestEnvironment> m_ownEnv;
    HarvestEnvironment &m_env;

    vantry::StringBuffer outputPath;
    vantry::ClsStringArray newDomains;
    vantry::ClsStringArray crawlQueue;
    std::unique_ptr<vantry::StringSeen> scannedNames;
    std::unique_ptr<vantry::StringSeen> crawledDomains;
    std::unique_ptr<vantry::StringSeen> writtenNames;

    NameOutput m_output;
    // The texts of the two sets that the state file keeps (the sets keep only hash values).
    vantry::StringTable m_crawledTexts;
    vantry::StringTable m_scannedTexts;
    vantry::StringBuffer m_statePath;
    uint32_t m_lastSaveTick = 0;
    uint64_t m_pagesFetched = 0;
    std::unique_ptr<StatusLine> m_status;
};

} // namespace lanternfold
