// The XML form of a cookie domain file, read and written with pugixml. Reading validates every
// cookie as if it had just arrived (no control bytes, a path starting with "/", a domain that is
// within a registrable domain unless host-only), so whatever a file says cannot break a Cookie line.
#include "http/CookieFile.h"

#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "http/Cookie.h"
#include "http/CookieDate.h"
#include "http/CookieDomain.h"
#include "http/CookieJar.h"

namespace vantry {

namespace {

constexpr unsigned kParseFlags = pugi::parse_default;

bool IsTagByte(char c) {
    return ascii::IsLetterOrDigit(c) || c == '-' || c == '_' || c == '.';
}

// A cookie name that can stand as an element tag: ASCII letters, digits, '-', '_' and '.', starting
// with a letter or '_', and not beginning with "xml" in any case.
bool IsTagName(const std::string &name) {
    if (name.empty())
        return false;
    char first = name[0];
    if (!(ascii::IsLetter(first) || first == '_'))
        return false;
    for (char c : name)
        if (!IsTagByte(c))
            return false;
    return !ascii::StartsWithNoCase(name, "xml");
}

bool IsYes(const pugi::xml_node &node, const char *attribute) {
    return std::strcmp(node.attribute(attribute).value(), "yes") == 0;
}

bool HasControlByte(const std::string &text) {
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// The attributes shared by every cookie of one element; false when the element names no usable
// domain and path.
bool ReadElementAttributes(const pugi::xml_node &node, int64_t order, Cookie &shared) {
    std::string key = node.attribute("key").value();
    size_t comma = key.find(',');
    if (comma == std::string::npos)
        return false;
    shared.HostOnly = IsYes(node, "hostOnly");
    std::string domain = ascii::Lowered(std::string_view(key).substr(0, comma));
    if (!shared.HostOnly && !domain.empty() && domain.front() == '.')
        domain.erase(0, 1);
    if (domain.empty() || HasControlByte(domain))
        return false;
    // A domain cookie belongs to a registrable domain or below, never to a public suffix or an
    // address (older files could hold such planted ones).
    if (!shared.HostOnly && RegistrableDomain(domain).empty())
        return false;
    shared.Domain = domain;
    shared.Path = key.substr(comma + 1);
    if (shared.Path.empty())
        shared.Path.push_back('/'); // older files: no Path attribute meant every path
    if (shared.Path.front() != '/' || HasControlByte(shared.Path))
        return false;
    shared.Secure = IsYes(node, "secure");
    shared.HttpOnly = IsYes(node, "httpOnly");
    shared.SameSite = node.attribute("sameSite").value();
    if (HasControlByte(shared.SameSite))
        shared.SameSite.clear();
    int64_t expiry = 0;
    const char *expire = node.attribute("expire").value();
    if (*expire && ParseCookieDate(expire, expiry)) {
        shared.Persistent = true;
        shared.ExpiryMs = expiry * 1000;
    }
    // Without stamps a cookie counts as older than any stamped one, in file order.
    shared.CreationMs = node.attribute("created") ? node.attribute("created").as_llong(order) : order;
    shared.LastAccessMs = node.attribute("lastAccess")
                              ? node.attribute("lastAccess").as_llong(shared.CreationMs)
                              : shared.CreationMs;
    return true;
}

void ReadElement(const pugi::xml_node &node, int64_t &order, CookieJar &jar) {
    Cookie shared;
    if (!ReadElementAttributes(node, order, shared))
        return;
    for (pugi::xml_node pair : node.children()) {
        if (pair.type() != pugi::node_element)
            continue;
        auto cookie = std::make_unique<Cookie>(shared);
        pugi::xml_attribute name = pair.attribute("name");
        cookie->Name = name ? name.value() : pair.name();
        cookie->Value = pair.text().get();
        if (!node.attribute("created"))
            cookie->CreationMs = cookie->LastAccessMs = order;
        ++order;
        if (cookie->IsWellFormed())
            jar.Append(cookie.release());
    }
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void *data, size_t size) override { text.append(static_cast<const char *>(data), size); }
};

void WriteCookie(const Cookie &cookie, pugi::xml_node &root) {
    pugi::xml_node element = root.append_child("cookie");
    std::string key = (cookie.HostOnly ? "" : ".") + cookie.Domain + "," + cookie.Path;
    element.append_attribute("key").set_value(key.c_str());
    element.append_attribute("v").set_value("0");
    if (cookie.Persistent) {
        int64_t seconds = cookie.ExpiryMs >= 0 ? cookie.ExpiryMs / 1000 : -((-cookie.ExpiryMs + 999) / 1000);
        element.append_attribute("expire").set_value(FormatCookieDate(seconds).c_str());
    }
    if (cookie.Secure)
        element.append_attribute("secure").set_value("yes");
    if (cookie.HostOnly)
        element.append_attribute("hostOnly").set_value("yes");
    if (cookie.HttpOnly)
        element.append_attribute("httpOnly").set_value("yes");
    if (!cookie.SameSite.empty())
        element.append_attribute("sameSite").set_value(cookie.SameSite.c_str());
    element.append_attribute("created").set_value(static_cast<long long>(cookie.CreationMs));
    element.append_attribute("lastAccess").set_value(static_cast<long long>(cookie.LastAccessMs));
    pugi::xml_node pair;
    if (IsTagName(cookie.Name)) {
        pair = element.append_child(cookie.Name.c_str());
    } else {
        pair = element.append_child("pair");
        pair.append_attribute("name").set_value(cookie.Name.c_str());
    }
    pair.text().set(cookie.Value.c_str());
}

} // namespace

bool CookieFile::ReadDocument(const char *bytes, size_t size, CookieJar &jar) {
    jar.Cookies.clear();
    pugi::xml_document doc;
    if (!bytes || !doc.load_buffer(bytes, size, kParseFlags, pugi::encoding_utf8) || !doc.document_element())
        return false;
    int64_t order = 0;
    for (pugi::xml_node node : doc.document_element().children())
        if (node.type() == pugi::node_element)
            ReadElement(node, order, jar);
    return true;
}

CookieFile::LoadStatus CookieFile::Load(const char *path, CookieJar &jar) {
    jar.Cookies.clear();
    if (!path || !FileSys::FileExists(path, nullptr))
        return LoadStatus::Missing;
    bool ok = false;
    uint64_t size = FileSys::FileSize(path, &ok, nullptr);
    if (!ok || size > kMaxFileBytes)
        return LoadStatus::Unreadable;
    if (size == 0)
        return LoadStatus::Loaded; // nothing in it to lose
    LogNull quiet;
    DataBuffer bytes;
    if (!bytes.LoadFile(path, quiet))
        return LoadStatus::Unreadable;
    if (!ReadDocument(reinterpret_cast<const char *>(bytes.Data()), bytes.Length(), jar))
        return LoadStatus::Unreadable;
    return LoadStatus::Loaded;
}

bool CookieFile::Save(const char *path, const CookieJar &jar, LogBase &log) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("cookies");
    for (int32_t i = 0; i < jar.NumCookies(); ++i)
        WriteCookie(*jar.CookieAt(i), root);
    StringWriter writer;
    doc.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return FileSys::ReplaceFileTwoPart(path, writer.text.data(), static_cast<uint32_t>(writer.text.size()),
                                       nullptr, 0, &log);
}

} // namespace vantry
