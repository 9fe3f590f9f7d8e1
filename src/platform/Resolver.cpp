// POSIX layer for name lookups: inet_pton (IPv4 and IPv6 texts), getaddrinfo with AF_INET, getnameinfo
// with flags 0.
#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace vantry {

namespace platform {

bool ParseIPv4(const char *text, uint32_t *addressNetOrder) {
    if (!text)
        return false;
    in_addr a{};
    if (inet_pton(AF_INET, text, &a) != 1)
        return false;
    *addressNetOrder = a.s_addr;
    return true;
}

bool ParseIPv6(const char *text, uint8_t address[16]) {
    if (!text)
        return false;
    in6_addr a{};
    if (inet_pton(AF_INET6, text, &a) != 1)
        return false;
    std::memcpy(address, &a, 16);
    return true;
}

bool ResolveIPv4(const char *host, uint32_t *addressNetOrder) {
    if (!host || !*host)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list)
        return false;
    bool found = false;
    for (addrinfo *p = list; p; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addr) {
            *addressNetOrder = reinterpret_cast<const sockaddr_in *>(p->ai_addr)->sin_addr.s_addr;
            found = true;
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

bool ReverseLookupIPv4(uint32_t addressNetOrder, uint16_t port, char *host, size_t hostSize) {
    if (!host || hostSize == 0)
        return false;
    host[0] = 0;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addressNetOrder;
    char service[256];
    int r = getnameinfo(reinterpret_cast<const sockaddr *>(&sa), sizeof sa, host,
                        static_cast<socklen_t>(hostSize), service, sizeof service, 0);
    if (r != 0) {
        host[0] = 0;
        return false;
    }
    return true;
}

} // namespace platform

} // namespace vantry
