// vantry-get's fetches: the options applied to one HttpMan, then each URL fetched in turn (keep-alive
// within the process), its body streamed to the output, with progress line, verbose report, retries,
// -w and exit status.
#pragma once
#include <string>

#include "tools/GetExit.h"
#include "tools/GetOptions.h"
#include "tools/GetProxy.h"

namespace vantry {

class HttpMan;

// The URL as it will be fetched: "http://" is put before one without a scheme (as curl does); false with
// a reason for another scheme, an empty host or a blank inside the host.
bool NormaliseUrl(const std::string &given, std::string &url, std::string &error);

// Applies every setting option to the facade; false with a reason when a directory cannot be made.
bool ApplyOptions(const GetOptions &options, HttpMan &http, std::string &error);

// Fetches every URL of the options; the exit status is the first failure's (0 when all succeeded). The
// environment gives the proxies (http_proxy, https_proxy, no_proxy ...).
int RunFetches(const GetOptions &options);
int RunFetches(const GetOptions &options, const EnvReader &env);

// The TLS options: --cacert adds trust anchors; without -k a server must verify.
bool ApplyTlsOptions(const GetOptions &options, HttpMan &http, std::string &error);

} // namespace vantry
