// vantry-get's choice of proxy for a URL, as curl makes it: -x when given (-x "" for none), else the
// environment: http_proxy (lower case only) for http URLs, https_proxy or HTTPS_PROXY for https URLs
// (reached through a CONNECT tunnel), all_proxy or ALL_PROXY for either; no_proxy or NO_PROXY (or
// --noproxy) lists the hosts reached directly.
#pragma once
#include <functional>
#include <string>
#include <utility>

#include "tools/GetOptions.h"

namespace vantry {

// Reads one environment variable; null when it is not set.
using EnvReader = std::function<const char *(const char *name)>;

struct ProxyChoice {
    bool use = false;
    std::string host;
    int port = 0;
    std::string from; // where it came from: "-x" or the variable's name
};

// The proxy for url (already normalised, with its scheme). False with a reason when the variable that
// applies names a proxy this program cannot use.
bool ChooseProxy(const GetOptions &options, const std::string &url, const EnvReader &env, ProxyChoice &out,
                 std::string &error);

// Whether host is in a no_proxy list: entries separated by commas or blanks, "*" for every host, a name
// matching itself and its subdomains (a leading dot is ignored), an IPv4 address or a.b.c.d/bits range.
bool NoProxyMatches(const std::string &list, const std::string &host);

// The host of a normalised URL, lower-cased, without user, port or brackets.
std::string UrlHost(const std::string &url);

} // namespace vantry
