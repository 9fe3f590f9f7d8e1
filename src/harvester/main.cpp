// lanternfold: the process entry. Runs at idle priority, writes to /var/lib/tidewell/domains.txt (or
// domains.txt in the current directory when that directory cannot be made), stops on stop.txt in the
// current directory or on SIGTERM/SIGINT, and exits 0. LANTERNFOLD_DIR, used by the tests and the
// demo, names another directory in place of /var/lib/tidewell/.
#include <cstdlib>
#include <string>

#include "harvester/Harvester.h"
#include "harvester/OutputPath.h"
#include "platform/Process.h"
#include "platform/Signals.h"

int main(int, char **) {
    vantry::platform::SetIdlePriority();
    vantry::platform::InstallStopSignals();
    // thread-safe: read at start-up, before any other thread exists; nothing sets the environment.
    const std::string outputPath = lanternfold::ChooseOutputPath(std::getenv("LANTERNFOLD_DIR"));
    {
        lanternfold::Harvester harvester;
        harvester.Run(outputPath.c_str());
    }
    return 0;
}
