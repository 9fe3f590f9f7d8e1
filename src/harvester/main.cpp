// lanternfold: the process entry. Runs at idle priority, writes to /var/lib/tidewell/domains.txt (or
// domains.txt in the current directory when that directory cannot be made), stops on stop.txt in the
// current directory or on SIGTERM/SIGINT. LANTERNFOLD_DIR, used by the tests and the demo, names
// another directory in place of /var/lib/tidewell/.
#include <cstdlib>
#include <string>

#include "core/FileSys.h"
#include "harvester/Harvester.h"
#include "log/LogNull.h"
#include "platform/Process.h"
#include "platform/Signals.h"

int main(int, char **) {
    platform::SetIdlePriority();
    platform::InstallStopSignals();

    const char *dirOverride = std::getenv("LANTERNFOLD_DIR");
    std::string directory = dirOverride != nullptr && *dirOverride ? dirOverride : "/var/lib/tidewell/";
    if (directory.back() != '/')
        directory.push_back('/');
    LogNull log;
    const std::string outputPath = FileSys::EnsureDirectory(directory.c_str(), log)
                                       ? directory + "domains.txt"
                                       : std::string("domains.txt");

    {
        Harvester harvester;
        harvester.Run(outputPath.c_str());
    }
    return 0;
}
