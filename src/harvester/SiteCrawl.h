// SiteCrawl: the crawl of one domain's site, the step a crawl worker runs. It needs only the domain,
// the environment (fetchers, clock, stop) and the shared host pacer (and robots cache); it hands the
// hosts of each page's outbound links to its sink as the page is done and tells at the end how the
// crawl went. The site is the domain and its www/bare twin over http and https; robots.txt is read
// by RFC 9309 and its Crawl-delay paces the site. The crawl ends by the page rules (five pages
// without an outbound host, else four after the last page that added one; a page whose fetch took
// over 3 s), after 200 pages or 10 minutes, when the site has no page left, a fetch fails, or a stop
// is asked for.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantry {
class Spider;
} // namespace vantry

namespace lanternfold {

class HarvestEnvironment;
class HostPacer;
class IpGate;
class PacedFetcher;
class RobotsCache;
class StopWatch;

class SiteCrawl {
public:
    static constexpr int32_t kMaxPages = 200;
    static constexpr uint32_t kMaxCrawlMs = 10 * 60 * 1000;
    static constexpr uint32_t kSlowPageMs = 3000;
    // Bounds on one crawl's memory: URLs waiting, links remembered as sorted, bytes of a page.
    static constexpr int32_t kMaxQueuedUrls = 1000;
    static constexpr int32_t kMaxSeenUrls = 20000;
    static constexpr int kMaxPageBytes = 1 << 20;

    class Sink {
    public:
        virtual ~Sink() = default;
        // The hosts of one page's outbound links: lower case, "www." put before a bare name, each a
        // valid host name, each once per page, in page order.
        virtual void OutboundHosts(const std::vector<std::string> &hosts) = 0;
        // Called after each page fetched (for a status display).
        virtual void PageDone(const std::string &) {}
    };

    enum class End { NoPageLeft, FetchFailed, PageRules, SlowPage, PageCap, TimeCap, Stopped };
    struct Outcome {
        int32_t pages = 0;
        End end = End::NoPageLeft;
    };

    SiteCrawl(HarvestEnvironment &env, HostPacer &pacer, StopWatch &stop, RobotsCache &robots);

    // Limits the crawl's requests per IP address too (not owned; crawl workers share one).
    void SetIpGate(IpGate *gate) { m_ipGate = gate; }
    Outcome Crawl(const std::string &domain, Sink &sink);
    static const char *EndText(End end);

private:
    // Per-domain page rules: a site stops 4 pages after the last page that added an outbound host,
    // and after 5 pages when none did.
    struct PageBudget {
        int32_t pages = 0;
        int32_t lastCount = 0;
        int32_t maxPages = 25;
        // After a page, with the count of outbound hosts so far: whether to fetch another.
        bool AfterPage(int32_t count);
    };

    void PrepareSpider(vantry::Spider &spider, PacedFetcher &fetcher, const std::string &domain);
    // robots.txt from the cache or fetched now, and its Crawl-delay given to the pacer.
    void ReadRobots(vantry::Spider &spider, const std::string &domain);
    Outcome CrawlPages(vantry::Spider &spider, PacedFetcher &fetcher, const std::string &domain, Sink &sink);
    // The outbound hosts of the page just crawled; gives how many it appended to the crawl's count.
    int32_t TakeOutboundHosts(vantry::Spider &spider, Sink &sink);

    HarvestEnvironment &m_env;
    HostPacer &m_pacer;
    StopWatch &m_stop;
    RobotsCache &m_robots;
    IpGate *m_ipGate = nullptr;
};

} // namespace lanternfold
