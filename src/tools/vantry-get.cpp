// vantry-get: fetches URLs over the vantry library in the manner of curl and wget.
//   vantry-get [options] URL...      (vantry-get --help lists the options and exit codes)
#include <string>
#include <vector>

#include "platform/Files.h"
#include "tools/GetExit.h"
#include "tools/GetFetch.h"
#include "tools/GetOptions.h"

namespace vantry {
namespace {

void Print(int fd, const std::string &text) {
    uint32_t written = 0;
    int err = 0;
    platform::WriteFile(fd, text.data(), static_cast<uint32_t>(text.size()), &written, &err);
}

} // namespace

int RunGet(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    GetOptions options;
    std::string error;
    if (!ParseGetOptions(args, options, error)) {
        Print(2, "vantry-get: " + error + "\n");
        return kExitUsage;
    }
    if (options.Help) {
        Print(1, GetUsageText());
        return kExitOk;
    }
    if (options.Version) {
        Print(1, GetVersionText() + "\n");
        return kExitOk;
    }
    return RunFetches(options);
}

} // namespace vantry

int main(int argc, char **argv) {
    return vantry::RunGet(argc, argv);
}
