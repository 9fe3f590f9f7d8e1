// Fuzz target: RobotsRules. The input is a robots.txt body, a zero byte and URLs one per line; the
// first byte chooses the crawler's agent. Every answer must equal that of a plain reference: the
// rules of the chosen groups kept in a list and each matched with the set of positions a pattern
// prefix can reach (no index, no shortcuts).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "spider/RobotsPath.h"
#include "spider/RobotsRecords.h"
#include "spider/RobotsRules.h"

using namespace vantry;

namespace {

constexpr const char *kAgents[] = {"FooBot", "foobot/2.1 (compatible)", "Bar-Bot", "", "x"};

struct RefRule {
    std::string pattern; // normalised, as written
    bool allow;
};

// A '$' before a pattern's end is an ordinary character, which the URL spells %24.
bool Matches(std::string pattern, const std::string &path) {
    for (size_t at = pattern.find('$'); at != std::string::npos && at + 1 < pattern.size();
         at = pattern.find('$', at + 3))
        pattern.replace(at, 1, "%24");
    // reach[i]: the pattern read so far can end at path position i.
    std::vector<char> reach(path.size() + 1, 0);
    reach[0] = 1;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char p = pattern[i];
        if (p == '$' && i + 1 == pattern.size())
            return reach[path.size()] != 0;
        bool any = false;
        if (p == '*') {
            for (size_t at = 1; at <= path.size(); ++at)
                reach[at] = reach[at] || reach[at - 1];
            any = true;
        } else {
            for (size_t at = path.size(); at > 0; --at)
                any |= (reach[at] = reach[at - 1] && path[at - 1] == p) != 0;
            reach[0] = 0;
        }
        if (!any)
            return false;
    }
    return true;
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.empty() || a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Collects the rules of the groups for `agent` and for "*", as the reference reads the groups.
void ReferenceRules(std::string_view text, std::string_view agent, std::vector<RefRule> &own,
                    std::vector<RefRule> &every, bool &ownSeen) {
    const std::string_view token = RobotsRules::ProductToken(agent);
    bool listOpen = false, forOwn = false, forEvery = false;
    ownSeen = false;
    robotsrecords::ReadRecords(text, [&](const robotsrecords::Record &r) {
        using robotsrecords::Key;
        if (r.key == Key::UserAgent) {
            if (!listOpen)
                forOwn = forEvery = false;
            listOpen = true;
            if (!r.value.empty() && r.value[0] == '*' && (r.value.size() == 1 || std::isspace(r.value[1])))
                forEvery = true;
            else if (SameToken(RobotsRules::ProductToken(r.value), token))
                forOwn = ownSeen = true;
            return;
        }
        if (r.key != Key::Allow && r.key != Key::Disallow)
            return;
        listOpen = false;
        std::string pattern;
        robotspath::AppendNormalized(r.value, pattern, robotspath::Stars::Wildcards);
        if (pattern.empty() || (!forOwn && !forEvery))
            return;
        std::vector<RefRule> &into = forOwn ? own : every;
        into.push_back({pattern, r.key == Key::Allow});
        const size_t slash = pattern.rfind('/');
        if (r.key == Key::Allow && slash != std::string::npos &&
            std::string_view(pattern).substr(slash).starts_with("/index.htm"))
            into.push_back({pattern.substr(0, slash + 1) + "$", true});
    });
}

bool ReferenceAllowed(const std::vector<RefRule> &rules, std::string_view url) {
    std::string path;
    robotspath::AppendNormalized(robotspath::PathAndQuery(url), path, robotspath::Stars::Literal);
    if (std::string_view(path).substr(0, path.find('?')) == "/robots.txt")
        return true;
    size_t allow = 0, disallow = 0;
    for (const RefRule &rule : rules) {
        size_t &best = rule.allow ? allow : disallow;
        if (Matches(rule.pattern, path))
            best = std::max(best, rule.pattern.size());
    }
    return disallow <= allow;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const char *agent = kAgents[data[0] % (sizeof kAgents / sizeof kAgents[0])];
    const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    const size_t split = input.find('\0');
    // Bounded so that the plain reference stays quick: 8 KiB of rules, 16 URLs of 256 bytes.
    const std::string_view robots = input.substr(0, std::min<size_t>(split, 8192));
    const std::string_view urls = split == std::string_view::npos ? "/" : input.substr(split + 1);

    RobotsRules rules(robots, agent);
    std::vector<RefRule> own, every;
    bool ownSeen = false;
    ReferenceRules(robots, agent, own, every, ownSeen);
    if (rules.HasOwnGroup() != ownSeen || rules.RuleCount() != (ownSeen ? own : every).size())
        std::abort();
    size_t start = 0;
    for (int n = 0; n < 16 && start <= urls.size(); ++n) {
        const size_t end = std::min(urls.find('\n', start), urls.size());
        const std::string_view url = urls.substr(start, std::min<size_t>(end - start, 256));
        if (rules.IsAllowed(url) != ReferenceAllowed(ownSeen ? own : every, url))
            std::abort();
        start = end + 1;
    }
    return 0;
}
