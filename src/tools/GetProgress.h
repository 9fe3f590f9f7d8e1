// vantry-get's progress line: a ProgressMonitor that the socket layer feeds with the bytes received,
// drawn on standard error once a body passes 1 MiB, only when standard error is a terminal.
#pragma once
#include <cstdint>
#include <string>

#include "net/ProgressMonitor.h"

namespace vantry {

// The line drawn for `received` bytes after `elapsedMs`, fitted to `columns`: the amount, the rate and a
// bar that moves while the size is unknown (the socket layer does not know the body's length).
std::string FormatProgressLine(uint64_t received, uint32_t elapsedMs, int columns);

class GetProgress : public ProgressMonitor {
public:
    static constexpr uint64_t kThreshold = 1024 * 1024; // drawn only past this many bytes
    static constexpr uint32_t kIntervalMs = 200;        // at most five redraws a second

    // enabled false: counts, never draws (standard error is not a terminal).
    explicit GetProgress(bool enabled);
    bool BytesReceived(uint32_t n) override;
    // Ends the line when anything was drawn.
    void Finish();
    bool Drawn() const { return m_drawn; }

private:
    void Draw(uint32_t now);

    bool m_enabled;
    bool m_drawn = false;
    uint32_t m_start;
    uint32_t m_lastDraw = 0;
};

} // namespace vantry
