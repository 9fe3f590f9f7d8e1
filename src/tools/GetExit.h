// vantry-get's exit status: one code per class of failure (curl's numbers where curl has the class),
// chosen from the error entries of the library's log, and the one-line message that reports it.
#pragma once
#include <string>
#include <vector>

namespace vantry {

enum GetExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,      // anything not classified below (an answer that is not HTTP/1.x among them)
    kExitUsage = 2,        // unknown option, missing or bad value
    kExitBadUrl = 3,       // malformed or refused URL
    kExitProxy = 5,        // the proxy's name not found, or a proxy setting that cannot be used
    kExitResolve = 6,      // host name not found
    kExitConnect = 7,      // connection refused or failed
    kExitWeirdReply = 8,   // a response head that breaks the protocol (no colon, NUL, bad Content-Length)
    kExitHttpError = 22,   // status 400 or more, with --fail
    kExitPartial = 18,     // the connection ended before the whole response arrived
    kExitWrite = 23,       // output cannot be written
    kExitTimeout = 28,     // a time-out or the exchange deadline
    kExitTls = 35,         // TLS handshake or channel failure
    kExitRedirects = 47,   // a redirect chain longer than the engine follows
    kExitGotNothing = 52,  // the server closed the connection without answering
    kExitReceive = 56,     // no or broken response
    kExitTlsVerify = 60,   // the server's certificate did not verify
    kExitBadEncoding = 61, // a transfer coding we do not know, or a gzip body that does not decode
    kExitTooLarge = 63,    // body larger than --max-size
};

// The texts of the error entries of a log in its XML rendering, in order, as they were logged.
std::vector<std::string> CollectLogErrors(const std::string &logXml);

// The failure class of a fetch that failed, from its error entries.
GetExitCode ClassifyFailure(const std::vector<std::string> &errors);

// Whether a failure of that class came after some of the body may have arrived: what came is then written
// out, as a client that writes a body while it arrives would have done.
bool FailureKeepsPartialBody(GetExitCode code);

// Short name of a class, as it opens the failure message ("could not connect", ...).
const char *ExitCodeDescription(GetExitCode code);

// "vantry-get: URL: <description>: <entry>" (without a line end): the entry that says most about the
// failure (a connect failure with host, port and reason; what failed in TLS), else the first.
std::string FailureMessage(GetExitCode code, const std::string &url, const std::vector<std::string> &errors);

} // namespace vantry
