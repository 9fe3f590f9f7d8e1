// Finding, removing and masking the user information of a URL.
#include "url/UrlCredentials.h"

#include <string_view>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

constexpr std::string_view kMask = "****";

bool IsScheme(std::string_view text) {
    if (text.empty() || !ascii::IsLetter(text[0]))
        return false;
    for (char c : text)
        if (!ascii::IsLetterOrDigit(c) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// Where the user information lies: [start, at) with the '@' at `at`; found is false when there is none.
struct UserInfo {
    bool found = false;
    size_t start = 0;
    size_t at = 0;
};

// After "scheme://"; in a text without that, from its start when fromStart is set (the way ParseUrl
// reads "user:password@host/path"), else nowhere ("mailto:someone@example.com" has none).
UserInfo FindUserInfo(std::string_view url, bool fromStart) {
    UserInfo info;
    size_t start = 0;
    size_t separator = url.find("://");
    if (separator != std::string_view::npos && IsScheme(url.substr(0, separator)))
        start = separator + 3;
    else if (!fromStart)
        return info;
    size_t end = url.find_first_of("/?#\\", start);
    if (end == std::string_view::npos)
        end = url.size();
    size_t at = url.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos)
        return info;
    info.found = true;
    info.start = start;
    info.at = start + at;
    return info;
}

} // namespace

bool SplitUrlCredentials(const char *url, StringBuffer &bare, StringBuffer &user, StringBuffer &password) {
    std::string_view text(url != nullptr ? url : "");
    bare.Clear();
    user.Clear();
    password.Clear();
    UserInfo info = FindUserInfo(text, true);
    if (!info.found) {
        bare.Append(text);
        return false;
    }
    std::string_view userInfo = text.substr(info.start, info.at - info.start);
    size_t colon = userInfo.find(':');
    user.Append(userInfo.substr(0, colon));
    if (colon != std::string_view::npos)
        password.Append(userInfo.substr(colon + 1));
    bare.Append(text.substr(0, info.start));
    bare.Append(text.substr(info.at + 1));
    return true;
}

void MaskUrlCredentials(const char *url, StringBuffer &out) {
    std::string_view text(url != nullptr ? url : "");
    out.Clear();
    UserInfo info = FindUserInfo(text, false);
    size_t colon =
        info.found ? text.substr(info.start, info.at - info.start).find(':') : std::string_view::npos;
    if (colon == std::string_view::npos) {
        out.Append(text);
        return;
    }
    out.Append(text.substr(0, info.start + colon + 1));
    out.Append(kMask);
    out.Append(text.substr(info.at));
}

} // namespace vantry
