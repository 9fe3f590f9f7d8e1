// Host names: the DNS name check with IDNA, the www twin and the URL clean-up of tab and newlines.
#include "url/HostName.h"

#include <string>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"
#include "url/HostToAscii.h"

namespace vantry {

namespace {

constexpr size_t kMaxNameLength = 253;
constexpr size_t kMaxLabelLength = 63;

bool IsValidLabel(std::string_view label) {
    if (label.empty() || label.size() > kMaxLabelLength)
        return false;
    if (label.front() == '-' || label.back() == '-')
        return false;
    for (char c : label)
        if (!ascii::IsLetterOrDigit(c) && c != '-')
            return false;
    return true;
}

bool AllDigits(std::string_view label) {
    for (char c : label)
        if (!ascii::IsDigit(c))
            return false;
    return true;
}

// Every label valid, within the length, and a last label that is a name rather than a number.
bool IsDnsHostName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    std::string_view last;
    size_t start = 0;
    for (;;) {
        const size_t dot = name.find('.', start);
        const std::string_view label = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (!IsValidLabel(label))
            return false;
        last = label;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return !AllDigits(last);
}

bool IsUrlBlankOrControl(unsigned char c) {
    return c <= 0x20 || c == 0x7f;
}

} // namespace

bool NormalizeHostName(StringBuffer &host) {
    // Control bytes are refused before IDNA can map or drop any of them.
    for (unsigned char c : host.View())
        if (c < 0x20 || c == 0x7f)
            return false;
    StringBuffer name(host);
    if (!HostToAscii(name))
        return false;
    std::string text(name.View());
    for (char &c : text)
        c = ascii::ToLower(c);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    if (!IsDnsHostName(text))
        return false;
    host.SetString(text.c_str());
    return true;
}

std::string_view SiteKey(std::string_view host) {
    // "www.com" is a name of its own, not the www spelling of "com".
    if (host.size() > 4 && host.substr(0, 4) == "www." && host.find('.', 4) != std::string_view::npos)
        return host.substr(4);
    return host;
}

bool IsSameSiteHost(std::string_view host, std::string_view other) {
    return !host.empty() && SiteKey(host) == SiteKey(other);
}

void StripUrlWhitespace(StringBuffer &url) {
    std::string_view text = url.View();
    size_t begin = 0, end = text.size();
    while (begin < end && IsUrlBlankOrControl(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && IsUrlBlankOrControl(static_cast<unsigned char>(text[end - 1])))
        --end;
    std::string kept;
    kept.reserve(end - begin);
    for (size_t i = begin; i < end; ++i)
        if (text[i] != '\t' && text[i] != '\r' && text[i] != '\n')
            kept.push_back(text[i]);
    if (kept.size() != text.size())
        url.SetString(kept.c_str());
}

} // namespace vantry
