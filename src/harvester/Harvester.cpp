// Harvester: the run loop and its steps (seed pages on their schedule, the walks of new names, the
// crawl of one site per cycle), the parallel run over workers, the seed-link and crawlable-name tests,
// and the lines for the user.
#include "harvester/Harvester.h"

#include <cstring>
#include <unordered_set>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "harvester/AddressScanner.h"
#include "harvester/AgentString.h"
#include "harvester/CrawlWorkers.h"
#include "harvester/IpGate.h"
#include "harvester/PacedFetcher.h"
#include "harvester/SiteCrawl.h"
#include "harvester/StatusLine.h"
#include "harvester/WalkPool.h"
#include "harvester/WorkerThreads.h"
#include "spider/ClsHtmlUtil.h"
#include "spider/SiteValues.h"
#include "spider/Spider.h"
#include "url/KnownTlds.h"
#include "url/UrlUtil.h"

namespace lanternfold {

using namespace vantry;

namespace {

// The first run of '/' characters is followed by a decimal digit (a numeric host after "//").
bool DigitAfterFirstSlashes(const char *text) {
    const char *slash = std::strchr(text, '/');
    if (slash == nullptr)
        return false;
    while (*slash == '/')
        ++slash;
    return *slash >= '0' && *slash <= '9';
}

std::string Minutes(uint32_t ms) {
    const uint32_t minutes = (ms + 59999) / 60000;
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

} // namespace

// Hands a crawl's outbound hosts to the state as each page is done.
class Harvester::CrawlSink : public SiteCrawl::Sink {
public:
    explicit CrawlSink(Harvester &h) : m_h(h) {}
    void OutboundHosts(const std::vector<std::string> &hosts) override {
        m_h.m_state.AddOutboundHosts(hosts);
    }
    void PageDone(const std::string &domain) override {
        ++m_h.m_pagesFetched;
        m_h.UpdateStatus(domain.c_str());
        m_h.m_state.Maintain(m_h.m_env.TickCount());
    }

private:
    Harvester &m_h;
};

// The names of one walk: a name scanned before or met earlier in this walk ends a direction; the new
// ones are gathered and handed to the state when the walk is done.
class Harvester::WalkNames : public AddressScanner::Names {
public:
    explicit WalkNames(const HarvestState &state) : m_state(state) {}
    bool Known(const StringBuffer &name) override {
        return m_state.IsScanned(name.View()) || m_met.count(std::string(name.View())) != 0;
    }
    void Found(const StringBuffer &name) override {
        if (m_met.insert(std::string(name.View())).second)
            m_found.emplace_back(name.View());
    }
    const std::vector<std::string> &FoundNames() const { return m_found; }

private:
    const HarvestState &m_state;
    std::unordered_set<std::string> m_met;
    std::vector<std::string> m_found;
};

Harvester::Harvester(HarvestSettings settings) : Harvester(*new HarvestEnvironment, std::move(settings)) {
    m_ownEnv.reset(&m_env);
}

Harvester::Harvester(HarvestEnvironment &env, HarvestSettings settings)
    : m_env(env), m_settings(std::move(settings)), m_stop(env), m_pacer(m_settings.hostSpacingMs),
      m_seeds(m_settings.seeds.empty() ? BuiltInSeeds() : m_settings.seeds),
      m_state([this](const char *name) { return IsCrawlableDomain(name); },
              [this](const std::string &line) { Report(line); }),
      m_shared(m_state) {
    for (const char *excluded : sitevalues::kExcludedSubstrings)
        m_excluded.emplace_back(excluded);
    if (!m_settings.seeds.empty())
        ExcludeSeedSites();
}

Harvester::~Harvester() = default;

std::vector<std::string> Harvester::BuiltInSeeds() {
    return {std::string("http://") + sitevalues::kFirstSeedHost + sitevalues::kFirstSeedPath,
            std::string("http://") + sitevalues::kSecondSeedHost + "/"};
}

// A seed site is a listing, not a find: its own domain is never harvested or crawled.
void Harvester::ExcludeSeedSites() {
    StringBuffer host, base;
    for (size_t i = 0; i < m_seeds.Count(); ++i) {
        GetUrlHost(m_seeds.Url(i).c_str(), host);
        GetBaseDomain(host.Text(), base);
        if (base.Length() != 0)
            m_excluded.emplace_back(base.View());
    }
}

void Harvester::DecodeAgentString(StringBuffer &out) {
    lanternfold::DecodeAgentString(out);
}

void Harvester::Report(const std::string &line) {
    std::lock_guard<std::mutex> lock(m_reportMutex);
    if (m_status)
        m_status->ClearForReport();
    const std::string text = "lanternfold: " + line + "\n";
    m_env.WriteStdErr(text.c_str());
}

// ---- the run loop ----

void Harvester::Run(const char *path) {
    Start(path);
    if (m_settings.workers > 1)
        RunParallel();
    else
        RunLoop();
    Finish();
}

void Harvester::RunLoop() {
    uint32_t idleWaitMs = kIdleFirstWaitMs;
    uint32_t reportedWaitMs = 0;
    for (;;) {
        if (m_stop.Requested())
            break;
        const bool worked = RunCycle();
        UpdateStatus(nullptr);
        if (m_stop.Requested())
            break;
        if (worked) {
            idleWaitMs = kIdleFirstWaitMs;
            reportedWaitMs = 0;
            continue;
        }
        // A cycle that crawled nothing and found nothing new waits before the next, longer each time.
        if (idleWaitMs != reportedWaitMs) {
            Report("nothing new to do; next look in " + std::to_string(idleWaitMs / 1000) + " s");
            reportedWaitMs = idleWaitMs;
        }
        if (WaitIdle(idleWaitMs))
            break;
        idleWaitMs = idleWaitMs * 2 > kIdleLongestWaitMs ? kIdleLongestWaitMs : idleWaitMs * 2;
    }
}

// The workers, the walkers and the seed pages on threads of their own (the seed pages when they are due
// and the walk queue runs low); this thread keeps the files synced and the status line current and
// watches the stop, so that no name lookup of any step can hold up the stop.
void Harvester::RunParallel() {
    AddressScanner::Lookups &lookups = m_env.Lookups();
    m_ipGate = std::make_unique<IpGate>([&lookups](const std::string &host, std::string &address) {
        StringBuffer dotted;
        if (!lookups.ForwardLookup(host.c_str(), dotted))
            return false;
        address.assign(dotted.View());
        return true;
    });
    Report("running " + std::to_string(m_settings.workers) + " crawl workers and " +
           std::to_string(m_settings.lookups) + " name lookups at once");
    auto crawls = std::make_unique<CrawlWorkers>(
        CrawlWorkers::Tools{m_env, m_pacer, m_stop, m_robots, m_ipGate.get(), m_shared});
    auto walks = std::make_unique<WalkPool>(lookups, m_stop, m_shared);
    auto seeds = std::make_unique<WorkerThreads>();
    walks->Start(m_settings.lookups);
    crawls->Start(m_settings.workers);
    seeds->Start(1, [this](int) {
        while (!m_stop.Requested()) {
            m_seedFetching = true;
            if (m_shared.Read().walkQueue < kSeedRefillBelow)
                HarvestSeeds();
            m_seedFetching = false;
            m_seedRoundDone = true;
            m_env.SleepMs(kStopCheckSliceMs);
        }
    });
    bool quietReported = false;
    while (!m_stop.Requested()) {
        m_shared.Maintain(m_env.TickCount());
        m_pagesFetched = crawls->PagesFetched();
        // The status line's "crawling" field: how many sites the workers have in hand.
        UpdateStatus((std::to_string(m_shared.Read().crawlsRunning) + " sites").c_str());
        const bool quiet = m_seedRoundDone && !m_seedFetching && m_shared.Quiet() && !m_stop.Requested();
        if (quiet && !quietReported)
            Report("nothing queued or running; waiting for the next seed fetch");
        quietReported = quiet;
        m_env.SleepMs(kStopCheckSliceMs);
    }
    // Every loop sees the stop within its next check; fetches waiting on the network are aborted.
    const uint32_t stopSeen = m_env.TickCount();
    const bool crawlsEnded = crawls->End(kThreadsEndWaitMs);
    const uint32_t spent = m_env.TickCount() - stopSeen;
    const bool walksEnded = walks->End(spent < kThreadsEndWaitMs ? kThreadsEndWaitMs - spent : 0);
    const uint32_t spentAll = m_env.TickCount() - stopSeen;
    const bool seedsEnded = seeds->End(spentAll < kThreadsEndWaitMs ? kThreadsEndWaitMs - spentAll : 0);
    m_pagesFetched = crawls->PagesFetched();
    if (crawlsEnded && walksEnded && seedsEnded)
        return;
    // Threads held in a system name lookup: the state is saved without them (SharedState ignores
    // whatever they hand over after Close), and the pools are kept alive for them, as is the harvester
    // (the caller exits the process without destroying it).
    m_threadsLeft = 1;
    Report("a few workers are held in name lookups; the state is saved without them");
    crawls.release();
    walks.release();
    seeds.release();
}

void Harvester::Start(const char *path) {
    m_outputPath = path != nullptr ? path : "";
    if (m_env.RemoveStaleStopFile())
        Report("stop.txt was present at start, left from an earlier stop; removed it");
    Report("names go to " + m_outputPath + "; the state is kept in " + m_outputPath + ".journal");
    Report("https sites are fetched without checking their certificates: only host names are taken from "
           "them, and nothing secret is sent");
    m_state.Open(m_outputPath, m_env.TickCount());
    m_status = std::make_unique<StatusLine>(m_env);
    m_started = true;
}

void Harvester::Finish() {
    if (!m_started)
        return;
    m_started = false;
    const std::string why = m_stop.Reason();
    Report("stopping: " + (why.empty() ? std::string("the run ended") : why));
    m_shared.Close();
    Report("state saved in " + m_state.JournalPath() + " (" + std::to_string(m_state.NamesInOutput()) +
           " names in the output, " + std::to_string(m_state.DomainsCrawled()) + " domains crawled, " +
           std::to_string(m_state.CrawlQueueLength()) + " queued for a crawl)");
    if (m_status)
        m_status->Finish();
}

bool Harvester::RunCycle() {
    const uint64_t before = m_state.Discoveries();
    if (m_state.WalkQueueLength() < kSeedRefillBelow && !m_stop.Requested())
        HarvestSeeds();
    if (!m_stop.Requested())
        FlushNewDomains();
    const bool crawled = !m_stop.Requested() && CrawlNextDomain();
    m_state.Maintain(m_env.TickCount());
    return crawled || m_state.Discoveries() != before;
}

bool Harvester::WaitIdle(uint32_t waitMs) {
    for (uint32_t slept = 0; slept < waitMs; slept += kStopCheckSliceMs) {
        m_env.SleepMs(kStopCheckSliceMs);
        if (m_stop.Requested())
            return true;
    }
    m_state.Maintain(m_env.TickCount());
    return false;
}

void Harvester::UpdateStatus(const char *domain) {
    if (!m_status)
        return;
    const SharedState::Figures figures = m_shared.Read();
    std::lock_guard<std::mutex> lock(m_reportMutex);
    m_status->Update(figures.namesInOutput, figures.crawlQueue, domain, m_pagesFetched.load());
}

// ---- seed pages ----

std::unique_ptr<PacedFetcher> Harvester::MakeSeedFetcher() {
    auto fetcher = std::make_unique<PacedFetcher>(m_env.NewFetcher(), m_pacer, m_env, m_stop);
    StringBuffer agent;
    DecodeAgentString(agent);
    fetcher->SetUseHttpCache(true);
    fetcher->SetFetchFromCache(false);
    fetcher->SetUpdateCache(false);
    fetcher->SetMaxConnections(5);
    fetcher->SetUserAgent(agent.Text());
    fetcher->SetMaxContentLength(250000);
    fetcher->SetConnectTimeout(5);
    fetcher->SetReadTimeout(8);
    fetcher->SetMaxUrlLen(Spider::kCrawlMaxUrlLen);
    fetcher->SetRefuseMediaExtensions(true);
    return fetcher;
}

bool Harvester::HarvestSeeds() {
    const uint32_t firstTick = m_env.TickCount();
    const int index = m_seeds.PickDue(firstTick);
    if (index < 0)
        return false;
    std::unique_ptr<PacedFetcher> fetcher = MakeSeedFetcher();
    fetcher->SetIpGate(m_ipGate.get());
    if (m_env.TickCount() & 1u)
        fetcher->SetMimicFirefox(true);
    else
        fetcher->SetMimicIE(true);

    const std::string &url = m_seeds.Url(static_cast<size_t>(index));
    StringBuffer page;
    const bool fetched = fetcher->QuickGetHtml(url.c_str(), page);
    if (!fetched && fetcher->Stopped())
        return false; // cut short by the stop: not held against the seed
    const uint32_t wait = m_seeds.Fetched(static_cast<size_t>(index), fetched, m_env.TickCount());
    if (!fetched) {
        Report("seed " + url + " could not be fetched; next try in " + Minutes(wait));
        return false;
    }

    ClsHtmlUtil html;
    ClsStringArray links;
    html.GetHttpLinks(page.Text(), links);
    std::vector<std::string> hosts;
    StringBuffer link, host;
    for (int32_t i = 0; links.GetString(i, link); ++i) {
        if (!PassesSeedLinkTest(link.Text()))
            continue;
        GetUrlHost(link.Text(), host);
        if (HasKnownTld(host.Text()) && !m_shared.IsScanned(host.View()))
            hosts.emplace_back(host.View());
    }
    const uint64_t before = m_shared.Read().discoveries;
    m_shared.AddSeedHosts(hosts);
    Report("seed " + url + " fetched: " + std::to_string(links.Count()) + " links, " +
           (m_shared.Read().discoveries != before ? "new names found" : "nothing new") + "; next fetch in " +
           Minutes(wait));
    return true;
}

bool Harvester::ContainsExcludedSubstring(const char *text) const {
    for (const std::string &excluded : m_excluded)
        if (FindNoCase(text, excluded.c_str()) != nullptr)
            return true;
    return false;
}

bool Harvester::PassesSeedLinkTest(const char *link) const {
    if (link == nullptr || ContainsExcludedSubstring(link) || std::strchr(link, '.') == nullptr)
        return false;
    return !DigitAfterFirstSlashes(link);
}

bool Harvester::IsCrawlableDomain(const char *name) const {
    if (name == nullptr || ContainsExcludedSubstring(name) || std::strchr(name, '.') == nullptr)
        return false;
    if (DigitAfterFirstSlashes(name))
        return false;
    return HasKnownTld(name);
}

// ---- the walks and the crawl ----

void Harvester::FlushNewDomains() {
    AddressScanner scanner(m_env.Lookups());
    scanner.maxMisses = 20;
    scanner.quickScan = false;
    scanner.SetStopCheck([this] { return m_stop.Requested(); });
    std::string name;
    while (!m_stop.Requested() && m_state.TakeNameToWalk(name)) {
        WalkNames names(m_state);
        scanner.WalkFrom(name.c_str(), names);
        // A walk that the stop cut short leaves no trace: the next start walks it again, whole.
        if (m_stop.Requested())
            break;
        m_state.FinishWalk(name, names.FoundNames());
        m_state.Maintain(m_env.TickCount());
    }
}

bool Harvester::CrawlNextDomain() {
    std::string domain;
    if (!m_state.TakeDomainToCrawl(domain))
        return false;
    UpdateStatus(domain.c_str());
    SiteCrawl crawl(m_env, m_pacer, m_stop, m_robots);
    CrawlSink sink(*this);
    crawl.Crawl(domain, sink);
    m_state.FinishCrawl(domain);
    return true;
}

} // namespace lanternfold
