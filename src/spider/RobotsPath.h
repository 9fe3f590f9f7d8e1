// The text that robots.txt rules are matched against: the path and query of a URL, and the one
// percent-encoded spelling into which both the rules and the URLs are brought before they meet.
#pragma once
#include <string>
#include <string_view>

namespace vantry {

namespace robotspath {

// The path, parameters and query of a URL without its fragment, always starting with '/':
// "http://h" and "http://h#x" give "/", "http://h?q" gives "/?q". A URL without a scheme is read
// as host and path ("example.com/a" gives "/a"); one starting with '/' is a path already.
std::string PathAndQuery(std::string_view url);

// How '*' and '$' are read: as the wildcards of a rule, or as the ordinary characters of a URL,
// which are escaped so that they meet a rule's %2A and %24 and never its wildcards.
enum class Stars { Wildcards, Literal };

// Appends the canonical percent-encoding of `text` to `out`: %XX escapes of unreserved characters
// (letters, digits, '-', '.', '_', '~') are decoded, the hex digits of every other escape are
// upper-cased, and bytes beyond ASCII, control bytes and the space are escaped; '*' and '$' as
// `stars` says. Everything else stays as it is.
void AppendNormalized(std::string_view text, std::string &out, Stars stars);

} // namespace robotspath

} // namespace vantry
