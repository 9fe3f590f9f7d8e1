// Cookies: parsing one Set-Cookie value, the host and path match with its label boundary, and the
// collection of a response's cookies (dropping those for domains the answering host is not in).
#include "http/Cookie.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/StringPair.h"
#include "http/HttpResponseHeader.h"
#include "http/MimeField.h"

namespace vantry {

namespace {

long IntegerOf(std::string_view text) {
    std::string copy(text);
    return std::strtol(copy.c_str(), nullptr, 10);
}

} // namespace

Cookie::Cookie() = default;
Cookie::~Cookie() = default;

void Cookie::Reset() {
    Pairs.RemoveAllAndDelete();
    Domain.Clear();
    Path.Clear();
    Expire.Clear();
    Version = 0;
    Secure = false;
    Discard = false;
    MaxAge = 0;
}

const StringPair *Cookie::PairAt(int32_t index) const {
    return Pairs.ElementAs<StringPair>(index);
}

const char *Cookie::PairValue(const char *name) const {
    for (int32_t i = 0; i < Pairs.Count(); ++i) {
        const StringPair *p = PairAt(i);
        if (p && ascii::EqualsNoCase(p->Name(), name))
            return p->Value();
    }
    return nullptr;
}

void Cookie::SetPair(const char *name, const char *value) {
    for (int32_t i = 0; i < Pairs.Count(); ++i) {
        auto *p = Pairs.ElementAs<StringPair>(i);
        if (p && ascii::EqualsNoCase(p->Name(), name)) {
            p->ValueBuffer().SetString(value);
            return;
        }
    }
    Pairs.Append(new StringPair(name, value));
}

void Cookie::ParseSetCookie(const char *value) {
    Reset();
    if (!value)
        return;
    std::string_view rest(value);
    for (;;) {
        size_t semi = rest.find(';');
        std::string_view piece = ascii::TrimWhite(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        if (!piece.empty()) {
            size_t eq = piece.find('=');
            if (eq == std::string_view::npos) {
                if (ascii::EqualsNoCase(piece, "secure"))
                    Secure = true;
                else if (ascii::EqualsNoCase(piece, "discard"))
                    Discard = true;
                else
                    SetPair(std::string(piece).c_str(), "");
            } else {
                std::string_view name = ascii::TrimWhite(piece.substr(0, eq));
                std::string_view val = piece.substr(eq + 1);
                while (!val.empty() && ascii::IsWhite(val.front()))
                    val.remove_prefix(1);
                std::string valueText(val);
                if (ascii::EqualsNoCase(name, "domain"))
                    Domain.SetString(valueText.c_str());
                else if (ascii::EqualsNoCase(name, "path"))
                    Path.SetString(valueText.c_str());
                else if (ascii::EqualsNoCase(name, "expires"))
                    Expire.SetString(valueText.c_str());
                else if (ascii::EqualsNoCase(name, "port") || ascii::EqualsNoCase(name, "comment") ||
                         ascii::EqualsNoCase(name, "commentUrl")) {
                } else if (ascii::EqualsNoCase(name, "version")) {
                    long v = IntegerOf(val);
                    if (v == 0 || v == 1)
                        Version = static_cast<int32_t>(v);
                } else if (ascii::EqualsNoCase(name, "max-age")) {
                    MaxAge = static_cast<int32_t>(IntegerOf(val));
                } else if (!name.empty()) {
                    SetPair(std::string(name).c_str(), valueText.c_str());
                }
            }
        }
        if (semi == std::string_view::npos)
            break;
    }
}

bool HostInCookieDomain(const char *host, const char *domain) {
    std::string d = ascii::Lowered(ascii::TrimWhite(domain ? domain : ""));
    if (d.empty())
        return true;
    if (d.front() == '.')
        d.erase(0, 1);
    std::string h = ascii::Lowered(host ? host : "");
    if (d.empty() || h.empty())
        return false;
    if (h == d)
        return true;
    return h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
           h[h.size() - d.size() - 1] == '.';
}

bool Cookie::Matches(const char *host, const char *path) const {
    if (!HostInCookieDomain(host, Domain.Text()))
        return false;
    if (path && Path.Length() && !Path.Equals("/"))
        return std::strncmp(path, Path.Text(), static_cast<size_t>(Path.Length())) == 0;
    return true;
}

void CollectResponseCookies(const HttpResponseHeader &header, const char *defaultDomain,
                            const char *responseHost, ExtPtrArray &out) {
    const MimeHeader &fields = header.Fields;
    for (int32_t i = 0; i < fields.NumFields(); ++i) {
        const MimeField *field = fields.FieldAt(i);
        if (!field)
            continue;
        std::string_view name = field->Name.View();
        if (name.size() < 10 || !ascii::EqualsNoCase(name.substr(0, 10), "Set-Cookie"))
            continue;
        if (!ascii::EqualsNoCase(name, "Set-Cookie") && !ascii::EqualsNoCase(name, "Set-Cookie2"))
            continue;
        auto *cookie = new Cookie();
        cookie->ParseSetCookie(field->Value.Text());
        cookie->Domain.Trim();
        bool keep;
        if (cookie->Domain.Length()) {
            // One site cannot set cookies for another: the answering host must lie in the domain.
            keep = !responseHost || HostInCookieDomain(responseHost, cookie->Domain.Text());
        } else if (defaultDomain && *defaultDomain) {
            cookie->Domain.SetString(defaultDomain);
            keep = true;
        } else {
            keep = false;
        }
        if (keep)
            out.Append(cookie);
        else
            delete cookie;
    }
}

} // namespace vantry
