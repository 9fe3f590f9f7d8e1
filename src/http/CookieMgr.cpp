// The cookie store on disk: file names from base domains (only safe bytes), XML domain files read
// and merged with pugixml, and each file written beside itself and renamed into place.
#include "http/CookieMgr.h"

#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/ExtPtrArray.h"
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "core/StringPair.h"
#include "http/Cookie.h"
#include "http/CookieJar.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

// A domain file larger than this is not read (files only grow; this bounds one request's work).
constexpr uint32_t kMaxCookieFile = 16u * 1024u * 1024u;

bool IsNameByte(char c) {
    return ascii::IsLetterOrDigit(c) || c == '-' || c == '_';
}

// A pair name that can be an element tag of the file: ASCII letters, digits, '-', '_' and '.',
// not starting with a digit, '-' or '.', and not beginning with "xml" in any case.
bool IsTagName(const char *name) {
    if (!name || !*name)
        return false;
    char first = name[0];
    if (!(ascii::IsLetter(first) || first == '_'))
        return false;
    for (const char *p = name; *p; ++p)
        if (!IsNameByte(*p) && *p != '.')
            return false;
    return !(std::strlen(name) >= 3 && (name[0] | 32) == 'x' && (name[1] | 32) == 'm' &&
             (name[2] | 32) == 'l');
}

bool LoadDocument(const char *path, pugi::xml_document &doc) {
    LogNull quiet;
    if (!FileSys::FileExists(path, nullptr))
        return false;
    bool ok = false;
    uint64_t size = FileSys::FileSize(path, &ok, nullptr);
    if (!ok || size > kMaxCookieFile)
        return false;
    DataBuffer bytes;
    if (!bytes.LoadFile(path, quiet) || bytes.Length() == 0)
        return false;
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.Data(), bytes.Length());
    return parsed && doc.document_element();
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void *data, size_t size) override { text.append(static_cast<const char *>(data), size); }
};

} // namespace

bool CookieMgr::CookieFilePath(const char *directory, const char *domain, StringBuffer &path) {
    path.Clear();
    if (!directory || !domain)
        return false;
    StringBuffer name(domain);
    name.Trim();
    name.ToLower();
    if (name.CharAt(0) == '.')
        name.RemoveRange(0, 1);
    // Every label non-empty: no "..", and no dot left at either end.
    if (name.Length() == 0 || name.Contains("..") || name.CharAt(0) == '.' || name.LastChar() == '.')
        return false;
    for (int32_t i = 0; i < name.Length(); ++i) {
        char c = static_cast<char>(name.CharAt(i));
        if (!IsNameByte(c) && c != '.')
            return false;
    }
    StringBuffer base;
    GetBaseDomain(name.Text(), base);
    base.ReplaceChar('.', '_');
    if (base.Length() == 0)
        return false;
    for (int32_t i = 0; i < base.Length(); ++i)
        if (!IsNameByte(static_cast<char>(base.CharAt(i))))
            return false;
    path.Append(directory);
    if (path.Length() && path.LastChar() != '/' && path.LastChar() != '\\')
        path.AppendChar('/');
    path.AppendBuffer(base);
    path.Append(".xml");
    return true;
}

CookieJar *CookieMgr::LoadJar(const char *directory, const char *host, const char *path) {
    (void)path; // matching happens when the header is built
    StringBuffer file;
    if (!CookieFilePath(directory, host, file))
        return nullptr;
    pugi::xml_document doc;
    if (!LoadDocument(file.Text(), doc))
        return nullptr;
    auto jar = std::make_unique<CookieJar>();
    for (pugi::xml_node node : doc.document_element().children()) {
        if (node.type() != pugi::node_element)
            continue;
        std::string key = node.attribute("key").value();
        size_t comma = key.find(',');
        if (comma == std::string::npos || comma == 0)
            continue;
        auto *cookie = new Cookie();
        cookie->Domain.SetString(key.substr(0, comma).c_str());
        cookie->Path.SetString(key.substr(comma + 1).c_str());
        const char *expire = node.attribute("expire").value();
        if (*expire)
            cookie->Expire.SetString(expire);
        cookie->Version = node.attribute("v").as_int(0);
        cookie->Secure = std::strcmp(node.attribute("secure").value(), "yes") == 0;
        if (cookie->Version == 1) {
            cookie->MaxAge = node.attribute("maxAge").as_int(0);
            cookie->Discard = std::strcmp(node.attribute("discard").value(), "yes") == 0;
        }
        for (pugi::xml_node pair : node.children())
            if (pair.type() == pugi::node_element)
                cookie->SetPair(pair.name(), pair.text().get());
        jar->Append(cookie);
    }
    if (jar->NumCookies() == 0)
        return nullptr;
    return jar.release();
}

bool CookieMgr::SaveCookie(const char *directory, const Cookie &cookie) {
    StringBuffer file;
    if (!CookieFilePath(directory, cookie.Domain.Text(), file))
        return false;
    pugi::xml_document doc;
    // A missing or unreadable file starts a new document.
    if (!LoadDocument(file.Text(), doc)) {
        doc.reset();
        doc.append_child("cookies");
    }
    pugi::xml_node root = doc.document_element();

    std::string key = std::string(cookie.Domain.Text()) + "," + cookie.Path.Text();
    pugi::xml_node element;
    for (pugi::xml_node node : root.children("cookie")) {
        if (key == node.attribute("key").value()) {
            element = node;
            break;
        }
    }
    if (!element) {
        element = root.append_child("cookie");
        element.append_attribute("key").set_value(key.c_str());
    }
    auto setAttribute = [&element](const char *name, const char *value) {
        pugi::xml_attribute a = element.attribute(name);
        if (!a)
            a = element.append_attribute(name);
        a.set_value(value);
    };
    setAttribute("v", std::to_string(cookie.Version).c_str());
    if (cookie.Expire.Length())
        setAttribute("expire", cookie.Expire.Text());
    if (cookie.MaxAge != 0)
        setAttribute("maxAge", std::to_string(cookie.MaxAge).c_str());
    if (cookie.Secure)
        setAttribute("secure", "yes");
    if (cookie.Discard)
        setAttribute("discard", "yes");
    for (int32_t i = 0; i < cookie.NumPairs(); ++i) {
        const StringPair *pair = cookie.PairAt(i);
        // A name that cannot be an element tag would make the whole file unreadable: it is not stored.
        if (!pair || !IsTagName(pair->Name()))
            continue;
        pugi::xml_node child = element.child(pair->Name());
        if (!child)
            child = element.append_child(pair->Name());
        child.text().set(pair->Value());
    }

    StringWriter writer;
    doc.save(writer, "  ");
    FileSys::ReplaceFileTwoPart(file.Text(), writer.text.data(), static_cast<uint32_t>(writer.text.size()),
                                nullptr, 0, nullptr);
    return true;
}

void CookieMgr::BuildRequestCookies(const char *directory, const char *host, const char *path,
                                    bool secureChannel, StringBuffer &out) {
    out.Clear();
    if (!directory || !*directory)
        return;
    std::unique_ptr<CookieJar> jar(LoadJar(directory, host, path));
    if (!jar)
        return;
    jar->BuildCookieHeader(host, path, secureChannel, out);
    out.Trim();
}

void CookieMgr::SaveResponseCookies(const char *directory, const HttpResponseHeader &header,
                                    const char *connectionHost, const char *responseHost) {
    if (!directory || !*directory)
        return;
    StringBuffer base;
    GetBaseDomain(connectionHost ? connectionHost : "", base);
    StringBuffer defaultDomain(".");
    defaultDomain.AppendBuffer(base);
    ExtPtrArray cookies;
    CollectResponseCookies(header, base.Length() ? defaultDomain.Text() : nullptr, responseHost, cookies);
    for (int32_t i = 0; i < cookies.Count(); ++i) {
        const Cookie *cookie = cookies.ElementAs<Cookie>(i);
        if (cookie)
            SaveCookie(directory, *cookie);
    }
}

} // namespace vantry
