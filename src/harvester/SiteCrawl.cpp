// SiteCrawl: the spider set up for one site, robots.txt read first, then the page loop with its
// budget, handing each page's outbound hosts to the sink.
#include "harvester/SiteCrawl.h"

#include <unordered_set>

#include "core/StringBuffer.h"
#include "harvester/AgentString.h"
#include "harvester/HarvestEnvironment.h"
#include "harvester/HostPacer.h"
#include "harvester/PacedFetcher.h"
#include "harvester/RobotsCache.h"
#include "harvester/StopWatch.h"
#include "spider/Spider.h"
#include "url/HostName.h"
#include "url/UrlUtil.h"

namespace lanternfold {

using namespace vantry;

SiteCrawl::SiteCrawl(HarvestEnvironment &env, HostPacer &pacer, StopWatch &stop, RobotsCache &robots)
    : m_env(env), m_pacer(pacer), m_stop(stop), m_robots(robots) {}

const char *SiteCrawl::EndText(End end) {
    switch (end) {
    case End::NoPageLeft:
        return "no page left";
    case End::FetchFailed:
        return "a fetch failed";
    case End::PageRules:
        return "page rules";
    case End::SlowPage:
        return "a slow page";
    case End::PageCap:
        return "200 pages";
    case End::TimeCap:
        return "10 minutes";
    case End::Stopped:
        return "stopped";
    }
    return "";
}

SiteCrawl::Outcome SiteCrawl::Crawl(const std::string &domain, Sink &sink) {
    PacedFetcher fetcher(m_env.NewFetcher(), m_pacer, m_env, m_stop);
    fetcher.SetIpGate(m_ipGate);
    Spider spider(fetcher);
    PrepareSpider(spider, fetcher, domain);
    ReadRobots(spider, domain);
    if (m_stop.Requested())
        return Outcome{0, End::Stopped};
    return CrawlPages(spider, fetcher, domain, sink);
}

void SiteCrawl::PrepareSpider(Spider &spider, PacedFetcher &fetcher, const std::string &domain) {
    spider.Initialize(domain.c_str(), false, false, false);
    spider.SetMatchSiteByHost(true);
    const std::string home = "http://" + domain + "/";
    spider.AddUnspidered(home.c_str());
    spider.SetFetchFromCache(false);
    spider.SetUpdateCache(false);
    spider.SetObeyRobots(true);
    spider.SetUseRobotsRules(true);
    spider.SetAvoidQueryStrings(true);
    spider.SetSkipHttps(false);
    spider.SetMaxQueued(kMaxQueuedUrls);
    spider.SetMaxSeenUrls(kMaxSeenUrls);
    StringBuffer agent;
    DecodeAgentString(agent);
    spider.SetUserAgent(agent.Text());
    fetcher.SetMaxContentLength(kMaxPageBytes);
}

void SiteCrawl::ReadRobots(Spider &spider, const std::string &domain) {
    int status = 0;
    std::string text;
    if (m_robots.Find(domain, m_env.TickCount(), status, text)) {
        spider.SetKnownRobots(status, text.c_str());
    } else {
        spider.RobotsRulesInForce(); // fetched now, before any page
        StringBuffer body;
        // A fetch that a stop cut short says nothing about the site: not kept.
        if (spider.GetRobotsOutcome(status, body) && !m_stop.Requested())
            m_robots.Store(domain, status, body.View(), m_env.TickCount());
    }
    const RobotsRules &rules = spider.RobotsRulesInForce();
    if (rules.HasCrawlDelay()) {
        const double ms = rules.CrawlDelaySeconds() * 1000.0;
        const uint32_t delay =
            ms >= HostPacer::kLongestHostDelayMs ? HostPacer::kLongestHostDelayMs : static_cast<uint32_t>(ms);
        // Both spellings: the site's pages may be served under either.
        m_pacer.SetHostDelay(domain, delay);
        m_pacer.SetHostDelay(
            SiteKey(domain).size() != domain.size() ? std::string(SiteKey(domain)) : "www." + domain, delay);
    }
}

SiteCrawl::Outcome SiteCrawl::CrawlPages(Spider &spider, PacedFetcher &fetcher, const std::string &domain,
                                         Sink &sink) {
    Outcome outcome;
    PageBudget budget;
    int32_t hostCount = 0;
    const uint32_t start = m_env.TickCount();
    StringBuffer page;
    for (;;) {
        if (spider.UnspideredCount() == 0) {
            outcome.end = End::NoPageLeft;
            break;
        }
        if (m_stop.Requested()) {
            outcome.end = End::Stopped;
            break;
        }
        fetcher.ResetWaited();
        const uint32_t t0 = m_env.TickCount();
        if (!spider.CrawlNext(page)) {
            outcome.end = fetcher.Stopped() ? End::Stopped : End::FetchFailed;
            break;
        }
        ++budget.pages;
        ++outcome.pages;
        hostCount += TakeOutboundHosts(spider, sink);
        spider.ClearOutboundLinks();
        sink.PageDone(domain);
        // The fetch and the link work together; time spent waiting for the host's turn does not count.
        const uint32_t now = m_env.TickCount();
        const uint32_t spent = now - t0;
        if (spent - (fetcher.WaitedMs() < spent ? fetcher.WaitedMs() : spent) > kSlowPageMs) {
            outcome.end = End::SlowPage;
            break;
        }
        if (!budget.AfterPage(hostCount)) {
            outcome.end = End::PageRules;
            break;
        }
        if (outcome.pages >= kMaxPages) {
            outcome.end = End::PageCap;
            break;
        }
        if (now - start >= kMaxCrawlMs) {
            outcome.end = End::TimeCap;
            break;
        }
    }
    return outcome;
}

bool SiteCrawl::PageBudget::AfterPage(int32_t count) {
    if (count > lastCount)
        maxPages = pages + 4;
    else if (pages > 4 && count == 0)
        return false;
    lastCount = count;
    return pages < maxPages;
}

int32_t SiteCrawl::TakeOutboundHosts(Spider &spider, Sink &sink) {
    std::vector<std::string> hosts;
    std::unordered_set<std::string> onPage;
    int32_t counted = 0;
    StringBuffer link, host;
    for (int32_t i = 0; spider.GetOutboundLink(i, link); ++i) {
        GetUrlHost(link.Text(), host);
        AddWwwToBareDomain(host);
        host.ToLower();
        if (!NormalizeHostName(host))
            continue;
        ++counted;
        std::string name(host.View());
        if (onPage.insert(name).second)
            hosts.push_back(std::move(name));
    }
    if (!hosts.empty())
        sink.OutboundHosts(hosts);
    return counted;
}

} // namespace lanternfold
