// The host and domain rules of cookies: IP-address hosts, public suffixes and registrable domains
// (the Public Suffix List through libpsl), and domain matching.
#pragma once
#include <string>
#include <string_view>

namespace vantry {

// A host written as an IP address: an IPv6 literal (it holds ':') or a name whose last label is a
// number (dotted IPv4 and its shorter forms). Such hosts only ever get host-only cookies.
bool IsIpAddressHost(std::string_view host);

// The host equals the domain, or (for a host that is not an IP address) ends with "." and it.
bool DomainMatches(std::string_view host, std::string_view domain);

// The registrable domain of a lower-case host or cookie domain: the public suffix and one label
// before it ("example.org" for "www.shop.example.org"). Empty for IP addresses and for names that
// are themselves public suffixes.
std::string RegistrableDomain(std::string_view domain);

} // namespace vantry
