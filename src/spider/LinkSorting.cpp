// Spider link sorting: the anchors of a fetched page are taken out, filtered (skip list, patterns,
// redirector unwrapping), made absolute and sorted into the domain's queue or the outbound links.
#include <cstring>
#include <string>
#include <unordered_set>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/HashMap.h"
#include "core/LogNull.h"
#include "spider/AnchorScanner.h"
#include "spider/AnchorText.h"
#include "spider/HtmlHelp.h"
#include "spider/SiteValues.h"
#include "spider/Spider.h"
#include "url/HostName.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

constexpr const char *kSkippedPrefixes[] = {"mailto:", "ftp:", "javascript"};
constexpr const char *kSkippedSubstrings[] = {"google", "overture", "doubleclick",
                                              sitevalues::kAdvertisingDomain};
constexpr const char *kSkippedExtensions[] = {".zip", ".exe", ".wmv", ".jpg", ".gif", ".jar",
                                              ".msi", ".doc", ".pdf", ".cab", ".psd", ".eps"};

bool AnyPatternMatches(const ExtPtrArray &patterns, const char *url) {
    for (int32_t i = 0; i < patterns.Count(); ++i)
        if (Spider::WildcardMatch(patterns.ElementAs<StringBuffer>(i)->Text(), url))
            return true;
    return false;
}

void CutAtChar(StringBuffer &text, char c) {
    text.TruncateAtChar(c);
}

void SetFromUrlDecoded(StringBuffer &link, const char *encoded) {
    DataBuffer bytes;
    UrlDecode(encoded, bytes);
    StringBuffer decoded;
    decoded.AppendData(bytes);
    link.SetBuffer(decoded);
}

} // namespace

bool Spider::WildcardMatch(const char *pattern, const char *url) {
    if (pattern == nullptr || url == nullptr)
        return false;
    const char *p = pattern;
    const char *u = url;
    const char *starP = nullptr; // the latest '*' and where its run began in the URL
    const char *starU = nullptr;
    while (*u != 0) {
        if (*p == '*') {
            starP = p++;
            starU = u;
        } else if (*p != 0 && ascii::ToLower(*p) == ascii::ToLower(*u)) {
            ++p;
            ++u;
        } else if (starP != nullptr) {
            p = starP + 1;
            u = ++starU;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

bool Spider::MatchesAvoid(const char *url) const {
    return AnyPatternMatches(avoidPatterns, url);
}

bool Spider::MatchesAvoidOutbound(const char *url) const {
    return AnyPatternMatches(avoidOutboundPatterns, url);
}

bool Spider::MatchesMustMatch(const char *url) const {
    return mustMatchPatterns.Count() == 0 || AnyPatternMatches(mustMatchPatterns, url);
}

bool Spider::IsSkippedLink(const char *link) {
    if (link == nullptr)
        return false;
    for (const char *prefix : kSkippedPrefixes)
        if (ascii::StartsWithNoCase(link, prefix))
            return true;
    for (const char *part : kSkippedSubstrings)
        if (FindNoCase(link, part) != nullptr)
            return true;
    // Decided by the first occurrence of the extension: skipped when nothing follows it.
    for (const char *extension : kSkippedExtensions) {
        const char *hit = FindNoCase(link, extension);
        if (hit != nullptr && hit[std::strlen(extension)] == 0)
            return true;
    }
    return false;
}

void Spider::UnwrapRedirect(StringBuffer &link) {
    for (const char *prefix : sitevalues::kRedirectorPrefixes) {
        if (link.BeginsWith(prefix)) {
            const char *marker = std::strstr(link.Text(), "/*");
            if (marker != nullptr)
                SetFromUrlDecoded(link, marker + 2);
            return;
        }
    }
    if (link.BeginsWith("/redir.php?")) {
        const char *marker = std::strstr(link.Text(), "url=");
        if (marker != nullptr)
            SetFromUrlDecoded(link, marker + 4);
    }
}

// The per-link tests of the extraction, in their order; the link is cut and trimmed on the way.
bool Spider::KeepExtractedLink(StringBuffer &link) const {
    if (link.Length() == 0 || link.CharAt(0) == '#')
        return false;
    if (MatchesAvoid(link.Text()) || !MatchesMustMatch(link.Text()))
        return false;
    if (link.ContainsNoCase("ftp:"))
        return false;
    CutAtChar(link, '#');
    if (avoidQueryStrings)
        CutAtChar(link, '?');
    if (skipHttps && link.ContainsNoCase("https:"))
        return false;
    link.Trim();
    if (link.Length() == 0)
        return false;
    UnwrapRedirect(link);
    return true;
}

void Spider::ExtractLinks(StringBuffer &page, ExtPtrArray &links) {
    AnchorScanner anchors(page);
    // A page's own duplicates: a set that grows with the page, so that a page of many distinct
    // links does not turn the lookups into long bucket walks.
    std::unordered_set<std::string> pageLinks;
    StringBuffer tag, cleaned, link;
    while (anchors.NextTag(tag)) {
        tag.ReplaceChar('\f', ' '); // white space for the tag cleaner too
        HtmlHelp::CleanTag(tag.Text(), cleaned);
        link.Clear();
        HtmlHelp::GetAttributeValue(cleaned.Text(), "href", link);
        anchortext::DecodeCharacterReferences(link);
        StripUrlWhitespace(link);
        if (!KeepExtractedLink(link))
            continue;
        if (!pageLinks.insert(std::string(link.View())).second)
            continue;
        links.Append(new StringBuffer(link));
    }
    anchors.TakeRest(page);
}

void Spider::ProcessPageLinks(const char *pageUrl, StringBuffer &page) {
    const bool acceptInbound = !(maxUrls != 0 && spidered.Count() > maxUrls);
    ExtPtrArray candidates;
    ExtractLinks(page, candidates);
    for (int32_t i = 0; i < candidates.Count(); ++i)
        SortCandidate(pageUrl, *candidates.ElementAs<StringBuffer>(i), acceptInbound);
}

void Spider::SortCandidate(const char *pageUrl, StringBuffer &link, bool acceptInbound) {
    if (link.Length() == 0 || link.CharAt(0) == '#')
        return;
    if (IsSkippedLink(link.Text()))
        return;
    LogNull log;
    if (!MakeAbsolute(link, pageUrl, log))
        return;
    if (matchSiteByHost && !ascii::StartsWithNoCase(link.Text(), "http://") &&
        !ascii::StartsWithNoCase(link.Text(), "https://"))
        return;
    if (MatchesAvoid(link.Text()) || !MatchesMustMatch(link.Text()))
        return;
    CutAtChar(link, '#');
    const bool leaves = LeavesSite(link.Text());
    StringBuffer key;
    SeenKey(link, !leaves, key);
    if (seenUrls->Contains(key.Text()))
        return;
    const bool remembered = Remember(key);
    if (leaves) {
        if (!MatchesAvoidOutbound(link.Text()))
            outbound.Append(new StringBuffer(link));
        return;
    }
    // A link that cannot be remembered could be queued again and again: the queue stops growing.
    if (!remembered || (maxQueued != 0 && unspidered.Count() >= maxQueued))
        return;
    if (obeyRobots && IsDisallowed(link.Text()))
        return;
    if (!acceptInbound)
        return;
    if (!matchSiteByHost && OtherSpellingSeen(link))
        return;
    unspidered.Append(new StringBuffer(link));
}

bool Spider::Remember(const StringBuffer &key) {
    if (maxSeenUrls != 0 && seenCount >= maxSeenUrls)
        return false;
    seenUrls->AddKey(key.Text());
    ++seenCount;
    return true;
}

bool Spider::LeavesSite(const char *url) const {
    if (!matchSiteByHost)
        return IsOutbound(url, domain.Text());
    StringBuffer host;
    GetUrlHost(url, host);
    return !IsSameSiteHost(host.View(), domain.View());
}

void Spider::SeenKey(const StringBuffer &link, bool inbound, StringBuffer &key) const {
    key.SetBuffer(link);
    if (!matchSiteByHost || !inbound)
        return;
    std::string_view text = link.View();
    const size_t scheme = text.find("://");
    if (scheme == std::string_view::npos)
        return;
    text.remove_prefix(scheme + 3);
    const size_t authorityEnd = text.find_first_of("/?#");
    std::string authority(text.substr(0, authorityEnd));
    for (char &c : authority)
        c = ascii::ToLower(c);
    key.Clear();
    key.Append(SiteKey(authority));
    if (authorityEnd == std::string_view::npos)
        key.Append("/");
    else
        key.Append(text.substr(authorityEnd));
}

// The same page with and without "www.": "//www." becomes "//", or "http://" becomes "http://www.".
bool Spider::OtherSpellingSeen(const StringBuffer &link) const {
    StringBuffer other(link);
    if (link.Contains("//www."))
        other.ReplaceFirst("//www.", "//");
    else if (link.Contains("http://"))
        other.ReplaceFirst("http://", "http://www.");
    else
        return false;
    return seenUrls->Contains(other.Text());
}

} // namespace vantry
