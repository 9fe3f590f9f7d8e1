// lanternfold: the process entry. Reads the command line (anything unknown ends the program with
// exit code 2 before it touches the network), runs at idle priority, writes to domains.txt in the
// working directory (--dir, else LANTERNFOLD_DIR, else /var/lib/tidewell/, else the current
// directory when that cannot be made), stops on stop.txt in the current directory or on SIGTERM/SIGINT,
// and exits 0.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "harvester/Harvester.h"
#include "harvester/Options.h"
#include "harvester/OutputPath.h"
#include "platform/Process.h"
#include "platform/Signals.h"

int main(int argc, char **argv) {
    lanternfold::Options options;
    std::string error;
    if (!lanternfold::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "lanternfold: %s (see lanternfold --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(lanternfold::HelpText(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(lanternfold::VersionText(), stdout);
        return 0;
    }
    std::string outputPath;
    if (!options.dir.empty()) {
        // A directory named on the command line is used or nothing is: no fallback.
        if (!lanternfold::MakeOutputPath(options.dir.c_str(), outputPath)) {
            std::fprintf(stderr, "lanternfold: cannot make the directory %s\n", options.dir.c_str());
            return 1;
        }
    } else {
        // thread-safe: read at start-up, before any other thread exists; nothing sets the environment.
        outputPath = lanternfold::ChooseOutputPath(std::getenv("LANTERNFOLD_DIR"));
    }
    vantry::platform::SetIdlePriority();
    vantry::platform::InstallStopSignals();
    lanternfold::HarvestSettings settings;
    settings.seeds = options.seeds;
    settings.hostSpacingMs = options.hostSpacingMs;
    settings.workers = options.workers;
    settings.lookups = options.lookups;
    auto harvester = std::make_unique<lanternfold::Harvester>(std::move(settings));
    harvester->Run(outputPath.c_str());
    if (harvester->ThreadsLeftRunning() > 0) {
        // The state is saved; threads held in system name lookups would only delay the exit.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    harvester.reset();
    return 0;
}
