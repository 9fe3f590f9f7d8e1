// Spider: crawls the pages of one domain one page per call, keeping its queue of URLs still to
// fetch, the URLs fetched and failed, and the outbound links found since the caller last took them.
// Robots exclusion and link sorting are part of it (Robots.cpp, LinkSorting.cpp).
#pragma once
#include <cstdint>
#include <memory>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/RobotsRules.h"

namespace vantry {

class HashMap;
class PageFetcher;

class Spider {
public:
    // The URL limits of a crawl: the longest URL fetched, in bytes; media file URLs are refused too.
    static constexpr int kCrawlMaxUrlLen = 800;

    // Fetches through an HTTP facade of its own.
    Spider();
    // Fetches through the given fetcher (not owned; it must outlive the spider).
    explicit Spider(PageFetcher &fetcher);
    virtual ~Spider();
    Spider(const Spider &) = delete;
    Spider &operator=(const Spider &) = delete;

    void Initialize(const char *domain, bool clearAvoid, bool clearMustMatch, bool clearAvoidOutbound);
    bool AddUnspidered(const char *url);
    bool CrawlNext(StringBuffer &page);

    int32_t UnspideredCount() const { return unspidered.Count(); }
    int32_t OutboundCount() const { return outbound.Count(); }
    int32_t SpideredCount() const { return spidered.Count(); }
    int32_t FailedCount() const { return failed.Count(); }
    bool GetUnspidered(int32_t index, StringBuffer &out) const;
    bool GetOutboundLink(int32_t index, StringBuffer &out) const;
    bool GetSpidered(int32_t index, StringBuffer &out) const;
    bool GetFailed(int32_t index, StringBuffer &out) const;
    void ClearOutboundLinks();
    const StringBuffer &LastUrl() const { return lastUrl; }
    const StringBuffer &LastModified() const { return lastModified; }
    const StringBuffer &Domain() const { return domain; }

    void SetUserAgent(const char *agent);
    void SetObeyRobots(bool on) { obeyRobots = on; }
    // Off (the default): robots.txt is read by the simple prefix matcher of IsDisallowed. On: it is
    // read once per domain as RFC 9309 rules (Allow, wildcards, the status of the fetch: a 4xx
    // allows everything, a 5xx or no answer forbids the whole site), and every URL is also tested
    // before it is fetched.
    void SetUseRobotsRules(bool on) { useRobotsRules = on; }
    void SetAvoidQueryStrings(bool on) { avoidQueryStrings = on; }
    void SetFetchFromCache(bool on);
    void SetUpdateCache(bool on);
    void SetSkipHttps(bool on) { skipHttps = on; }
    void SetMaxUrls(int32_t count) { maxUrls = count; }
    // Off (the default): a URL is outbound by IsOutbound, a substring test on the domain. On: a URL is
    // of the site exactly when its scheme is http or https and its host is the domain or the domain's
    // www/bare twin (example.org and www.example.org), whatever the scheme; links of other schemes are
    // dropped; a page in its http/https and www/bare spellings is queued once; and the links of a page
    // that was redirected inside the site are resolved against the URL where it ended.
    void SetMatchSiteByHost(bool on) { matchSiteByHost = on; }
    // Caps that bound a crawl's memory (0: none): the URLs waiting in the queue, and the links
    // remembered as sorted. Past the first, inbound links are dropped; past the second, inbound links
    // are dropped and outbound ones are still reported but no longer remembered.
    void SetMaxQueued(int32_t count) { maxQueued = count; }
    void SetMaxSeenUrls(int32_t count) { maxSeenUrls = count; }
    // Gives the spider the outcome of an earlier fetch of this domain's robots.txt (its status, 0 for
    // no response, and body), so it is not fetched again.
    void SetKnownRobots(int statusCode, const char *text);
    // The outcome of the robots.txt fetch of this crawl; false when it has not been fetched.
    bool GetRobotsOutcome(int &statusCode, StringBuffer &text) const;
    // Wildcard patterns ('*' is any run, letter case ignored) matched against whole URLs.
    void AddAvoidPattern(const char *pattern);
    void AddAvoidOutboundPattern(const char *pattern);
    void AddMustMatchPattern(const char *pattern);

    // Robots exclusion.
    bool FetchRobots(StringBuffer &out);
    bool IsDisallowed(const char *url);
    // The RFC 9309 rules of the domain for the facade's user agent, fetching robots.txt first
    // when it has not been fetched (used when SetUseRobotsRules is on; its Crawl-delay serves the
    // caller's spacing of requests).
    const RobotsRules &RobotsRulesInForce();

    // Link extraction and sorting.
    void ExtractLinks(StringBuffer &page, ExtPtrArray &links);
    static bool IsSkippedLink(const char *link);
    static void UnwrapRedirect(StringBuffer &link);
    void ProcessPageLinks(const char *pageUrl, StringBuffer &page);
    bool MatchesAvoid(const char *url) const;
    bool MatchesAvoidOutbound(const char *url) const;
    bool MatchesMustMatch(const char *url) const;

    // Whether a whole URL fits a wildcard pattern ('*' any run, also empty; letter case ignored).
    static bool WildcardMatch(const char *pattern, const char *url);
    // Whether a robots User-agent value names an agent string: equal to the whole string or to its
    // product token (the text before the first '/' or blank), letter case ignored.
    static bool AgentMatches(const char *recordAgent, const char *ownAgent);

private:
    void ConfigureFacade();
    // The steps of a crawl.
    void FetchRobotsOnce();
    bool TakeNextUrl(StringBuffer &url);
    bool MayFetch(const StringBuffer &url);
    bool FetchPage(const StringBuffer &url, StringBuffer &page);
    void SortFetchedPage(const StringBuffer &url, StringBuffer &page);
    void RecordRedirectTarget(const StringBuffer &finalUrl);
    // One candidate link of ProcessPageLinks through its tests, into the queue or the outbound list.
    void SortCandidate(const char *pageUrl, StringBuffer &link, bool acceptInbound);
    bool OtherSpellingSeen(const StringBuffer &link) const;
    // Whether a URL leaves the site: IsOutbound, or with matchSiteByHost the host test.
    bool LeavesSite(const char *url) const;
    // The key under which a link is remembered as sorted: the link itself, or with matchSiteByHost
    // for a link of the site, its host without "www." and the rest, without the scheme.
    void SeenKey(const StringBuffer &link, bool inbound, StringBuffer &key) const;
    bool Remember(const StringBuffer &key);
    bool KeepExtractedLink(StringBuffer &link) const;

    std::unique_ptr<PageFetcher> m_ownFetcher;
    PageFetcher *http;
    std::unique_ptr<HashMap> seenUrls;
    int32_t maxUrls = 0;
    int32_t maxQueued = 0;
    int32_t maxSeenUrls = 0;
    int32_t seenCount = 0;
    bool matchSiteByHost = false;
    bool avoidQueryStrings = true;
    bool skipHttps = true;
    bool robotsFetched = false;
    StringBuffer robotsText;
    int robotsStatus = 0; // of the robots.txt fetch; 0 when there was no response
    bool obeyRobots = true;
    bool useRobotsRules = false;
    RobotsRules robotsRules;
    bool robotsRulesRead = false; // robotsRules hold the current robots.txt for robotsRulesAgent
    StringBuffer robotsRulesAgent;
    ExtPtrArray unspidered;
    ExtPtrArray spidered;
    ExtPtrArray failed;
    ExtPtrArray outbound;
    StringBuffer domain;
    ExtPtrArray avoidPatterns;
    ExtPtrArray avoidOutboundPatterns;
    ExtPtrArray mustMatchPatterns;
    StringBuffer lastUrl;
    StringBuffer lastModified;
};

} // namespace vantry
