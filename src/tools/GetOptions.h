// vantry-get's command line: the options in the conventions of curl and wget, parsed into one record
// that the fetch applies to the facade's settings. Parsing touches nothing outside the record.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantry {

enum class RequestProfile { Generic, InternetExplorer, Firefox };

struct GetOptions {
    std::vector<std::string> Urls;
    std::string OutputFile;   // -o FILE (one URL only)
    bool RemoteName = false;  // -O: the file name is taken from each URL
    bool Text = false;        // --text: the page as UTF-8, as QuickGetHtml returns it
    bool IncludeHead = false; // -i: the response head before the body
    bool Verbose = false;     // -v: the request and the facade's log on standard error
    RequestProfile Profile = RequestProfile::Generic;
    std::optional<std::string> UserAgent;                       // -A
    std::optional<std::string> Referer;                         // -e
    std::optional<std::pair<std::string, std::string>> Account; // -u USER:PASSWORD
    std::vector<std::pair<std::string, std::string>> Headers;   // -H "Name: value", in order
    std::optional<uint32_t> MaxSize;                            // --max-size BYTES
    std::optional<int> ConnectTimeout;                          // --connect-timeout S
    std::optional<int> ReadTimeout;                             // --read-timeout S
    std::optional<int> MaxTime;                                 // --max-time S (0: no deadline)
    bool NoFollow = false;                                      // --no-follow
    std::optional<std::pair<std::string, int>> Proxy;           // -x HOST[:PORT]
    std::string CookieDir;                                      // --cookie-dir DIR
    std::string CacheDir;                                       // --cache-dir DIR (".dat" store)
    std::string CafDir;                                         // --caf-dir DIR (".caf" store)
    std::string CaCert;                                         // --cacert FILE
    bool Insecure = false;                                      // -k
    bool Fail = false;                                          // --fail
    bool Help = false;
    bool Version = false;
};

// Parses the arguments after the program name. False with a one-line reason (no program name, no
// line end) for an unknown option, a missing or bad value, or no URL.
bool ParseGetOptions(const std::vector<std::string> &args, GetOptions &out, std::string &error);

// The --help text and the --version line.
const char *GetUsageText();
std::string GetVersionText();

} // namespace vantry
