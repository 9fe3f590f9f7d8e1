// Resident memory of a harvester after 1,000,000 distinct names found by its walks (goal: at most 48 MiB
// more than before it was made), printed beside what its written-names seen-set reserves itself. The
// names go to an output file and its journal in a temporary directory, removed at the end.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchProcess.h"
#include "core/StringSeen.h"
#include "harvester/Harvester.h"

using namespace vantry;
using namespace lanternfold;
using bench::MiB;
using bench::ResidentBytes;

int main() {
    char dir[] = "/tmp/lanternfold-membench-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const std::string output = std::string(dir) + "/domains.txt";
    constexpr int kNames = 1000000;

    const size_t before = ResidentBytes();
    size_t after = 0, seenReserved = 0, seenHeld = 0;
    {
        HarvestEnvironment env;
        Harvester harvester(env);
        harvester.Start(output.c_str());
        char name[64];
        std::vector<std::string> found;
        for (int i = 0; i < kNames; ++i) {
            std::snprintf(name, sizeof name, "www.site%07d-example.com", i);
            found.emplace_back(name);
            if (found.size() == 100) {
                harvester.State().FinishWalk("walked.example.com", found);
                found.clear();
            }
        }
        after = ResidentBytes();
        seenReserved = harvester.State().WrittenNames().BytesReserved();
        seenHeld = harvester.State().WrittenNames().BytesHeld();
        harvester.Finish();
    }
    std::remove(output.c_str());
    std::remove((output + ".journal").c_str());
    rmdir(dir);
    std::printf(
        "Harvester after %d names found by walks: %.1f MiB resident more than before (goal <= 48 MiB)\n",
        kNames, MiB(after - before));
    std::printf("writtenNames seen-set: %.1f MiB reserved, %.1f MiB by its formula\n", MiB(seenReserved),
                MiB(seenHeld));
    return 0;
}
