// StateFile: the harvester's crawl queue and the names of its crawled and scanned sets, saved beside
// the output so that a restarted harvester neither crawls a domain nor walks a neighbourhood again.
// The file is written to a temporary name and renamed; a damaged or foreign file is refused whole.
#pragma once
#include <string>
#include <vector>

namespace lanternfold {

struct HarvestState {
    std::vector<std::string> crawlQueue;
    std::vector<std::string> crawledDomains;
    std::vector<std::string> scannedNames;
};

namespace StateFile {
// Writes the state to path + ".tmp" and renames it to path.
bool Save(const char *path, const HarvestState &state);
// Reads the state. False with a reason ("missing", "damaged", "not a state file") when it cannot
// be trusted; `state` is then left empty.
bool Load(const char *path, HarvestState &state, std::string &reason);
} // namespace StateFile

} // namespace lanternfold
