// The command line of lanternfold: the options, their help text, and the parse that refuses anything
// it does not know before the program touches the network.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lanternfold {

struct Options {
    bool help = false;
    bool version = false;
    // The working directory (output and state); empty: LANTERNFOLD_DIR, else /var/lib/tidewell.
    std::string dir;
    std::vector<std::string> seeds;
    uint32_t hostSpacingMs = 1000;
    // Crawl workers (1: the single loop) and reverse lookups in flight at once.
    int workers = 32;
    int lookups = 32;
};

// Reads argv[1..]. False with a message (for standard error) on an unknown option, a missing or bad
// value, or a stray argument.
bool ParseOptions(int argc, const char *const *argv, Options &options, std::string &error);
// The text of --help.
const char *HelpText();
// The text of --version.
const char *VersionText();

} // namespace lanternfold
