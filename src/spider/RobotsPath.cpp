// Path extraction and percent-encoding normalisation for robots.txt matching.
#include "spider/RobotsPath.h"

#include "core/AsciiText.h"

namespace vantry {

namespace robotspath {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
    return ascii::IsLetterOrDigit(static_cast<char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}

void AppendEscaped(unsigned char c, std::string &out) {
    out.push_back('%');
    out.push_back(kHexDigits[c >> 4]);
    out.push_back(kHexDigits[c & 15]);
}

} // namespace

std::string PathAndQuery(std::string_view url) {
    // Two leading slashes introduce a host, as in "//host/path".
    const size_t searchStart = url.size() >= 2 && url[0] == '/' && url[1] == '/' ? 2 : 0;
    const size_t earlyPath = url.find_first_of("/?;", searchStart);
    size_t afterScheme = url.find("://", searchStart);
    // A "://" inside the path or query (a URL in a parameter) is no scheme separator.
    if (afterScheme == std::string_view::npos || earlyPath < afterScheme)
        afterScheme = searchStart;
    else
        afterScheme += 3;
    const size_t pathStart = url.find_first_of("/?;", afterScheme);
    if (pathStart == std::string_view::npos)
        return "/";
    const size_t hash = url.find('#', searchStart);
    if (hash < pathStart)
        return "/";
    const size_t pathEnd = hash == std::string_view::npos ? url.size() : hash;
    std::string path;
    if (url[pathStart] != '/')
        path.push_back('/');
    path.append(url.substr(pathStart, pathEnd - pathStart));
    return path;
}

void AppendNormalized(std::string_view text, std::string &out, Stars stars) {
    out.reserve(out.size() + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && ascii::HexValue(text[i + 1]) >= 0 &&
            ascii::HexValue(text[i + 2]) >= 0) {
            const unsigned char value =
                static_cast<unsigned char>(ascii::HexValue(text[i + 1]) * 16 + ascii::HexValue(text[i + 2]));
            if (IsUnreserved(value))
                out.push_back(static_cast<char>(value));
            else
                AppendEscaped(value, out);
            i += 2;
        } else if (c >= 0x80 || c <= 0x20 || c == 0x7F ||
                   (stars == Stars::Literal && (c == '*' || c == '$'))) {
            AppendEscaped(c, out);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

} // namespace robotspath

} // namespace vantry
