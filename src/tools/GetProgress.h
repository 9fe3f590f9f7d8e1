// vantry-get's progress line on standard error, fed with the body bytes as they arrive: with a known
// length the percentage, bytes, rate and time left; without one the bytes, rate and time so far. Drawn
// only on a terminal, once a body passes 1 MiB; ended with a newline, also when a signal ends the run.
#pragma once
#include <cstdint>
#include <string>

namespace vantry {

// The line for `received` of `expected` bytes (-1: unknown) after elapsedMs, fitted to columns (never
// wider than columns - 1, so the cursor does not wrap).
std::string FormatProgressLine(uint64_t received, int64_t expected, uint32_t elapsedMs, int columns);

class GetProgress {
public:
    static constexpr uint64_t kThreshold = 1024 * 1024; // drawn only for bodies past this many bytes
    static constexpr uint32_t kIntervalMs = 200;        // at most five redraws a second

    // enabled false: never draws (standard error is not a terminal, or -s).
    explicit GetProgress(bool enabled);
    ~GetProgress();
    GetProgress(const GetProgress &) = delete;
    GetProgress &operator=(const GetProgress &) = delete;

    // Starts the clock again (a new attempt).
    void Restart();
    void Update(uint64_t received, int64_t expected);
    // Draws the final state and ends the line when anything was drawn.
    void Finish();
    bool Drawn() const { return m_drawn; }

private:
    void Draw(uint32_t now);

    bool m_enabled;
    bool m_drawn = false;
    uint32_t m_start;
    uint32_t m_lastDraw = 0;
    uint64_t m_received = 0;
    int64_t m_expected = -1;
};

} // namespace vantry
