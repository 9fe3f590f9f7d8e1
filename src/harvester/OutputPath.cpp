// ChooseOutputPath: EnsureDirectory on the working directory, with the current directory as fallback.
#include "harvester/OutputPath.h"

#include "core/FileSys.h"
#include "core/LogNull.h"

namespace lanternfold {

using namespace vantry;

std::string ChooseOutputPath(const char *directoryOverride) {
    std::string directory =
        directoryOverride != nullptr && *directoryOverride != 0 ? directoryOverride : "/var/lib/tidewell/";
    if (directory.back() != '/')
        directory.push_back('/');
    LogNull log;
    return FileSys::EnsureDirectory(directory.c_str(), log) ? directory + "domains.txt"
                                                            : std::string("domains.txt");
}

} // namespace lanternfold
