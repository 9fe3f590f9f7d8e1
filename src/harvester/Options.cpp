// The command line: "--name value" or "--name=value" for the options that take a value.
#include "harvester/Options.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/AsciiText.h"

namespace lanternfold {

namespace {

constexpr uint32_t kLongestSpacingMs = 600000;
constexpr int kMostThreads = 256;

// A count of threads from 1 to 256.
bool ReadCount(const std::string &text, int &out) {
    if (text.empty() || text.size() > 3)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMostThreads)
        return false;
    out = value;
    return true;
}

bool ReadMilliseconds(const std::string &text, uint32_t &out) {
    if (text.empty() || text.size() > 6)
        return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kLongestSpacingMs)
        return false;
    out = value;
    return true;
}

bool IsWebUrl(const std::string &url) {
    const bool http = vantry::ascii::StartsWithNoCase(url, "http://");
    const bool https = vantry::ascii::StartsWithNoCase(url, "https://");
    const size_t hostAt = http ? 7 : https ? 8 : 0;
    return hostAt != 0 && url.size() > hostAt && url[hostAt] != '/';
}

} // namespace

const char *HelpText() {
    return "Usage: lanternfold [OPTION]...\n"
           "Collects host names from the web, unattended: fetches seed pages, crawls sites, walks the\n"
           "reverse-DNS neighbourhood of each new name, and appends every name not seen before to\n"
           "DIR/domains.txt (one a line). The state (queues, names crawled and scanned) is journalled in\n"
           "DIR/domains.txt.journal, so that a restarted harvester carries on where it stopped. A file\n"
           "stop.txt in the current directory, SIGTERM or SIGINT stops it within seconds.\n"
           "\n"
           "Options:\n"
           "  --dir DIR            keep domains.txt and its journal in DIR (default: $LANTERNFOLD_DIR,\n"
           "                       else /var/lib/tidewell; DIR is made when missing)\n"
           "  --seed URL           fetch this seed page instead of the built-in ones (http:// or\n"
           "                       https://; repeat for several); each is fetched at most every 10 minutes\n"
           "  --host-spacing MS    least time between the starts of two requests to one host, in\n"
           "                       milliseconds (default 1000; a robots.txt Crawl-delay may make it longer)\n"
           "  --workers N          crawl N sites at once (1 to 256, default 32); 1 runs everything in\n"
           "                       one loop, one step at a time\n"
           "  --lookups N          with more than one worker, up to N reverse name lookups at once for\n"
           "                       the neighbourhood walks (1 to 256, default 32; at most 4 at once into\n"
           "                       one /16 block)\n"
           "  --help               show this help and exit\n"
           "  --version            show the version and exit\n"
           "\n"
           "Exit status: 0 after a stop, 1 when DIR cannot be made, 2 for a bad command line.\n";
}

const char *VersionText() {
    return "lanternfold 1.1.0\n";
}

bool ParseOptions(int argc, const char *const *argv, Options &options, std::string &error) {
    options = Options();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] != nullptr ? argv[i] : "";
        std::string value;
        bool inlineValue = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inlineValue = true;
        }
        auto takeValue = [&](const char *what) {
            if (inlineValue)
                return true;
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                error = "option " + arg + " needs " + what;
                return false;
            }
            value = argv[++i];
            return true;
        };
        if ((arg == "--help" || arg == "-h") && !inlineValue) {
            options.help = true;
        } else if (arg == "--version" && !inlineValue) {
            options.version = true;
        } else if (arg == "--dir") {
            if (!takeValue("a directory"))
                return false;
            if (value.empty()) {
                error = "option --dir needs a directory";
                return false;
            }
            options.dir = value;
        } else if (arg == "--seed") {
            if (!takeValue("a URL"))
                return false;
            if (!IsWebUrl(value)) {
                error = "option --seed needs an http:// or https:// URL, not '" + value + "'";
                return false;
            }
            options.seeds.push_back(value);
        } else if (arg == "--host-spacing") {
            if (!takeValue("a number of milliseconds"))
                return false;
            if (!ReadMilliseconds(value, options.hostSpacingMs)) {
                error = "option --host-spacing needs milliseconds from 0 to 600000, not '" + value + "'";
                return false;
            }
        } else if (arg == "--workers" || arg == "--lookups") {
            if (!takeValue("a number"))
                return false;
            if (!ReadCount(value, arg == "--workers" ? options.workers : options.lookups)) {
                error = "option " + arg + " needs a number from 1 to 256, not '" + value + "'";
                return false;
            }
        } else if (arg.rfind("-", 0) == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    return true;
}

} // namespace lanternfold
