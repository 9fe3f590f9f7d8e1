// Name lookups beside VantrySocket: forward (host to dotted IPv4) and reverse (dotted IPv4 to host name),
// through platform/Resolver.
#include "net/NameLookup.h"

#include <cstdio>
#include <cstring>

#include "core/AsciiText.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "net/VantrySocket.h"
#include "platform/Resolver.h"

namespace vantry {

namespace {
// One "%d" conversion: blanks, an optional sign, at least one digit.
const char *ReadInteger(const char *p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    if (*p < '0' || *p > '9')
        return nullptr;
    while (*p >= '0' && *p <= '9')
        ++p;
    return p;
}
} // namespace

bool ReadsAsFourIntegers(const char *text, char sep) {
    if (!text)
        return false;
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != sep)
                return false;
            ++p;
        }
        p = ReadInteger(p);
        if (!p)
            return false;
    }
    return true;
}

bool ResolveDottedIp(const char *host, StringBuffer &out) {
    if (!host)
        return false;
    const std::string_view trimmed = ascii::TrimSpace(host);
    const char *target = (trimmed.empty() || ascii::EqualsNoCase(trimmed, "localhost")) ? "127.0.0.1" : host;

    uint32_t address = 0;
    if (!platform::ParseIPv4(target, &address) && !platform::ResolveIPv4(target, &address))
        return false;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(&address);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    out.Append(text);
    out.ShrinkToFit();
    return true;
}

bool ReverseLookup(const char *ip, int port, StringBuffer &out) {
    out.Clear();
    LogNull discard;
    if (!VantrySocket::StartWinsock(discard))
        return false;
    uint32_t address = 0;
    if (!ip || !platform::ParseIPv4(ip, &address))
        return false;
    char host[256];
    if (!platform::ReverseLookupIPv4(address, static_cast<uint16_t>(port), host, sizeof host))
        return false;
    if (std::strcmp(host, ip) != 0 && !ReadsAsFourIntegers(host, '.'))
        out.Append(host);
    return out.Length() > 0;
}

} // namespace vantry
