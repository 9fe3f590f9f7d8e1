// RobotsRules: the rules of one site's robots.txt that apply to one crawler (RFC 9309), read once
// and then asked about each URL. The group naming the crawler's product token wins over "*"; among
// its Allow and Disallow rules the longest match decides, Allow winning a tie; '*' and a final '$'
// are wildcards; rules and URLs are compared in one percent-encoded spelling, letter case kept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

class RobotsRules {
public:
    // Allows everything until told otherwise.
    RobotsRules() = default;
    RobotsRules(std::string_view robotsText, std::string_view userAgent) { Parse(robotsText, userAgent); }
    virtual ~RobotsRules() = default;

    // Reads a robots.txt body for the crawler with the given user-agent string; groups are matched
    // against its product token (see ProductToken). Replaces what was read before. Reading cannot
    // fail: text that holds no rules for this crawler allows everything.
    bool Parse(std::string_view robotsText, std::string_view userAgent);
    // The outcome of fetching robots.txt: a 2xx body is parsed; a 3xx left at the end of the
    // redirects and a 4xx ("unavailable") allow everything; a 5xx, no response at all (0) or any
    // other status ("unreachable") disallows the whole site.
    void FromFetch(int statusCode, std::string_view robotsText, std::string_view userAgent);
    void SetAllowAll();
    void SetDisallowAll();

    // Whether the crawler may fetch the URL (absolute, or a path). /robots.txt is always allowed.
    bool IsAllowed(std::string_view url) const;

    // The Crawl-delay of the group in force, in seconds (the largest when it names several).
    bool HasCrawlDelay() const { return m_crawlDelay >= 0; }
    double CrawlDelaySeconds() const { return m_crawlDelay >= 0 ? m_crawlDelay : 0; }

    // Whether a group names this crawler (rather than "*" or none applying).
    bool HasOwnGroup() const { return m_ownGroup; }
    // Rules of the group in force.
    size_t RuleCount() const { return m_byLead.size() + m_byTail.size(); }

    // The product token of a user-agent string or of a User-agent line's value: its leading
    // letters, '-' and '_', so the name ends at a '/' or blank ("Lanternfold/1.1 (+http://x/)" and
    // "Lanternfold bot" give "Lanternfold").
    static std::string_view ProductToken(std::string_view userAgent);

private:
    struct Rule {
        std::string pattern; // normalised, runs of '*' made one, without the final '$'
        uint32_t leadLength; // bytes before the first '*': a literal prefix the path must have
        uint32_t tailLength; // anchored: bytes after the last '*', a literal suffix the path must have
        uint32_t priority;   // length of the rule as written (normalised): longer is more specific
        bool allow;
        bool anchored; // a final '$': the match must reach the end of the path
    };
    class Reader;

    void Clear();
    static void AddRule(std::string_view value, bool allow, std::vector<Rule> &into);
    // Files each rule under the longer of its literal prefix and (anchored) suffix.
    void IndexRules(std::vector<Rule> &rules);
    static bool Matches(const Rule &rule, std::string_view path);
    // Raises allow and disallow to the priorities of the matching rules of one index.
    static void BestMatches(const std::vector<Rule> &index, bool bySuffix, std::string_view path,
                            uint32_t &allow, uint32_t &disallow);

    enum class Mode { AllowAll, DisallowAll, Rules };
    Mode m_mode = Mode::AllowAll;
    std::vector<Rule> m_byLead; // sorted by their literal prefixes
    std::vector<Rule> m_byTail; // sorted by their literal suffixes read backwards
    double m_crawlDelay = -1;
    bool m_ownGroup = false;
};

} // namespace vantry
