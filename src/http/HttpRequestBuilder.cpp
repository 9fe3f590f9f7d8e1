// The request builders: the generic profile driven by the settings, and the fixed Internet Explorer 6
// and Firefox 1.0.3 profiles, with the request line and the shared Cookie/Authorization/extra lines.
#include "http/HttpRequestBuilder.h"

#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/ContentCoding.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "http/CookieMgr.h"
#include "http/DateParser.h"
#include "http/HttpControl.h"
#include "http/MimeField.h"
#include "http/MimeHeader.h"

namespace vantry {

namespace {

constexpr const char *kMsieAccept = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                                    "application/vnd.ms-excel, application/msword, "
                                    "application/x-shockwave-flash, */*\r\n";
constexpr const char *kMsieUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; "
                                       ".NET CLR 1.0.3705; .NET CLR 1.1.4322)\r\n";
constexpr const char *kFirefoxUserAgent =
    "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.7.7) Gecko/20050414 Firefox/1.0.3\r\n";
// The blank inside the last media range is the browser's own.
constexpr const char *kFirefoxAccept =
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,"
    "text/plain;q=0.8,image/png,* /*;q=0.5\r\n";

// Whether the URL's scheme is https (whose default port is 443).
bool IsHttpsUrl(const char *url) {
    return url && FindNoCase(url, "https:") == url;
}

bool IsEmpty(const char *s) {
    return s == nullptr || *s == '\0';
}

// Appends the target with every blank, control byte and DEL percent-encoded; a '%' stays as it is.
void AppendTarget(std::string_view text, StringBuffer &out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7F) {
            out.AppendChar('%');
            out.AppendChar(kHex[c >> 4]);
            out.AppendChar(kHex[c & 0x0F]);
        } else {
            out.AppendChar(static_cast<char>(c));
        }
    }
}

// Whether the caller's ExtraHeaders name a field of their own for this line of the generic profile.
bool Overridden(const HttpControl &control, const char *name) {
    return control.ExtraHeaders.HasField(name);
}

// "Name: value\r\n" when the value is not empty.
void AddLine(const char *name, const StringBuffer &value, StringBuffer &out) {
    if (value.Length() == 0) {
        return;
    }
    out.Append(name);
    out.Append(": ");
    out.AppendBuffer(value);
    out.Append("\r\n");
}

// The generic profile's line, unless an ExtraHeaders field of the same name takes its place.
void AddOwnLine(const HttpControl &control, const char *name, const StringBuffer &value, StringBuffer &out) {
    if (!Overridden(control, name)) {
        AddLine(name, value, out);
    }
}

// "Host: host" with ":port" when the port is not the scheme's default (RFC 9110 section 7.2).
void AddHost(const char *url, const char *host, int port, StringBuffer &out) {
    out.Append("Host: ");
    out.Append(host != nullptr ? host : "");
    int defaultPort = IsHttpsUrl(url) ? 443 : 80;
    if (port > 0 && port != defaultPort) {
        out.AppendChar(':');
        out.AppendInt(port);
    }
    out.Append("\r\n");
}

using ascii::HasLineBreakOrNul;

// RFC 9110 section 5.6.2: tchar.
bool IsToken(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (!ascii::IsLetterOrDigit(c) &&
            std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool RefuseField(const char *problem, std::string_view name, LogBase &log) {
    log.LogError(problem);
    log.LogData("header", std::string(name).c_str());
    return false;
}

} // namespace

void HttpRequestBuilder::AddRequestLine(const char *url, const char *path, const char *query,
                                        const HttpControl &control, StringBuffer &out) {
    out.Append(control.Method == HttpMethod::Head ? "HEAD " : "GET ");
    // Through a proxy a plain request names the whole URL; an https request goes through a CONNECT
    // tunnel to the server itself and names only the path.
    if (control.ProxyDomain.Length() > 0 && !ascii::StartsWithNoCase(url != nullptr ? url : "", "https:")) {
        std::string_view whole(url != nullptr ? url : "");
        AppendTarget(whole.substr(0, whole.find('#')), out); // the fragment is never sent
    } else {
        AppendTarget(IsEmpty(path) ? "/" : path, out);
        if (!IsEmpty(query)) {
            out.AppendChar('?');
            AppendTarget(query, out);
        }
    }
    out.Append(" HTTP/1.1\r\n");
}

void HttpRequestBuilder::BuildRequest(const char *url, const char *host, int port, const char *path,
                                      const char *query, const HttpControl &control, bool expired,
                                      const char *etag, const CalendarTime *expiry, StringBuffer &out,
                                      LogBase &log, bool secureChannel) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    if (Overridden(control, "If-None-Match") || Overridden(control, "If-Modified-Since")) {
        // The caller's own conditional line stands alone.
    } else if (expired && !IsEmpty(etag) && !HasLineBreakOrNul(etag)) {
        out.Append("If-None-Match: ");
        out.Append(etag);
        out.Append("\r\n");
    } else if (expired && expiry != nullptr) {
        StringBuffer date;
        DateParser().FormatHttpDate(*expiry, date);
        out.Append("If-Modified-Since: ");
        out.AppendBuffer(date);
        out.Append("\r\n");
    }
    AddExtraHeaders(control, out);
    AddOwnLine(control, "Accept", control.Accept, out);
    AddOwnLine(control, "Accept-Charset", control.AcceptCharset, out);
    AddOwnLine(control, "Accept-Language", control.AcceptLanguage, out);
    AddOwnLine(control, "Referer", control.Referer, out);
    AddOwnLine(control, "User-Agent", control.UserAgent, out);
    if (!Overridden(control, "Cookie")) {
        AddCookieLine(control, host, path, secureChannel, out, log);
    }
    if (!Overridden(control, "Authorization")) {
        AddAuthorization(control, out);
    }
    if (control.SendHost && !Overridden(control, "Host")) {
        AddHost(url, host, port, out);
    }
    AddOwnLine(control, "Connection", control.Connection, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::BuildMsieRequest(const char *url, const char *host, int port, const char *path,
                                          const char *query, const HttpControl &control, StringBuffer &out,
                                          LogBase &log, bool secureChannel) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    out.Append(kMsieAccept);
    AddLine("Referer", control.Referer, out);
    if (control.AcceptLanguage.Length() > 0) {
        AddLine("Accept-Language", control.AcceptLanguage, out);
    } else {
        out.Append("Accept-Language: en-us\r\n");
    }
    out.Append("Accept-Encoding: gzip\r\n");
    out.Append(kMsieUserAgent);
    AddCookieLine(control, host, path, secureChannel, out, log);
    AddAuthorization(control, out);
    out.Append("Connection: Keep-Alive\r\n");
    AddHost(url, host, port, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::BuildFirefoxRequest(const char *url, const char *host, int port, const char *path,
                                             const char *query, const HttpControl &control, StringBuffer &out,
                                             LogBase &log, bool secureChannel) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    AddHost(url, host, port, out);
    out.Append(kFirefoxUserAgent);
    out.Append(kFirefoxAccept);
    if (control.AcceptCharset.Length() > 0) {
        AddLine("Accept-Charset", control.AcceptCharset, out);
    } else {
        out.Append("Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n");
    }
    out.Append("Accept-Encoding: gzip\r\n");
    if (control.AcceptLanguage.Length() > 0) {
        AddLine("Accept-Language", control.AcceptLanguage, out);
    } else {
        out.Append("Accept-Language: en-us,en;q=0.5\r\n");
    }
    out.Append("Keep-Alive: 300\r\n");
    out.Append("Connection: keep-alive\r\n");
    AddLine("Referer", control.Referer, out);
    AddCookieLine(control, host, path, secureChannel, out, log);
    AddAuthorization(control, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::AddCookieLine(const HttpControl &control, const char *host, const char *path,
                                       bool secureChannel, StringBuffer &out, LogBase &log) {
    if (control.CookieDir.Length() == 0 || !control.SendCookies || IsEmpty(host)) {
        return;
    }
    const char *cookiePath = IsEmpty(path) ? "/" : path;
    StringBuffer cookies;
    CookieMgr::BuildRequestCookies(control.CookieDir.Text(), host, cookiePath, secureChannel, cookies, log);
    std::string_view text = ascii::TrimWhite(cookies.View());
    if (!text.empty()) {
        out.Append("Cookie: ");
        out.Append(text);
        out.Append("\r\n");
    }
}

bool HttpRequestBuilder::CarriesCredentials(std::string_view request) {
    for (size_t line = request.find("\r\n"); line != std::string_view::npos;
         line = request.find("\r\n", line + 2)) {
        std::string_view rest = request.substr(line + 2);
        if (ascii::StartsWithNoCase(rest, "Authorization:") || ascii::StartsWithNoCase(rest, "Cookie:")) {
            return true;
        }
    }
    return false;
}

void HttpRequestBuilder::AddAuthorization(const HttpControl &control, StringBuffer &out) {
    if (control.Login.Length() == 0 || control.Password.Length() == 0) {
        return;
    }
    StringBuffer credentials;
    credentials.AppendBuffer(control.Login);
    credentials.AppendChar(':');
    credentials.AppendBuffer(control.Password);
    StringBuffer encoded;
    ContentCoding().EncodeBase64(credentials.Text(), static_cast<uint32_t>(credentials.Length()), encoded);
    out.Append("Authorization: Basic ");
    out.AppendBuffer(encoded);
    out.Append("\r\n");
}

void HttpRequestBuilder::AddExtraHeaders(const HttpControl &control, StringBuffer &out) {
    for (int32_t i = 0; i < control.ExtraHeaders.NumFields(); ++i) {
        const MimeField *field = control.ExtraHeaders.FieldAt(i);
        std::string_view value = field != nullptr ? ascii::TrimWhite(field->Value.View()) : "";
        if (value.empty()) {
            continue; // an empty value only takes a line of the profile away
        }
        out.AppendBuffer(field->Name);
        out.Append(": ");
        out.Append(value);
        out.Append("\r\n");
    }
}

bool HttpRequestBuilder::CheckFieldValues(const HttpControl &control, const char *host, LogBase &log) {
    static constexpr const char *kBadValue = "A request header value holds a CR, LF or NUL byte.";
    const struct {
        const char *name;
        const StringBuffer &value;
    } settings[] = {{"User-Agent", control.UserAgent},
                    {"Referer", control.Referer},
                    {"Accept", control.Accept},
                    {"Connection", control.Connection},
                    {"Accept-Charset", control.AcceptCharset},
                    {"Accept-Language", control.AcceptLanguage}};
    for (const auto &setting : settings) {
        if (HasLineBreakOrNul(setting.value.View())) {
            return RefuseField(kBadValue, setting.name, log);
        }
    }
    if (HasLineBreakOrNul(host != nullptr ? host : "")) {
        return RefuseField(kBadValue, "Host", log);
    }
    for (int32_t i = 0; i < control.ExtraHeaders.NumFields(); ++i) {
        const MimeField *field = control.ExtraHeaders.FieldAt(i);
        if (field == nullptr) {
            continue;
        }
        if (!IsToken(field->Name.View())) {
            return RefuseField("A request header name is not a valid field name.", field->Name.View(), log);
        }
        if (HasLineBreakOrNul(field->Value.View())) {
            return RefuseField(kBadValue, field->Name.View(), log);
        }
    }
    return true;
}

} // namespace vantry
