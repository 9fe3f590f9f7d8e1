// CrawlWorkers: the loop of one crawl worker.
#include "harvester/CrawlWorkers.h"

#include <vector>

#include "harvester/SharedState.h"
#include "harvester/SiteCrawl.h"
#include "harvester/StopWatch.h"

namespace lanternfold {

// Hands a crawl's outbound hosts to the shared state as each page is done.
class CrawlWorkers::Sink : public SiteCrawl::Sink {
public:
    Sink(SharedState &state, std::atomic<uint64_t> &pages) : m_state(state), m_pages(pages) {}
    void OutboundHosts(const std::vector<std::string> &hosts) override { m_state.AddOutboundHosts(hosts); }
    void PageDone(const std::string &) override { ++m_pages; }

private:
    SharedState &m_state;
    std::atomic<uint64_t> &m_pages;
};

void CrawlWorkers::Start(int count) {
    m_threads.Start(count, [this](int) { Work(); });
}

void CrawlWorkers::Work() {
    Sink sink(m_tools.state, m_pages);
    std::string domain;
    while (!m_tools.stop.Requested()) {
        if (!m_tools.state.TakeDomainToCrawl(domain)) {
            m_tools.state.WaitForWork(kIdleWaitMs);
            continue;
        }
        SiteCrawl crawl(m_tools.env, m_tools.pacer, m_tools.stop, m_tools.robots);
        crawl.SetIpGate(m_tools.ipGate);
        crawl.Crawl(domain, sink);
        // A crawl that the stop cut short counts as done: it was journalled as taken.
        m_tools.state.FinishCrawl(domain);
    }
}

} // namespace lanternfold
