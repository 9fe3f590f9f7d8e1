// RobotsRules: groups are chosen while the file is read, so only the rules of the group in force
// are kept. Each rule is filed under a literal text the path must begin with (the part before its
// first '*') or, for a rule ending in '$' whose last part is longer, end with; so a URL meets only
// the rules whose literal fits its path, and each of those is matched in one pass over the path.
#include "spider/RobotsRules.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/AsciiText.h"
#include "spider/RobotsPath.h"
#include "spider/RobotsRecords.h"

namespace vantry {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsTokenChar(char c) {
    return ascii::IsLetter(c) || c == '-' || c == '_';
}

// A User-agent value that opens the group of every crawler: "*", possibly followed by words.
bool IsEveryAgent(std::string_view value) {
    return !value.empty() && value[0] == '*' && (value.size() == 1 || IsSpace(value[1]));
}

// A Crawl-delay value in seconds ("10", "0.5"); -1 when it is none.
double ParseDelay(std::string_view value) {
    double seconds = 0;
    size_t i = 0;
    bool digits = false;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i, digits = true)
        seconds = seconds * 10 + (value[i] - '0');
    if (i < value.size() && value[i] == '.') {
        double scale = 0.1;
        for (++i; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i, scale /= 10, digits = true)
            seconds += (value[i] - '0') * scale;
    }
    return digits ? seconds : -1;
}

// An Allow of ".../index.htm..." also allows the directory itself, ".../$".
bool NamesDirectoryIndex(std::string_view pattern, size_t &slash) {
    slash = pattern.rfind('/');
    return slash != std::string_view::npos && pattern.substr(slash).starts_with("/index.htm");
}

const char *FindBytes(std::string_view haystack, size_t from, std::string_view needle) {
    return static_cast<const char *>(
        memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size()));
}

} // namespace

// Follows the groups while the records go by: consecutive User-agent lines open one group, the
// first rule line closes its list of agents, and rules count only inside a group that names this
// crawler (kept apart) or every crawler. Rules before the first User-agent line belong to no group.
class RobotsRules::Reader {
public:
    explicit Reader(std::string_view ownToken) : m_ownToken(ownToken) {}

    void Take(const robotsrecords::Record &record) {
        using robotsrecords::Key;
        switch (record.key) {
        case Key::UserAgent:
            AgentLine(record.value);
            break;
        case Key::Allow:
        case Key::Disallow:
            RuleLine(record.value, record.key == Key::Allow);
            break;
        case Key::CrawlDelay:
            DelayLine(record.value);
            break;
        default:
            break; // sitemaps and unknown lines neither open nor close a group
        }
    }

    bool everOwn = false;
    std::vector<Rule> ownRules, everyRules;
    double ownDelay = -1, everyDelay = -1;

private:
    void AgentLine(std::string_view value) {
        if (!m_inAgentList) {
            m_forOwn = m_forEvery = false;
            m_inAgentList = true;
        }
        if (IsEveryAgent(value)) {
            m_forEvery = true;
            return;
        }
        const std::string_view token = ProductToken(value);
        if (!token.empty() && ascii::EqualsNoCase(token, m_ownToken))
            m_forOwn = everOwn = true;
    }

    void RuleLine(std::string_view value, bool allow) {
        m_inAgentList = false;
        if (m_forOwn)
            AddRule(value, allow, ownRules);
        else if (m_forEvery)
            AddRule(value, allow, everyRules);
    }

    void DelayLine(std::string_view value) {
        const double seconds = ParseDelay(value);
        if (m_forOwn)
            ownDelay = std::max(ownDelay, seconds);
        else if (m_forEvery)
            everyDelay = std::max(everyDelay, seconds);
    }

    std::string_view m_ownToken;
    bool m_inAgentList = false;
    bool m_forOwn = false;
    bool m_forEvery = false;
};

std::string_view RobotsRules::ProductToken(std::string_view userAgent) {
    while (!userAgent.empty() && IsSpace(userAgent.front()))
        userAgent.remove_prefix(1);
    size_t end = 0;
    while (end < userAgent.size() && IsTokenChar(userAgent[end]))
        ++end;
    return userAgent.substr(0, end);
}

void RobotsRules::Clear() {
    m_mode = Mode::AllowAll;
    m_byLead.clear();
    m_byTail.clear();
    m_crawlDelay = -1;
    m_ownGroup = false;
}

void RobotsRules::SetAllowAll() {
    Clear();
}

void RobotsRules::SetDisallowAll() {
    Clear();
    m_mode = Mode::DisallowAll;
}

void RobotsRules::FromFetch(int statusCode, std::string_view robotsText, std::string_view userAgent) {
    if (statusCode >= 200 && statusCode <= 299)
        Parse(robotsText, userAgent);
    else if (statusCode >= 300 && statusCode <= 499)
        SetAllowAll();
    else
        SetDisallowAll();
}

bool RobotsRules::Parse(std::string_view robotsText, std::string_view userAgent) {
    Clear();
    Reader reader(ProductToken(userAgent));
    robotsrecords::ReadRecords(robotsText, [&reader](const robotsrecords::Record &r) { reader.Take(r); });
    m_mode = Mode::Rules;
    m_ownGroup = reader.everOwn;
    // Only the most specific group applies: this crawler's own, else the one for every crawler.
    IndexRules(m_ownGroup ? reader.ownRules : reader.everyRules);
    m_crawlDelay = m_ownGroup ? reader.ownDelay : reader.everyDelay;
    return true;
}

void RobotsRules::AddRule(std::string_view value, bool allow, std::vector<Rule> &into) {
    std::string normalized;
    robotspath::AppendNormalized(value, normalized, robotspath::Stars::Wildcards);
    // An empty rule matches nothing: "Disallow:" allows everything.
    if (normalized.empty())
        return;
    Rule rule;
    rule.priority = static_cast<uint32_t>(normalized.size());
    rule.allow = allow;
    rule.anchored = normalized.back() == '$';
    // Runs of '*' match as one; a '$' before the end is an ordinary character, as a URL spells it.
    const size_t bodyLength = normalized.size() - (rule.anchored ? 1 : 0);
    rule.pattern.reserve(bodyLength);
    for (size_t i = 0; i < bodyLength; ++i) {
        if (normalized[i] == '$')
            rule.pattern.append("%24");
        else if (normalized[i] != '*' || rule.pattern.empty() || rule.pattern.back() != '*')
            rule.pattern.push_back(normalized[i]);
    }
    rule.leadLength = static_cast<uint32_t>(std::min(rule.pattern.find('*'), rule.pattern.size()));
    const size_t lastStar = rule.pattern.rfind('*');
    rule.tailLength = rule.anchored && lastStar != std::string::npos
                          ? static_cast<uint32_t>(rule.pattern.size() - lastStar - 1)
                          : 0;
    into.push_back(std::move(rule));

    size_t slash = 0;
    if (allow && NamesDirectoryIndex(normalized, slash))
        AddRule(normalized.substr(0, slash + 1) + "$", true, into);
}

void RobotsRules::IndexRules(std::vector<Rule> &rules) {
    for (Rule &rule : rules)
        (rule.tailLength > rule.leadLength ? m_byTail : m_byLead).push_back(std::move(rule));
    std::sort(m_byLead.begin(), m_byLead.end(), [](const Rule &a, const Rule &b) {
        return std::string_view(a.pattern).substr(0, a.leadLength) <
               std::string_view(b.pattern).substr(0, b.leadLength);
    });
    std::sort(m_byTail.begin(), m_byTail.end(), [](const Rule &a, const Rule &b) {
        const std::string_view x = std::string_view(a.pattern).substr(a.pattern.size() - a.tailLength);
        const std::string_view y = std::string_view(b.pattern).substr(b.pattern.size() - b.tailLength);
        return std::lexicographical_compare(x.rbegin(), x.rend(), y.rbegin(), y.rend(), [](char p, char q) {
            return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
        });
    });
}

bool RobotsRules::IsAllowed(std::string_view url) const {
    if (m_mode == Mode::AllowAll)
        return true;
    std::string path;
    robotspath::AppendNormalized(robotspath::PathAndQuery(url), path, robotspath::Stars::Literal);
    if (std::string_view(path).substr(0, path.find('?')) == "/robots.txt")
        return true;
    if (m_mode == Mode::DisallowAll)
        return false;
    uint32_t allow = 0, disallow = 0;
    BestMatches(m_byLead, false, path, allow, disallow);
    BestMatches(m_byTail, true, path, allow, disallow);
    return disallow <= allow;
}

// The rules whose literal key fits the path are found by narrowing the sorted index one byte of
// the path at a time (from its start for prefixes, from its end for suffixes): at step k the range
// holds the rules whose key starts with the path's first k bytes, and the keys of exactly that
// length come first.
void RobotsRules::BestMatches(const std::vector<Rule> &index, bool bySuffix, std::string_view path,
                              uint32_t &allow, uint32_t &disallow) {
    auto keyLength = [bySuffix](const Rule &rule) { return bySuffix ? rule.tailLength : rule.leadLength; };
    auto keyByte = [bySuffix](const Rule &rule, size_t k) {
        return static_cast<unsigned char>(bySuffix ? rule.pattern[rule.pattern.size() - 1 - k]
                                                   : rule.pattern[k]);
    };
    auto pathByte = [bySuffix, path](size_t k) {
        return static_cast<unsigned char>(bySuffix ? path[path.size() - 1 - k] : path[k]);
    };
    const auto begin = index.begin();
    size_t lo = 0, hi = index.size();
    for (size_t k = 0;; ++k) {
        for (; lo < hi && keyLength(index[lo]) == k; ++lo) {
            const Rule &rule = index[lo];
            uint32_t &best = rule.allow ? allow : disallow;
            if (rule.priority > best && Matches(rule, path))
                best = rule.priority;
        }
        if (lo == hi || k == path.size())
            return;
        const unsigned char c = pathByte(k);
        lo =
            static_cast<size_t>(std::partition_point(begin + lo, begin + hi,
                                                     [&](const Rule &rule) { return keyByte(rule, k) < c; }) -
                                begin);
        hi = static_cast<size_t>(
            std::partition_point(begin + lo, begin + hi,
                                 [&](const Rule &rule) { return keyByte(rule, k) == c; }) -
            begin);
    }
}

// The literal prefix must begin the path. Each further piece between stars is placed at its first
// occurrence after the previous one: the earliest place leaves the most room for the pieces after
// it, so no other placement needs trying. An anchored last piece must end the path instead.
bool RobotsRules::Matches(const Rule &rule, std::string_view path) {
    const std::string_view pattern = rule.pattern;
    if (!path.starts_with(pattern.substr(0, rule.leadLength)))
        return false;
    size_t at = rule.leadLength;
    size_t star = rule.leadLength;
    if (star == pattern.size())
        return !rule.anchored || path.size() == at;
    for (;;) {
        const size_t pieceStart = star + 1;
        if (pieceStart == pattern.size())
            return true; // a final '*' takes the rest of the path
        star = pattern.find('*', pieceStart);
        const std::string_view piece = pattern.substr(pieceStart, star - pieceStart);
        if (star == std::string_view::npos && rule.anchored)
            return path.size() >= at + piece.size() && path.ends_with(piece);
        const char *hit = FindBytes(path, at, piece);
        if (hit == nullptr)
            return false;
        if (star == std::string_view::npos)
            return true;
        at = static_cast<size_t>(hit - path.data()) + piece.size();
    }
}

} // namespace vantry
