// The lines of a robots.txt file read as key and value records: line ends, comments, the byte order
// mark, size limits and the common misspellings of the keys. RobotsRules builds its groups on them.
#pragma once
#include <cstddef>
#include <functional>
#include <string_view>

namespace vantry {

namespace robotsrecords {

// Bytes of a file that are read; a line cut by the limit is dropped whole.
constexpr size_t kMaxFileBytes = 500 * 1024;
// Bytes of one line that are kept; the rest of a longer line is ignored.
constexpr size_t kMaxLineBytes = 16663;

enum class Key { UserAgent, Allow, Disallow, CrawlDelay, Sitemap, Other };

struct Record {
    Key key;
    std::string_view value; // trimmed; may be empty
};

// Calls `visit` for every line that holds a key and a value, in file order. A line is
// "key: value" or, without a colon, "key value" (exactly two words); '#' starts a comment.
void ReadRecords(std::string_view text, const std::function<void(const Record &)> &visit);

// The kind of a key, letter case ignored. Keys are recognised by their beginning and with the
// misspellings robots.txt authors commonly make ("useragent", "user agent", "dissallow", ...).
Key KeyOf(std::string_view key);

} // namespace robotsrecords

} // namespace vantry
