// vantry-get's exit status: one code per class of failure (curl's numbers where curl has the class),
// chosen from the error entries of the library's log, and the one-line message that reports it.
#pragma once
#include <string>
#include <vector>

namespace vantry {

enum GetExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,    // anything not classified below
    kExitUsage = 2,      // unknown option, missing or bad value
    kExitBadUrl = 3,     // malformed or refused URL
    kExitResolve = 6,    // host name not found
    kExitConnect = 7,    // connection refused or failed
    kExitHttpError = 22, // status 400 or more, with --fail
    kExitWrite = 23,     // output cannot be written
    kExitTimeout = 28,   // a time-out or the exchange deadline
    kExitTls = 35,       // TLS handshake or channel failure
    kExitReceive = 56,   // no or broken response
    kExitTlsVerify = 60, // the server's certificate did not verify
    kExitTooLarge = 63,  // body larger than --max-size
};

// The texts of the error entries of a log in its XML rendering, in order, as they were logged.
std::vector<std::string> CollectLogErrors(const std::string &logXml);

// The failure class of a fetch that failed, from its error entries.
GetExitCode ClassifyFailure(const std::vector<std::string> &errors);

// Short name of a class, as it opens the failure message ("could not connect", ...).
const char *ExitCodeDescription(GetExitCode code);

// "vantry-get: URL: <description>: <first error entry>" (without a line end).
std::string FailureMessage(GetExitCode code, const std::string &url, const std::vector<std::string> &errors);

} // namespace vantry
