// vantry-get's progress line: percentage and bar, amount, rate and time, redrawn in place with a carriage
// return.
#include "tools/GetProgress.h"

#include <cstdio>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Terminal.h"

namespace vantry {

namespace {

std::string FormatAmount(double bytes) {
    static const char *kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string FormatClock(uint64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                      static_cast<unsigned>(seconds % 60));
    return text;
}

} // namespace

std::string FormatProgressLine(uint64_t received, int64_t expected, uint32_t elapsedMs, int columns) {
    const double seconds = elapsedMs / 1000.0;
    const double rate = seconds > 0 ? received / seconds : 0;
    const bool known = expected > 0;
    std::string facts;
    if (known) {
        uint64_t total = static_cast<uint64_t>(expected);
        uint64_t shown = received < total ? received : total;
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3u%%", static_cast<unsigned>(shown * 100 / total));
        facts = std::string(percent) + "  " + FormatAmount(static_cast<double>(received)) + " of " +
                FormatAmount(static_cast<double>(total));
    } else {
        facts = FormatAmount(static_cast<double>(received));
    }
    facts += "  " + (rate > 0 ? FormatAmount(rate) + "/s" : std::string("--"));
    if (known && rate > 0 && received < static_cast<uint64_t>(expected))
        facts += "  " + FormatClock(static_cast<uint64_t>((expected - received) / rate + 0.5)) + " left";
    else
        facts += "  " + FormatClock(elapsedMs / 1000);
    // With a known length a bar of the share done takes what is left of the line.
    int room = columns - 1 - static_cast<int>(facts.size()) - 4;
    std::string line = facts;
    if (known && room >= 10) {
        int width = room > 40 ? 40 : room;
        uint64_t total = static_cast<uint64_t>(expected);
        int done = static_cast<int>((received < total ? received : total) * width / total);
        std::string bar(width, ' ');
        for (int i = 0; i < done; ++i)
            bar[i] = '=';
        if (done < width)
            bar[done] = '>';
        line = "[" + bar + "]  " + facts;
    }
    if (columns > 1 && static_cast<int>(line.size()) > columns - 1)
        line.resize(columns - 1);
    return line;
}

GetProgress::GetProgress(bool enabled) : m_enabled(enabled), m_start(platform::GetTickCount()) {}

GetProgress::~GetProgress() {
    Finish();
}

void GetProgress::Restart() {
    Finish();
    m_start = platform::GetTickCount();
    m_received = 0;
    m_expected = -1;
}

void GetProgress::Update(uint64_t received, int64_t expected) {
    m_received = received;
    m_expected = expected;
    if (m_enabled && !m_thread.joinable() && Due()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
        m_thread = std::thread([this] { Run(); });
    }
}

bool GetProgress::Due() const {
    const int64_t expected = m_expected;
    return m_received > kThreshold ||
           (m_received > 0 && expected > 0 && static_cast<uint64_t>(expected) > kThreshold);
}

void GetProgress::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        Draw();
        m_wake.wait_for(lock, std::chrono::milliseconds(kIntervalMs), [this] { return m_stop; });
    }
}

// Called with m_mutex held.
void GetProgress::Draw() {
    const uint32_t now = platform::GetTickCount();
    std::string line(1, '\r');
    line += FormatProgressLine(m_received, m_expected, now - m_start, platform::TerminalColumns(2));
    line += "\x1b[K"; // clear what a longer earlier line left
    platform::WriteStdErr(line.data(), line.size());
    if (!m_drawn)
        platform::NewlineOnSignal(true); // an interrupted run still ends the line
    m_drawn = true;
}

void GetProgress::Finish() {
    // Once the line was due it is drawn at the end as well, however quickly the transfer ended.
    const bool started = m_thread.joinable();
    if (started) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    if (!m_drawn && !started)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    Draw();
    platform::WriteStdErr("\n", 1);
    platform::NewlineOnSignal(false);
    m_drawn = false;
}

} // namespace vantry
