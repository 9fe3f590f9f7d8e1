// StateFile: the state file of earlier versions ("domains.txt.state": the crawl queue and the names of
// the crawled and scanned sets). Read once, when no journal exists yet, and moved into the journal.
// Save is kept so that such files can be made for tests. A damaged or foreign file is refused whole.
#pragma once
#include <string>
#include <vector>

namespace lanternfold {

struct SavedState {
    std::vector<std::string> crawlQueue;
    std::vector<std::string> crawledDomains;
    std::vector<std::string> scannedNames;
};

namespace StateFile {
// Writes the state to path + ".tmp" and renames it to path.
bool Save(const char *path, const SavedState &state);
// Reads the state. False with a reason ("missing", "damaged", "not a state file") when it cannot
// be trusted; `state` is then left empty.
bool Load(const char *path, SavedState &state, std::string &reason);
} // namespace StateFile

} // namespace lanternfold
