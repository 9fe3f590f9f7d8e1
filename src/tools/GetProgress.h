// vantry-get's progress line on standard error, fed with the body bytes as they arrive: with a known
// length the percentage, bytes, rate and time left; without one the bytes, rate and time so far. Drawn
// only on a terminal, for a body past 1 MiB, five times a second by a thread of its own (so a stalled
// download still shows its clock); ended with a newline, also when a signal ends the run.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vantry {

// The line for `received` of `expected` bytes (-1: unknown) after elapsedMs, fitted to columns (never
// wider than columns - 1, so the cursor does not wrap).
std::string FormatProgressLine(uint64_t received, int64_t expected, uint32_t elapsedMs, int columns);

class GetProgress {
public:
    static constexpr uint64_t kThreshold = 1024 * 1024; // drawn only for bodies past this many bytes
    static constexpr uint32_t kIntervalMs = 200;        // five redraws a second

    // enabled false: never draws (standard error is not a terminal, or -s).
    explicit GetProgress(bool enabled);
    ~GetProgress();
    GetProgress(const GetProgress &) = delete;
    GetProgress &operator=(const GetProgress &) = delete;

    // Starts the clock again (a new attempt).
    void Restart();
    // The body bytes received so far and the length announced (-1: none).
    void Update(uint64_t received, int64_t expected);
    // Draws the final state and ends the line when anything was drawn; the drawing thread stops.
    void Finish();
    bool Drawn() const { return m_drawn; }

private:
    void Run();
    bool Due() const;
    void Draw();

    const bool m_enabled;
    std::atomic<uint64_t> m_received{0};
    std::atomic<int64_t> m_expected{-1};
    std::atomic<uint32_t> m_start;
    std::atomic<bool> m_drawn{false};
    std::mutex m_mutex; // the drawing, and the wake-up of the thread
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace vantry
