// Reading robots.txt into records: the file is cut to its size limit, split at CR, LF or CR LF,
// and each line is cut at its comment and split into a key and a value.
#include "spider/RobotsRecords.h"

#include <initializer_list>

#include "core/AsciiText.h"

namespace vantry {

namespace robotsrecords {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool BeginsWithAny(std::string_view key, std::initializer_list<std::string_view> spellings) {
    for (std::string_view spelling : spellings)
        if (ascii::StartsWithNoCase(key, spelling))
            return true;
    return false;
}

// The file without the bytes past the size limit (and without the line the limit cuts through).
std::string_view WithinLimit(std::string_view text) {
    if (text.size() <= kMaxFileBytes)
        return text;
    const char next = text[kMaxFileBytes];
    text = text.substr(0, kMaxFileBytes);
    if (next == '\n' || next == '\r')
        return text;
    const size_t lastEnd = text.find_last_of("\r\n");
    return lastEnd == std::string_view::npos ? std::string_view() : text.substr(0, lastEnd + 1);
}

// The byte order mark is skipped, and so is any leading part of it.
std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    size_t i = 0;
    while (i < kMark.size() && i < text.size() && text[i] == kMark[i])
        ++i;
    return text.substr(i);
}

// Splits one line into key and value; false when it holds none.
bool SplitLine(std::string_view line, std::string_view &key, std::string_view &value) {
    const size_t zero = line.find('\0');
    if (zero != std::string_view::npos)
        line = line.substr(0, zero);
    const size_t comment = line.find('#');
    if (comment != std::string_view::npos)
        line = line.substr(0, comment);
    line = Trim(line);
    size_t separator = line.find(':');
    if (separator == std::string_view::npos) {
        // A forgotten colon: white space separates the key from the value when there are two words.
        separator = line.find_first_of(" \t");
        if (separator == std::string_view::npos)
            return false;
        const std::string_view rest = Trim(line.substr(separator));
        if (rest.find_first_of(" \t") != std::string_view::npos)
            return false;
    }
    key = Trim(line.substr(0, separator));
    value = Trim(line.substr(separator + 1));
    return !key.empty();
}

void VisitLine(std::string_view line, const std::function<void(const Record &)> &visit) {
    std::string_view key, value;
    if (SplitLine(line.substr(0, kMaxLineBytes), key, value))
        visit(Record{KeyOf(key), value});
}

} // namespace

Key KeyOf(std::string_view key) {
    if (BeginsWithAny(key, {"user-agent", "useragent", "user agent", "user_agent"}))
        return Key::UserAgent;
    if (ascii::StartsWithNoCase(key, "allow"))
        return Key::Allow;
    if (BeginsWithAny(key, {"disallow", "dissallow", "dissalow", "disalow", "diasllow", "disallaw"}))
        return Key::Disallow;
    if (BeginsWithAny(key, {"crawl-delay", "crawldelay", "crawl delay", "crawl_delay"}))
        return Key::CrawlDelay;
    if (BeginsWithAny(key, {"sitemap", "site-map"}))
        return Key::Sitemap;
    return Key::Other;
}

void ReadRecords(std::string_view text, const std::function<void(const Record &)> &visit) {
    text = WithoutByteOrderMark(WithinLimit(text));
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            VisitLine(text.substr(start), visit);
            return;
        }
        VisitLine(text.substr(start, end - start), visit);
        // CR LF ends one line, not two.
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

} // namespace robotsrecords

} // namespace vantry
