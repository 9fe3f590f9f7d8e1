// HarvestEnvironment: the real network, clock, stop file, signals and terminal.
#include "harvester/HarvestEnvironment.h"

#include <cstring>

#include "core/FileSys.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Signals.h"
#include "spider/HttpManFetcher.h"

namespace lanternfold {

using namespace vantry;

namespace {
constexpr const char *kStopFile = "stop.txt";

bool StopFileOpens() {
    int handle = FileSys::OpenFileForRead(kStopFile, nullptr);
    if (handle < 0)
        return false;
    FileSys::CloseFile(handle);
    return true;
}
} // namespace

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
    return platform::StopSignalCount() > 0 || StopFileOpens();
}

std::string HarvestEnvironment::StopReason() {
    if (platform::StopSignalCount() > 0)
        return "SIGTERM or SIGINT received";
    return "stop.txt found";
}

bool HarvestEnvironment::RemoveStaleStopFile() {
    if (!platform::PathExists(kStopFile))
        return false;
    int err = 0;
    platform::DeleteFile(kStopFile, &err);
    return true;
}

bool HarvestEnvironment::ShowStatus() {
    return platform::StdErrIsTerminal();
}

void HarvestEnvironment::WriteStdErr(const char *text) {
    platform::WriteStdErr(text, std::strlen(text));
}

} // namespace lanternfold
