// The text that robots.txt rules are matched against: the path and query of a URL, and the one
// percent-encoded spelling into which both the rules and the URLs are brought before they meet.
#pragma once
#include <string>
#include <string_view>

namespace robotspath {

// The path, parameters and query of a URL without its fragment, always starting with '/':
// "http://h" and "http://h#x" give "/", "http://h?q" gives "/?q". A URL without a scheme is read
// as host and path ("example.com/a" gives "/a"); one starting with '/' is a path already.
std::string PathAndQuery(std::string_view url);

// Appends the canonical percent-encoding of `text` to `out`: %XX escapes of unreserved characters
// (letters, digits, '-', '.', '_', '~') are decoded, the hex digits of every other escape are
// upper-cased, and bytes beyond ASCII, control bytes and the space are escaped. Everything else,
// '*' and '$' included, stays as it is, so the same function serves rules and URLs.
void AppendNormalized(std::string_view text, std::string &out);

} // namespace robotspath
