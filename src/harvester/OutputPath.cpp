// ChooseOutputPath: EnsureDirectory on the working directory, with the current directory as fallback.
#include "harvester/OutputPath.h"

#include "core/FileSys.h"
#include "core/LogNull.h"

namespace lanternfold {

using namespace vantry;

bool MakeOutputPath(const char *directoryText, std::string &outputPath) {
    std::string directory = directoryText != nullptr ? directoryText : "";
    if (directory.empty())
        return false;
    if (directory.back() != '/')
        directory.push_back('/');
    LogNull log;
    if (!FileSys::EnsureDirectory(directory.c_str(), log))
        return false;
    outputPath = directory + "domains.txt";
    return true;
}

std::string ChooseOutputPath(const char *directoryOverride) {
    const char *directory =
        directoryOverride != nullptr && *directoryOverride != 0 ? directoryOverride : "/var/lib/tidewell/";
    std::string outputPath;
    return MakeOutputPath(directory, outputPath) ? outputPath : std::string("domains.txt");
}

} // namespace lanternfold
