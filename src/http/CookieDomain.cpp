// Domain rules of the cookie store. The Public Suffix List is loaded once per process through libpsl
// (the newer of its built-in list and the system's list file); its context is only read afterwards.
#include "http/CookieDomain.h"

#include <libpsl.h>

namespace vantry {

namespace {

const psl_ctx_t *SuffixList() {
    static const psl_ctx_t *list = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

} // namespace

bool IsIpAddressHost(std::string_view host) {
    if (host.find(':') != std::string_view::npos)
        return true;
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    size_t dot = host.rfind('.');
    std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
    if (last.empty())
        return false;
    for (char c : last)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
    if (host.empty() || domain.empty())
        return false;
    if (host == domain)
        return true;
    if (IsIpAddressHost(host) || host.size() <= domain.size())
        return false;
    return host.substr(host.size() - domain.size()) == domain && host[host.size() - domain.size() - 1] == '.';
}

std::string RegistrableDomain(std::string_view domain) {
    std::string name(domain);
    if (name.empty() || IsIpAddressHost(name))
        return std::string();
    const psl_ctx_t *list = SuffixList();
    if (!list) { // without any list: the last two labels
        size_t last = name.rfind('.');
        if (last == std::string::npos || last == 0)
            return std::string();
        size_t before = name.rfind('.', last - 1);
        return before == std::string::npos ? name : name.substr(before + 1);
    }
    const char *registrable = psl_registrable_domain(list, name.c_str());
    return registrable ? std::string(registrable) : std::string();
}

} // namespace vantry
