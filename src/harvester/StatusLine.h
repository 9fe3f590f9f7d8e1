// StatusLine: the one line kept up to date on a terminal while the harvester runs: names written,
// crawl queue length, the domain being crawled, pages fetched, names per minute.
#pragma once
#include <cstdint>
#include <string>

namespace lanternfold {

class HarvestEnvironment;

class StatusLine {
public:
    explicit StatusLine(HarvestEnvironment &env);
    void Update(uint64_t written, int32_t queueLength, const char *domain, uint64_t pages);
    // Ends the line so the shell prompt starts on a fresh one.
    void Finish();
    // Clears the shown line, so that a report line can take its place (the next Update redraws it).
    void ClearForReport();

private:
    HarvestEnvironment &m_env;
    bool m_enabled;
    bool m_shown = false;
    uint32_t m_startTick;
    uint64_t m_startWritten = UINT64_MAX;
};

} // namespace lanternfold
