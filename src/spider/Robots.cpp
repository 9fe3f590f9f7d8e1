// Spider robots exclusion: robots.txt fetched once per domain past the HTTP cache, and the test of a
// URL against the Disallow rules of every record that names this agent (or "*"), or, when the
// spider uses RobotsRules, against those rules read once from the file and its fetch status.
#include <cstring>

#include "core/ExtPtrArray.h"
#include "spider/PageFetcher.h"
#include "spider/Spider.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

// The text after the line's first ':', trimmed.
void ValueAfterColon(const StringBuffer &line, StringBuffer &value) {
    const char *colon = std::strchr(line.Text(), ':');
    value.SetString(colon != nullptr ? colon + 1 : "");
    value.Trim();
}

// Which records apply while the lines are read: consecutive User-agent lines form one record, and
// the lines before the first User-agent line belong to "*".
class RecordTracker {
public:
    explicit RecordTracker(const char *ownAgent) : m_ownAgent(ownAgent) {}

    void AgentLine(const StringBuffer &agent) {
        if (!m_inAgentRun)
            m_applies = false;
        m_inAgentRun = true;
        if (agent.Equals("*") || Spider::AgentMatches(agent.Text(), m_ownAgent))
            m_applies = true;
    }
    void OtherLine() { m_inAgentRun = false; }
    bool Applies() const { return m_applies; }

private:
    const char *m_ownAgent;
    bool m_applies = true;
    bool m_inAgentRun = false;
};

} // namespace

bool Spider::FetchRobots(StringBuffer &out) {
    if (robotsFetched) {
        out.SetBuffer(robotsText);
        return robotsText.Length() != 0;
    }
    robotsFetched = true;
    robotsText.Clear();
    StringBuffer url("http://");
    url.AppendBuffer(domain);
    url.Append("/robots.txt");

    // robots.txt never comes from or goes into the HTTP cache.
    const bool fetchFromCache = http->GetFetchFromCache();
    const bool updateCache = http->GetUpdateCache();
    http->SetFetchFromCache(false);
    http->SetUpdateCache(false);
    const bool fetched = http->QuickGetHtml(url.Text(), out);
    http->SetFetchFromCache(fetchFromCache);
    http->SetUpdateCache(updateCache);

    if (fetched)
        robotsText.SetBuffer(out);
    // A fetcher that succeeds without naming a status had a plain answer.
    robotsStatus = http->LastStatusCode();
    if (robotsStatus == 0 && fetched)
        robotsStatus = 200;
    robotsRulesRead = false;
    return fetched;
}

void Spider::SetKnownRobots(int statusCode, const char *text) {
    robotsFetched = true;
    robotsText.SetString(text != nullptr ? text : "");
    robotsStatus = statusCode;
    robotsRulesRead = false;
}

bool Spider::GetRobotsOutcome(int &statusCode, StringBuffer &text) const {
    statusCode = robotsStatus;
    text.SetBuffer(robotsText);
    return robotsFetched;
}

const RobotsRules &Spider::RobotsRulesInForce() {
    if (!robotsFetched) {
        StringBuffer ignored;
        FetchRobots(ignored);
    }
    StringBuffer agent;
    http->GetUserAgent(agent);
    // Read once per fetch, and again only if the agent has changed since.
    if (!robotsRulesRead || !agent.Equals(robotsRulesAgent.Text())) {
        robotsRules.FromFetch(robotsStatus, robotsText.Text(), agent.Text());
        robotsRulesAgent.SetBuffer(agent);
        robotsRulesRead = true;
    }
    return robotsRules;
}

bool Spider::AgentMatches(const char *recordAgent, const char *ownAgent) {
    if (recordAgent == nullptr || ownAgent == nullptr || *recordAgent == 0)
        return false;
    StringBuffer record(recordAgent);
    if (record.EqualsNoCase(ownAgent))
        return true;
    const size_t tokenLength = std::strcspn(ownAgent, "/ \t");
    StringBuffer token(ownAgent, static_cast<int32_t>(tokenLength), 0);
    return token.Length() != 0 && record.EqualsNoCase(token.Text());
}

bool Spider::IsDisallowed(const char *url) {
    if (useRobotsRules)
        return !RobotsRulesInForce().IsAllowed(url != nullptr ? url : "");
    if (!robotsFetched) {
        StringBuffer ignored;
        FetchRobots(ignored);
    }
    StringBuffer text(robotsText);
    text.Trim();
    if (text.Length() == 0)
        return false;
    ExtPtrArray lines;
    text.SplitOnChar('\n', false, false, lines);

    StringBuffer path;
    GetUrlPath(url, path);
    path.ToLower();
    StringBuffer ownAgent;
    http->GetUserAgent(ownAgent);

    RecordTracker records(ownAgent.Text());
    StringBuffer value;
    for (int32_t i = 0; i < lines.Count(); ++i) {
        StringBuffer &line = *lines.ElementAs<StringBuffer>(i);
        line.TruncateAtChar('#');
        line.Trim();
        if (line.Length() == 0)
            continue;
        if (line.ContainsNoCase("user-agent:")) {
            ValueAfterColon(line, value);
            records.AgentLine(value);
            continue;
        }
        records.OtherLine();
        if (records.Applies() && line.ContainsNoCase("disallow:")) {
            ValueAfterColon(line, value);
            value.ToLower();
            if (value.Length() != 0 && path.BeginsWith(value.Text()))
                return true;
        }
    }
    return false;
}

} // namespace vantry
