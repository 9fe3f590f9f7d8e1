// Harvester: the run loop and its steps (seed harvest, promotion, flush with the address scan, the
// per-domain crawl with its page budget), the guarded appends to the queues, and the saved state.
#include "harvester/Harvester.h"

#include <cstring>
#include <string>

#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/StringSeen.h"
#include "harvester/AddressScanner.h"
#include "harvester/StateFile.h"
#include "harvester/StatusLine.h"
#include "spider/ClsHtmlUtil.h"
#include "spider/PageFetcher.h"
#include "spider/SiteValues.h"
#include "spider/Spider.h"
#include "url/KnownTlds.h"
#include "url/UrlUtil.h"

namespace lanternfold {

using namespace vantry;

namespace {

constexpr uint32_t kSmallSetBuckets = 51001;
constexpr uint32_t kWrittenSetBuckets = 531001;
constexpr int32_t kQueueCap = 1000;
constexpr int32_t kSeedRefillBelow = 10;
constexpr uint32_t kSlowPageMs = 3000;
constexpr uint32_t kStateSaveIntervalMs = 60000;
constexpr uint32_t kIdleFirstWaitMs = 1000;
constexpr uint32_t kIdleLongestWaitMs = 60000;
constexpr uint32_t kStopCheckSliceMs = 250;

// The first run of '/' characters is followed by a decimal digit (a numeric host after "//").
bool DigitAfterFirstSlashes(const char *text) {
    const char *slash = std::strchr(text, '/');
    if (slash == nullptr)
        return false;
    while (*slash == '/')
        ++slash;
    return *slash >= '0' && *slash <= '9';
}

void TableToVector(const StringTable &table, std::vector<std::string> &out) {
    StringBuffer s;
    for (int32_t i = 0; i < table.Count(); ++i)
        if (table.GetString(i, s))
            out.emplace_back(s.Text());
}

} // namespace

Harvester::Harvester() : Harvester(*new HarvestEnvironment) {
    m_ownEnv.reset(&m_env);
}

Harvester::Harvester(HarvestEnvironment &env)
    : m_env(env), scannedNames(std::make_unique<StringSeen>(kSmallSetBuckets)),
      crawledDomains(std::make_unique<StringSeen>(kSmallSetBuckets)),
      writtenNames(std::make_unique<StringSeen>(kWrittenSetBuckets)), m_output(*writtenNames) {
    newDomains.SetUnique(true);
    crawlQueue.SetUnique(true);
}

Harvester::~Harvester() = default;

void Harvester::DecodeAgentString(StringBuffer &out) {
    out.Clear();
    ContentCoding coding;
    DataBuffer bytes;
    const char *stored = sitevalues::kAgentStringBase64;
    if (coding.DecodeBase64(stored, static_cast<uint32_t>(std::strlen(stored)), bytes))
        out.AppendData(bytes);
}

// ---- the run loop ----

void Harvester::Run(const char *path) {
    Start(path);
    HarvestSeeds();
    uint32_t idleWaitMs = kIdleFirstWaitMs;
    for (;;) {
        const bool worked = RunCycle();
        SaveStateIfDue();
        UpdateStatus(nullptr);
        if (m_env.StopRequested())
            break;
        if (worked) {
            idleWaitMs = kIdleFirstWaitMs;
            continue;
        }
        // A cycle without work (no seed page, nothing to crawl) waits before the next, longer each time.
        if (WaitIdle(idleWaitMs))
            break;
        idleWaitMs = idleWaitMs * 2 > kIdleLongestWaitMs ? kIdleLongestWaitMs : idleWaitMs * 2;
    }
    SaveState();
    m_status->Finish();
}

void Harvester::Start(const char *path) {
    outputPath.SetString(path != nullptr ? path : "");
    m_output.SetPath(outputPath.Text());
    m_output.LoadWrittenNames();
    m_statePath.SetBuffer(outputPath);
    m_statePath.Append(".state");
    LoadState();
    m_lastSaveTick = m_env.TickCount();
    m_status = std::make_unique<StatusLine>(m_env);
}

bool Harvester::RunCycle() {
    bool worked = false;
    if (newDomains.Count() < kSeedRefillBelow) {
        worked = HarvestSeeds();
        PromoteNewDomains();
    }
    FlushNewDomains();
    if (CrawlNextDomain())
        worked = true;
    m_output.WritePending();
    return worked;
}

bool Harvester::WaitIdle(uint32_t waitMs) {
    for (uint32_t slept = 0; slept < waitMs; slept += kStopCheckSliceMs) {
        m_env.SleepMs(kStopCheckSliceMs);
        if (m_env.StopRequested())
            return true;
    }
    return false;
}

void Harvester::SaveStateIfDue() {
    if (m_env.TickCount() - m_lastSaveTick >= kStateSaveIntervalMs)
        SaveState();
}

void Harvester::UpdateStatus(const char *domain) {
    if (m_status)
        m_status->Update(m_output.LoadedCount() + m_output.WrittenCount(), crawlQueue.Count(), domain,
                         m_pagesFetched);
}

// ---- seed pages ----

std::unique_ptr<PageFetcher> Harvester::MakeSeedFetcher() {
    std::unique_ptr<PageFetcher> fetcher = m_env.NewFetcher();
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
    std::unique_ptr<PageFetcher> fetcher = MakeSeedFetcher();
    if (m_env.TickCount() & 1u)
        fetcher->SetMimicFirefox(true);
    else
        fetcher->SetMimicIE(true);

    StringBuffer url("http://");
    if (firstTick & 1u) {
        url.Append(sitevalues::kFirstSeedHost);
        url.Append(sitevalues::kFirstSeedPath);
    } else {
        url.Append(sitevalues::kSecondSeedHost);
        url.Append("/");
    }
    StringBuffer page;
    if (!fetcher->QuickGetHtml(url.Text(), page))
        return false;

    ClsHtmlUtil html;
    ClsStringArray links;
    html.GetHttpLinks(page.Text(), links);
    StringBuffer link, host;
    for (int32_t i = 0; links.GetString(i, link); ++i) {
        if (!PassesSeedLinkTest(link.Text()))
            continue;
        GetUrlHost(link.Text(), host);
        if (HasKnownTld(host.Text()) && !scannedNames->Contains(host))
            newDomains.Append(host.Text());
    }
    return true;
}

bool Harvester::ContainsExcludedSubstring(const char *text) const {
    for (const char *excluded : sitevalues::kExcludedSubstrings)
        if (FindNoCase(text, excluded) != nullptr)
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

// ---- queues and the output ----

void Harvester::PromoteNewDomains() {
    if (crawlQueue.Count() > kQueueCap)
        return;
    StringBuffer name;
    for (int32_t i = 0; newDomains.GetString(i, name); ++i)
        if (!crawledDomains->Contains(name) && IsCrawlableDomain(name.Text()))
            crawlQueue.Append(name.Text());
}

void Harvester::RecordDomain(const char *name) {
    if (name == nullptr || !HasKnownTld(name))
        return;
    m_output.Write(name); // written once, and kept until the file can take it
}

void Harvester::FlushNewDomains() {
    if (newDomains.Count() == 0)
        return;
    StringBuffer name;
    for (int32_t i = 0; newDomains.GetString(i, name); ++i)
        if (HasKnownTld(name.Text()))
            m_output.Write(name.Text());

    // The scan writes nothing itself: its names go through the output here, so that they too are
    // written once and never lost.
    AddressScanner scanner(m_env.Lookups());
    scanner.maxMisses = 20;
    scanner.quickScan = false;
    StringTable found;
    scanner.ScanDomains(newDomains, *scannedNames, &found, nullptr);
    for (int32_t i = 0; found.GetString(i, name); ++i) {
        m_scannedTexts.Append(name.Text());
        if (HasKnownTld(name.Text()))
            m_output.Write(name.Text());
    }
    QueueScanResults(found);
    newDomains.Clear();
}

void Harvester::QueueScanResults(const StringTable &found) {
    if (crawlQueue.Count() >= kQueueCap)
        return;
    StringBuffer name;
    for (int32_t i = 0; found.GetString(i, name); ++i) {
        if (!crawledDomains->Contains(name) && IsCrawlableDomain(name.Text()))
            crawlQueue.Append(name.Text());
        if (crawlQueue.Count() >= kQueueCap)
            return;
    }
}

void Harvester::QueueForCrawl(const StringBuffer &name) {
    if (crawlQueue.Count() < kQueueCap && !crawledDomains->Contains(name) && IsCrawlableDomain(name.Text()))
        crawlQueue.Append(name.Text());
}

void Harvester::QueueNewDomain(const StringBuffer &name) {
    if (!scannedNames->Contains(name))
        newDomains.Append(name.Text());
}

// ---- the crawl of one domain ----

bool Harvester::CrawlNextDomain() {
    StringBuffer domain;
    if (!TakeNextDomain(domain))
        return false;
    std::unique_ptr<PageFetcher> fetcher = m_env.NewFetcher();
    Spider spider(*fetcher);
    PrepareSpider(spider, domain);
    CrawlPages(spider, domain);
    return true;
}

bool Harvester::TakeNextDomain(StringBuffer &domain) {
    if (crawlQueue.Count() == 0)
        return false;
    crawlQueue.GetString(0, domain);
    crawlQueue.RemoveAt(0);
    crawledDomains->Add(domain);
    m_crawledTexts.Append(domain.Text());
    return true;
}

void Harvester::PrepareSpider(Spider &spider, const StringBuffer &domain) {
    spider.Initialize(domain.Text(), false, false, false);
    StringBuffer home("http://");
    home.AppendBuffer(domain);
    home.Append("/");
    spider.AddUnspidered(home.Text());
    spider.SetFetchFromCache(false);
    spider.SetUpdateCache(false);
    spider.SetObeyRobots(true);
    spider.SetAvoidQueryStrings(true);
    StringBuffer agent;
    DecodeAgentString(agent);
    spider.SetUserAgent(agent.Text());
}

void Harvester::CrawlPages(Spider &spider, const StringBuffer &domain) {
    PageBudget budget;
    StringTable outboundHosts;
    StringBuffer page;
    while (spider.UnspideredCount() > 0) {
        const uint32_t t0 = m_env.TickCount();
        if (!spider.CrawlNext(page))
            break;
        ++budget.pages;
        ++m_pagesFetched;
        TakeOutboundHosts(spider, outboundHosts);
        spider.ClearOutboundLinks();
        UpdateStatus(domain.Text());
        if (m_env.TickCount() - t0 > kSlowPageMs)
            break;
        if (!budget.AfterPage(outboundHosts.Count()))
            break;
    }
}

bool Harvester::PageBudget::AfterPage(int32_t count) {
    if (count > lastCount)
        maxPages = pages + 4;
    else if (pages > 4 && count == 0)
        return false;
    lastCount = count;
    return pages < maxPages;
}

void Harvester::TakeOutboundHosts(Spider &spider, StringTable &outboundHosts) {
    StringBuffer link, host;
    for (int32_t i = 0; spider.GetOutboundLink(i, link); ++i) {
        GetUrlHost(link.Text(), host);
        AddWwwToBareDomain(host);
        host.ToLower();
        outboundHosts.Append(host.Text());
        if (host.Length() == 0)
            continue;
        RecordDomain(host.Text());
        QueueNewDomain(host);
        QueueForCrawl(host);
    }
}

// ---- the saved state ----

bool Harvester::SaveState() {
    m_lastSaveTick = m_env.TickCount();
    if (m_statePath.Length() == 0)
        return false;
    HarvestState state;
    StringBuffer name;
    for (int32_t i = 0; crawlQueue.GetString(i, name); ++i)
        state.crawlQueue.emplace_back(name.Text());
    TableToVector(m_crawledTexts, state.crawledDomains);
    TableToVector(m_scannedTexts, state.scannedNames);
    return StateFile::Save(m_statePath.Text(), state);
}

bool Harvester::LoadState() {
    HarvestState state;
    std::string reason;
    if (!StateFile::Load(m_statePath.Text(), state, reason)) {
        std::string line =
            "lanternfold: state file " + std::string(m_statePath.Text()) + " ignored (" + reason + ")\n";
        m_env.WriteStdErr(line.c_str());
        return false;
    }
    for (const std::string &name : state.crawledDomains) {
        crawledDomains->Add(name.data(), name.size());
        m_crawledTexts.Append(name.c_str());
    }
    for (const std::string &name : state.scannedNames) {
        scannedNames->Add(name.data(), name.size());
        m_scannedTexts.Append(name.c_str());
    }
    for (const std::string &name : state.crawlQueue)
        if (!crawledDomains->Contains(name.data(), name.size()))
            crawlQueue.Append(name.c_str());
    return true;
}

} // namespace lanternfold
