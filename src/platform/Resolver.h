// POSIX layer for name lookups: the only code that calls inet_pton, getaddrinfo and getnameinfo.
// Lookups are IPv4 only; the system's resolver configuration (hosts file, NSS) decides the answers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

namespace platform {

// A dotted IPv4 text ("127.0.0.1") into its address in network byte order.
bool ParseIPv4(const char *text, uint32_t *addressNetOrder);
// An IPv6 text ("::1", "2001:db8::7") into its sixteen address bytes.
bool ParseIPv6(const char *text, uint8_t address[16]);
// The first IPv4 address of a host name (getaddrinfo with AF_INET), in network byte order.
bool ResolveIPv4(const char *host, uint32_t *addressNetOrder);
// The host name for an IPv4 address and port (getnameinfo, flags 0): zero-terminated in host.
// With no registered name the system may answer with the dotted address itself.
bool ReverseLookupIPv4(uint32_t addressNetOrder, uint16_t port, char *host, size_t hostSize);

} // namespace platform

} // namespace vantry
