// StatusLine: a carriage return, the figures, and "erase to end of line", only on a terminal.
#include "harvester/StatusLine.h"

#include <cstdio>

#include "harvester/HarvestEnvironment.h"

namespace lanternfold {

using namespace vantry;

StatusLine::StatusLine(HarvestEnvironment &env)
    : m_env(env), m_enabled(env.ShowStatus()), m_startTick(env.TickCount()) {}

void StatusLine::Update(uint64_t written, int32_t queueLength, const char *domain, uint64_t pages) {
    if (!m_enabled)
        return;
    if (m_startWritten == UINT64_MAX)
        m_startWritten = written;
    const double minutes = static_cast<double>(m_env.TickCount() - m_startTick) / 60000.0;
    const double perMinute = minutes > 0.0 ? static_cast<double>(written - m_startWritten) / minutes : 0.0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "\r%llu names written | queue %d | crawling %.60s | %llu pages | %.1f names/min\x1b[K",
                  static_cast<unsigned long long>(written), queueLength,
                  domain != nullptr && *domain ? domain : "-", static_cast<unsigned long long>(pages),
                  perMinute);
    m_env.WriteStdErr(line);
    m_shown = true;
}

void StatusLine::ClearForReport() {
    if (m_enabled && m_shown)
        m_env.WriteStdErr("\r\x1b[K");
}

void StatusLine::Finish() {
    if (m_enabled && m_shown)
        m_env.WriteStdErr("\n");
}

} // namespace lanternfold
