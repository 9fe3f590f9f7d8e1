// HarvestEnvironment: everything the harvester asks of the world outside its own state: new page
// fetchers, the name lookups of the address scan, the tick counter, sleeping, the stop request and
// the lines on standard error. The defaults use the real network and system; tests script them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "harvester/AddressScanner.h"

namespace vantry {
class PageFetcher;
} // namespace vantry

namespace lanternfold {

class HarvestEnvironment {
public:
    virtual ~HarvestEnvironment() = default;
    // A new fetcher over a fresh HTTP facade.
    virtual std::unique_ptr<vantry::PageFetcher> NewFetcher();
    virtual AddressScanner::Lookups &Lookups() { return m_lookups; }
    virtual uint32_t TickCount();
    virtual void SleepMs(uint32_t ms);
    // A file named "stop.txt" can be opened in the current directory, or a stop signal arrived.
    virtual bool StopRequested();
    // Why StopRequested holds: "SIGTERM or SIGINT received" or "stop.txt found".
    virtual std::string StopReason();
    // Removes a stop.txt left in the current directory from an earlier stop; gives whether there was one.
    virtual bool RemoveStaleStopFile();
    // Whether the one-line status display is shown (standard error is a terminal).
    virtual bool ShowStatus();
    // Writes to standard error: the status line and the one-line reports.
    virtual void WriteStdErr(const char *text);

private:
    AddressScanner::Lookups m_lookups;
};

} // namespace lanternfold
