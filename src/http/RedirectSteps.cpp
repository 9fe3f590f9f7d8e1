// The GET engine's redirect rules: followed statuses, the resolution and encoding of a Location, the
// origin test and the credentials withheld from another origin.
#include "http/RedirectSteps.h"

#include <string>

#include "core/AsciiText.h"
#include "http/HttpControl.h"
#include "url/UrlResolver.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

// The scheme of an absolute URL ("http", "ftp", ...); empty when the text does not start with one.
std::string_view SchemeOf(std::string_view url) {
    size_t i = 0;
    while (i < url.size() && (ascii::IsLetter(url[i]) || (i > 0 && (ascii::IsDigit(url[i]) || url[i] == '+' ||
                                                                    url[i] == '-' || url[i] == '.'))))
        ++i;
    return i > 0 && i < url.size() && url[i] == ':' ? url.substr(0, i) : std::string_view();
}

// A Location as a URI reference: what cannot stand in a URI is percent-encoded, as other clients do;
// a '%' already there is kept. The authority is left as it is: a host beyond ASCII is put in its
// ASCII form when the URL is split, and escapes there would change the name.
void EncodeLocation(std::string_view location, std::string &out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t authorityStart = std::string_view::npos, authorityEnd = std::string_view::npos;
    size_t afterScheme = SchemeOf(location).empty() ? 0 : SchemeOf(location).size() + 1;
    if (location.substr(afterScheme, 2) == "//") {
        authorityStart = afterScheme + 2;
        authorityEnd = location.find_first_of("/?#", authorityStart);
        if (authorityEnd == std::string_view::npos)
            authorityEnd = location.size();
    }
    for (size_t i = 0; i < location.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(location[i]);
        bool inAuthority =
            authorityStart != std::string_view::npos && i >= authorityStart && i < authorityEnd;
        if ((c <= 0x20 || c >= 0x7F) && !inAuthority) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

// "scheme://host:port" with the scheme lower-cased and the port ParseUrl gives (the scheme's default
// when the URL names none).
std::string OriginOf(const char *url) {
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    ParseUrl(url, host, port, user, password, path, query, fragment);
    std::string origin(SchemeOf(url != nullptr ? url : ""));
    for (char &c : origin)
        c = ascii::ToLower(c);
    return origin + "://" + std::string(host.View()) + ":" + std::to_string(port);
}

} // namespace

namespace redirect {

bool IsFollowedStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string_view WithoutFragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

void ResolveLocation(const char *base, const char *location, StringBuffer &out) {
    out.Clear();
    if (location == nullptr || base == nullptr)
        return;
    std::string reference;
    EncodeLocation(ascii::TrimWhite(location), reference);
    std::string_view baseView(base);
    std::string_view baseScheme = SchemeOf(baseView);
    std::string_view refScheme = SchemeOf(reference);
    std::string_view ref(reference);
    if (!refScheme.empty() && ascii::EqualsNoCase(refScheme, baseScheme) &&
        ref.substr(refScheme.size() + 1, 2) != "//")
        ref.remove_prefix(refScheme.size() + 1);
    if (!ResolveUrlReference(baseView, ref, out)) {
        out.Clear();
        return;
    }
    size_t hash = baseView.find('#');
    if (ref.find('#') == std::string_view::npos && hash != std::string_view::npos)
        out.Append(baseView.substr(hash));
}

bool IsHttpUrl(std::string_view url) {
    std::string_view scheme = SchemeOf(url);
    return ascii::EqualsNoCase(scheme, "http") || ascii::EqualsNoCase(scheme, "https");
}

bool HasHost(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == std::string_view::npos || url.substr(colon + 1, 2) != "//")
        return false;
    std::string_view authority = url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    return !authority.empty() && authority[0] != ':';
}

bool SameOrigin(const char *a, const char *b) {
    return OriginOf(a) == OriginOf(b);
}

CredentialsWithheld::CredentialsWithheld(HttpControl &control, bool withhold)
    : m_control(control), m_active(withhold), m_noLogin(control, withhold) {
    if (!m_active)
        return;
    m_extra.CopyFrom(control.ExtraHeaders);
    control.ExtraHeaders.RemoveAll("Authorization");
    control.ExtraHeaders.RemoveAll("Cookie");
}

CredentialsWithheld::~CredentialsWithheld() {
    if (!m_active)
        return;
    m_control.ExtraHeaders.CopyFrom(m_extra);
}

} // namespace redirect

} // namespace vantry
