// URL and host-name utilities shared by the harvester, the spider, the GET engine, the connection
// pool and the cookie store: URL splitting, base domains, escapes, absolute links, outbound tests.
#pragma once
#include <cstdint>

namespace vantry {

class DataBuffer;
class LogBase;
class StringBuffer;

// Longest URL that MakeAbsolute produces.
constexpr int32_t kMaxAbsoluteUrlLength = 1999;

// Splits a URL into its parts (every output is cleared first; the port starts at 80, or 443 for
// https). The host is lower-cased (ASCII letters) and cleaned, and a host beyond ASCII is put in its
// ASCII form. Gives false, with every output cleared, for an absent URL or a host without ASCII form.
bool ParseUrl(const char *url, StringBuffer &host, int32_t &port, StringBuffer &user, StringBuffer &password,
              StringBuffer &path, StringBuffer &query, StringBuffer &fragment);
bool GetUrlHost(const char *url, StringBuffer &host);
bool GetUrlPath(const char *url, StringBuffer &path);

// Reduces a host name to its registrable base domain (www.example.co.uk -> example.co.uk).
void GetBaseDomain(const char *host, StringBuffer &baseDomain);
// Puts "www." in front of a name with exactly one '.'; gives whether it did.
bool AddWwwToBareDomain(StringBuffer &name);
// Decodes '+' and %XX escapes, appending the bytes to `out`.
void UrlDecode(const char *text, DataBuffer &out);
// Makes a link absolute against the page's URL (links starting with http: or https: stay as they
// are). Gives false, leaving the link unchanged, when that is not possible or the result is too long.
bool MakeAbsolute(StringBuffer &link, const char *baseUrl, LogBase &log);
// Whether an http URL leads outside the domain; texts not starting with "http" are never outbound.
bool IsOutbound(const char *url, const char *domain);

} // namespace vantry
