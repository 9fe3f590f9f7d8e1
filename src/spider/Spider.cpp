// Spider: its state, the crawl step and the accessors; robots exclusion is in Robots.cpp and the
// sorting of a page's links in LinkSorting.cpp.
#include "spider/Spider.h"

#include "core/HashMap.h"
#include "spider/HttpManFetcher.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

constexpr uint32_t kSeenUrlBuckets = 19997;

bool CopyEntry(const ExtPtrArray &list, int32_t index, StringBuffer &out) {
    out.Clear();
    const StringBuffer *entry = list.ElementAs<StringBuffer>(index);
    if (entry == nullptr)
        return false;
    out.SetBuffer(*entry);
    return true;
}

void AppendCopy(ExtPtrArray &list, const char *text) {
    list.Append(new StringBuffer(text));
}

} // namespace

Spider::Spider()
    : m_ownFetcher(std::make_unique<HttpManFetcher>()), http(m_ownFetcher.get()),
      seenUrls(std::make_unique<HashMap>(kSeenUrlBuckets)) {
    ConfigureFacade();
}

Spider::Spider(PageFetcher &fetcher) : http(&fetcher), seenUrls(std::make_unique<HashMap>(kSeenUrlBuckets)) {
    ConfigureFacade();
}

Spider::~Spider() = default;

void Spider::ConfigureFacade() {
    http->SetUseHttpCache(true);
    http->SetReadTimeout(10);
    http->SetConnectTimeout(10);
    http->SetFollowRedirects(true);
    http->SetMaxUrlLen(kCrawlMaxUrlLen);
    http->SetRefuseMediaExtensions(true);
    http->SetRequireVerifiedServer(false); // public pages for their links; no secrets are sent
}

void Spider::Initialize(const char *newDomain, bool clearAvoid, bool clearMustMatch,
                        bool clearAvoidOutbound) {
    domain.SetString(newDomain != nullptr ? newDomain : "");
    if (clearMustMatch)
        mustMatchPatterns.RemoveAllAndDelete();
    if (clearAvoid)
        avoidPatterns.RemoveAllAndDelete();
    if (clearAvoidOutbound)
        avoidOutboundPatterns.RemoveAllAndDelete();
    outbound.RemoveAllAndDelete();
    spidered.RemoveAllAndDelete();
    unspidered.RemoveAllAndDelete();
    failed.RemoveAllAndDelete();
    seenUrls = std::make_unique<HashMap>(kSeenUrlBuckets);
    robotsFetched = false;
}

bool Spider::AddUnspidered(const char *url) {
    if (url == nullptr)
        return false;
    StringBuffer host;
    if (domain.Length() == 0) {
        GetUrlHost(url, host);
        domain.SetBuffer(host);
    }
    GetUrlHost(url, host);
    host.Trim();
    if (host.Length() != 0 && !host.ContainsNoCase(domain.Text()))
        return false;
    AppendCopy(unspidered, url);
    return true;
}

// One page: robots.txt first (once per domain), then the oldest queued URL (that RobotsRules, when
// used, allow) is fetched and its links sorted; a redirect to another site gives only its target
// as an outbound link.
bool Spider::CrawlNext(StringBuffer &page) {
    FetchRobotsOnce();
    page.Clear();
    lastUrl.Clear();
    StringBuffer url;
    if (!TakeNextUrl(url))
        return false;
    if (!FetchPage(url, page))
        return false;
    SortFetchedPage(url, page);
    return true;
}

void Spider::FetchRobotsOnce() {
    if (obeyRobots && !robotsFetched) {
        StringBuffer ignored;
        FetchRobots(ignored);
    }
}

// The oldest queued URL that may be fetched. With RobotsRules the URLs they forbid are dropped
// here, for the caller's own URLs (the home page) were not tested when they were queued.
bool Spider::TakeNextUrl(StringBuffer &url) {
    for (;;) {
        if (unspidered.Count() == 0)
            return false;
        std::unique_ptr<VantryObject> oldest(unspidered.RemoveAt(0));
        url.SetBuffer(*static_cast<StringBuffer *>(oldest.get()));
        if (MayFetch(url))
            break;
    }
    lastUrl.SetBuffer(url);
    lastModified.Clear();
    return true;
}

bool Spider::MayFetch(const StringBuffer &url) {
    return !(obeyRobots && useRobotsRules) || RobotsRulesInForce().IsAllowed(url.Text());
}

bool Spider::FetchPage(const StringBuffer &url, StringBuffer &page) {
    if (!http->QuickGetHtml(url.Text(), page)) {
        AppendCopy(failed, url.Text());
        return false;
    }
    AppendCopy(spidered, url.Text());
    http->LastModifiedDate(lastModified);
    return true;
}

void Spider::SortFetchedPage(const StringBuffer &url, StringBuffer &page) {
    if (http->WasRedirected()) {
        StringBuffer finalUrl;
        http->GetFinalUrl(finalUrl);
        if (IsOutbound(finalUrl.Text(), domain.Text())) {
            RecordRedirectTarget(finalUrl);
            return;
        }
    }
    // Inside the domain (redirected or not) the links are resolved against the URL as requested.
    ProcessPageLinks(url.Text(), page);
}

void Spider::RecordRedirectTarget(const StringBuffer &finalUrl) {
    if (!MatchesAvoidOutbound(finalUrl.Text()))
        AppendCopy(outbound, finalUrl.Text());
}

bool Spider::GetUnspidered(int32_t index, StringBuffer &out) const {
    return CopyEntry(unspidered, index, out);
}
bool Spider::GetOutboundLink(int32_t index, StringBuffer &out) const {
    return CopyEntry(outbound, index, out);
}
bool Spider::GetSpidered(int32_t index, StringBuffer &out) const {
    return CopyEntry(spidered, index, out);
}
bool Spider::GetFailed(int32_t index, StringBuffer &out) const {
    return CopyEntry(failed, index, out);
}

void Spider::ClearOutboundLinks() {
    outbound.RemoveAllAndDelete();
}

void Spider::SetUserAgent(const char *agent) {
    http->SetUserAgent(agent);
}
void Spider::SetFetchFromCache(bool on) {
    http->SetFetchFromCache(on);
}
void Spider::SetUpdateCache(bool on) {
    http->SetUpdateCache(on);
}

void Spider::AddAvoidPattern(const char *pattern) {
    AppendCopy(avoidPatterns, pattern ? pattern : "");
}
void Spider::AddAvoidOutboundPattern(const char *pattern) {
    AppendCopy(avoidOutboundPatterns, pattern ? pattern : "");
}
void Spider::AddMustMatchPattern(const char *pattern) {
    AppendCopy(mustMatchPatterns, pattern ? pattern : "");
}

} // namespace vantry
