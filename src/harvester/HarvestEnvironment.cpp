// HarvestEnvironment: the real network, clock, stop file, signals and terminal.
#include "harvester/HarvestEnvironment.h"

#include <cstring>

#include "core/FileSys.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Signals.h"
#include "spider/HttpManFetcher.h"

namespace lanternfold {

using namespace vantry;

std::unique_ptr<PageFetcher> HarvestEnvironment::NewFetcher() {
    return std::make_unique<HttpManFetcher>();
}

uint32_t HarvestEnvironment::TickCount() {
    return platform::GetTickCount();
}

void HarvestEnvironment::SleepMs(uint32_t ms) {
    platform::SleepMs(ms);
}

bool HarvestEnvironment::StopRequested() {
    if (platform::StopSignalCount() > 0)
        return true;
    int handle = FileSys::OpenFileForRead("stop.txt", nullptr);
    if (handle < 0)
        return false;
    FileSys::CloseFile(handle);
    return true;
}

bool HarvestEnvironment::ShowStatus() {
    return platform::StdErrIsTerminal();
}

void HarvestEnvironment::WriteStdErr(const char *text) {
    platform::WriteStdErr(text, std::strlen(text));
}

} // namespace lanternfold
