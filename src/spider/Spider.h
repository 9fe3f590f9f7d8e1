// Spider: crawls the pages of one domain one page per call, keeping its queue of URLs still to
// fetch, the URLs fetched and failed, and the outbound links found since the caller last took them.
// Robots exclusion and link sorting are part of it (Robots.cpp, LinkSorting.cpp).
#pragma once
#include <cstdint>
#include <memory>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"

namespace vantry {

class HashMap;
class PageFetcher;

class Spider {
public:
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
    void SetAvoidQueryStrings(bool on) { avoidQueryStrings = on; }
    void SetFetchFromCache(bool on);
    void SetUpdateCache(bool on);
    void SetSkipHttps(bool on) { skipHttps = on; }
    void SetMaxUrls(int32_t count) { maxUrls = count; }
    // Wildcard patterns ('*' is any run, letter case ignored) matched against whole URLs.
    void AddAvoidPattern(const char *pattern);
    void AddAvoidOutboundPattern(const char *pattern);
    void AddMustMatchPattern(const char *pattern);

    // Robots exclusion.
    bool FetchRobots(StringBuffer &out);
    bool IsDisallowed(const char *url);

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
    bool FetchPage(const StringBuffer &url, StringBuffer &page);
    void SortFetchedPage(const StringBuffer &url, StringBuffer &page);
    void RecordRedirectTarget(const StringBuffer &finalUrl);
    // One candidate link of ProcessPageLinks through its tests, into the queue or the outbound list.
    void SortCandidate(const char *pageUrl, StringBuffer &link, bool acceptInbound);
    bool OtherSpellingSeen(const StringBuffer &link) const;
    bool KeepExtractedLink(StringBuffer &link) const;

    std::unique_ptr<PageFetcher> m_ownFetcher;
    PageFetcher *http;
    std::unique_ptr<HashMap> seenUrls;
    int32_t maxUrls = 0;
    bool avoidQueryStrings = true;
    bool skipHttps = true;
    bool robotsFetched = false;
    StringBuffer robotsText;
    bool obeyRobots = true;
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
