// vantry-get's progress line: amount, rate and a moving bar, redrawn in place with a carriage return.
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

} // namespace

std::string FormatProgressLine(uint64_t received, uint32_t elapsedMs, int columns) {
    double seconds = elapsedMs / 1000.0;
    std::string line = FormatAmount(static_cast<double>(received));
    line += "  ";
    line += seconds > 0 ? FormatAmount(received / seconds) + "/s" : std::string("--");
    char clock[32];
    uint32_t whole = elapsedMs / 1000;
    std::snprintf(clock, sizeof clock, "  %u:%02u", whole / 60, whole % 60);
    line += clock;
    // The bar takes what is left of the line, less one column so the cursor never wraps.
    int room = columns - 1 - static_cast<int>(line.size()) - 3;
    if (room >= 8) {
        int width = room > 40 ? 40 : room;
        std::string bar(width, ' ');
        int span = width - 3;
        int step = static_cast<int>((elapsedMs / 100) % (2 * span));
        int pos = step < span ? step : 2 * span - step;
        bar.replace(pos, 3, "<=>");
        line = "[" + bar + "]  " + line;
    }
    if (columns > 1 && static_cast<int>(line.size()) > columns - 1)
        line.resize(columns - 1);
    return line;
}

GetProgress::GetProgress(bool enabled) : m_enabled(enabled), m_start(platform::GetTickCount()) {}

bool GetProgress::BytesReceived(uint32_t n) {
    bool abort = ProgressMonitor::BytesReceived(n);
    if (m_enabled && ReceivedTotal() > kThreshold) {
        uint32_t now = platform::GetTickCount();
        if (!m_drawn || now - m_lastDraw >= kIntervalMs)
            Draw(now);
    }
    return abort;
}

void GetProgress::Draw(uint32_t now) {
    std::string line =
        "\r" + FormatProgressLine(ReceivedTotal(), now - m_start, platform::TerminalColumns(2));
    line += "\x1b[K"; // clear what a longer earlier line left
    platform::WriteStdErr(line.data(), line.size());
    m_drawn = true;
    m_lastDraw = now;
}

void GetProgress::Finish() {
    if (!m_drawn)
        return;
    Draw(platform::GetTickCount());
    platform::WriteStdErr("\n", 1);
    m_drawn = false;
}

} // namespace vantry
