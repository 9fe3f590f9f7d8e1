// StopWatch: whether the harvester has been asked to stop (stop.txt, SIGTERM or SIGINT). The
// environment is asked at most every 100 ms of its clock and a stop, once seen, is kept. As a progress
// monitor it is handed to every fetch, so that a stop also ends a connect, a handshake or a read that
// is waiting on the network.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/ProgressMonitor.h"

namespace lanternfold {

class HarvestEnvironment;

class StopWatch : public vantry::ProgressMonitor {
public:
    static constexpr uint32_t kPollEveryMs = 100;

    explicit StopWatch(HarvestEnvironment &env) : m_env(env) {}

    // True once a stop has been asked for.
    bool Requested();
    bool AbortCheck() override { return Requested(); }
    // Shared by the fetches of every worker at once, so it counts no bytes (the counters are plain).
    bool BytesSent(uint32_t) override { return Requested(); }
    bool BytesReceived(uint32_t) override { return Requested(); }
    // Why the stop came ("stop.txt found", ...); empty before.
    std::string Reason() const;

private:
    HarvestEnvironment &m_env;
    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_mutex;
    bool m_polled = false;
    uint32_t m_lastPoll = 0;
    std::string m_reason;
};

} // namespace lanternfold
