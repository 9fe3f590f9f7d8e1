// vantry-get's proxy choice: the variable curl reads for the URL's scheme, then the no_proxy list.
#include "tools/GetProxy.h"

#include <cstdio>
#include <cstdlib>

#include "core/AsciiText.h"

namespace vantry {

namespace {

const char *FirstSet(const EnvReader &env, std::initializer_list<const char *> names, std::string &name) {
    for (const char *n : names) {
        const char *value = env(n);
        if (value && *value) {
            name = n;
            return value;
        }
    }
    return nullptr;
}

bool ParseIPv4(const std::string &text, uint32_t &address) {
    unsigned a, b, c, d;
    char extra;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255)
        return false;
    address = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

bool EntryMatches(std::string entry, const std::string &host) {
    if (entry == "*")
        return true;
    while (!entry.empty() && entry.front() == '.')
        entry.erase(0, 1);
    if (entry.empty())
        return false;
    entry = ascii::Lowered(entry);
    uint32_t hostAddress = 0;
    if (ParseIPv4(host, hostAddress)) {
        size_t slash = entry.find('/');
        uint32_t net = 0;
        if (!ParseIPv4(entry.substr(0, slash), net))
            return false;
        int bits = 32;
        if (slash != std::string::npos) {
            char *end = nullptr;
            long b = std::strtol(entry.c_str() + slash + 1, &end, 10);
            if (*end != '\0' || b < 0 || b > 32)
                return false;
            bits = static_cast<int>(b);
        }
        uint32_t mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
        return (hostAddress & mask) == (net & mask);
    }
    if (host == entry)
        return true;
    return host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
           host[host.size() - entry.size() - 1] == '.';
}

} // namespace

std::string UrlHost(const std::string &url) {
    std::string rest = url;
    if (size_t scheme = rest.find("://"); scheme != std::string::npos)
        rest.erase(0, scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (size_t at = rest.rfind('@'); at != std::string::npos)
        rest.erase(0, at + 1);
    if (!rest.empty() && rest.front() == '[')
        return ascii::Lowered(rest.substr(1, rest.find(']') - 1));
    return ascii::Lowered(rest.substr(0, rest.find(':')));
}

bool NoProxyMatches(const std::string &list, const std::string &host) {
    std::string entry;
    for (size_t i = 0; i <= list.size(); ++i) {
        char c = i < list.size() ? list[i] : ',';
        if (c == ',' || c == ' ' || c == '\t') {
            if (!entry.empty() && EntryMatches(entry, host))
                return true;
            entry.clear();
        } else {
            entry.push_back(c);
        }
    }
    return false;
}

bool ChooseProxy(const GetOptions &options, const std::string &url, const EnvReader &env, ProxyChoice &out,
                 std::string &error) {
    out = ProxyChoice();
    if (options.NoProxyAtAll)
        return true;
    const std::string host = UrlHost(url);
    std::string exceptions;
    if (options.NoProxy) {
        exceptions = *options.NoProxy;
    } else {
        std::string unused;
        if (const char *list = FirstSet(env, {"no_proxy", "NO_PROXY"}, unused))
            exceptions = list;
    }
    if (NoProxyMatches(exceptions, host))
        return true;
    if (options.Proxy) {
        out.use = true;
        out.host = options.Proxy->first;
        out.port = options.Proxy->second;
        out.from = "-x";
        return true;
    }
    const bool https = ascii::StartsWithNoCase(url, "https:");
    std::string name;
    const char *value = https ? FirstSet(env, {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}, name)
                              : FirstSet(env, {"http_proxy", "all_proxy", "ALL_PROXY"}, name);
    if (!value)
        return true;
    std::pair<std::string, int> proxy;
    if (!ParseProxy(value, proxy)) {
        error = name + " \"" + value + "\": not a proxy this program can use (expected [http://]HOST[:PORT])";
        return false;
    }
    out.use = true;
    out.host = proxy.first;
    out.port = proxy.second;
    out.from = name;
    return true;
}

} // namespace vantry
