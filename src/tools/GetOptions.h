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
    std::string OutputFile;   // -o FILE (one URL; "-": standard output)
    bool RemoteName = false;  // -O: the file name is taken from each URL
    bool Text = false;        // --text: the page as UTF-8, as QuickGetHtml returns it
    bool IncludeHead = false; // -i: the response head before the body
    bool Head = false;        // -I (with the head written) or -X HEAD: a HEAD request, no body
    std::string WriteOut;     // -w FORMAT, written to standard output after each transfer
    bool Silent = false;      // -s: no progress line, no failure message (unless -S)
    bool ShowError = false;   // -S: the failure message even with -s
    bool Verbose = false;     // -v: the request and the facade's log on standard error
    RequestProfile Profile = RequestProfile::Generic;
    std::optional<std::string> UserAgent;                       // -A
    std::optional<std::string> Referer;                         // -e
    std::optional<std::pair<std::string, std::string>> Account; // -u USER:PASSWORD
    std::vector<std::pair<std::string, std::string>> Headers;   // -H "Name: value", in order
    bool Compressed = true;                                     // --compressed / --no-compressed
    std::optional<uint64_t> MaxSize;                            // --max-size BYTES
    std::optional<int> ConnectTimeout;                          // --connect-timeout S
    std::optional<int> ReadTimeout;                             // --read-timeout S (stall time-out)
    std::optional<int> MaxTime;                                 // --max-time S (0 or absent: no limit)
    bool NoFollow = false;                                      // --no-location (-L: follow, the default)
    std::optional<int> MaxRedirects;                            // --max-redirs N
    int Retry = 0;                                              // --retry N
    std::optional<std::pair<std::string, int>> Proxy;           // -x HOST[:PORT]
    bool NoProxyAtAll = false;                                  // -x "": no proxy, whatever the environment
    std::optional<std::string> NoProxy;                         // --noproxy LIST
    std::string CookieDir;                                      // --cookie-dir DIR
    std::string CacheDir;                                       // --cache-dir DIR (".dat" store)
    std::string CafDir;                                         // --caf-dir DIR (".caf" store)
    std::string CaCert;                                         // --cacert FILE
    bool Insecure = false;                                      // -k
    bool Fail = false;                                          // --fail
    bool Help = false;
    bool Version = false;
};

// The port of a proxy named without one.
constexpr int kDefaultProxyPort = 80;
// Redirects followed in a row unless --max-redirs says otherwise.
constexpr int kDefaultMaxRedirects = 4;

// A proxy as -x and the environment name it: [http://]HOST[:PORT][/]. False for another scheme, a user
// name, an empty host or a bad port.
bool ParseProxy(std::string text, std::pair<std::string, int> &out);

// Parses the arguments after the program name. False with a one-line reason (no program name, no
// line end) for an unknown option, a missing or bad value, or no URL.
bool ParseGetOptions(const std::vector<std::string> &args, GetOptions &out, std::string &error);

// The --help text and the --version line.
const char *GetUsageText();
std::string GetVersionText();

} // namespace vantry
