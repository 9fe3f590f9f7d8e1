// The request builders: the generic profile driven by the settings, and the fixed Internet Explorer 6
// and Firefox 1.0.3 profiles, with the request line and the shared Cookie/Authorization/extra lines.
#include "http/HttpRequestBuilder.h"

#include <memory>

#include "core/AsciiText.h"
#include "core/ContentCoding.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"
#include "http/DateParser.h"
#include "http/HttpControl.h"
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

// Whether the request goes over TLS: only then may cookies marked secure go on the Cookie line.
bool IsHttpsUrl(const char *url) {
    return url && FindNoCase(url, "https:") == url;
}

bool IsEmpty(const char *s) {
    return s == nullptr || *s == '\0';
}

// Appends the target with every blank, control byte and DEL percent-encoded; a '%' stays as it is.
void AppendTarget(const char *text, StringBuffer &out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
        if (*p <= 0x20 || *p == 0x7F) {
            out.AppendChar('%');
            out.AppendChar(kHex[*p >> 4]);
            out.AppendChar(kHex[*p & 0x0F]);
        } else {
            out.AppendChar(static_cast<char>(*p));
        }
    }
}

// "Name: value\r\n" when the value is not empty.
void AddLine(const char *name, const StringBuffer &value, StringBuffer &out) {
    if (value.Length() == 0) {
        return;
    }
    out.Append(name);
    out.AppendBuffer(value);
    out.Append("\r\n");
}

void AddHost(const char *host, StringBuffer &out) {
    out.Append("Host: ");
    out.Append(host != nullptr ? host : "");
    out.Append("\r\n");
}

} // namespace

void HttpRequestBuilder::AddRequestLine(const char *url, const char *path, const char *query,
                                        const HttpControl &control, StringBuffer &out) {
    out.Append("GET ");
    if (control.ProxyDomain.Length() > 0) {
        AppendTarget(url != nullptr ? url : "", out);
    } else {
        AppendTarget(IsEmpty(path) ? "/" : path, out);
        if (!IsEmpty(query)) {
            out.AppendChar('?');
            AppendTarget(query, out);
        }
    }
    out.Append(" HTTP/1.1\r\n");
}

void HttpRequestBuilder::BuildRequest(const char *url, const char *host, const char *path, const char *query,
                                      const HttpControl &control, bool expired, const char *etag,
                                      const CalendarTime *expiry, StringBuffer &out, LogBase &log) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    if (expired && !IsEmpty(etag)) {
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
    AddLine("Accept: ", control.Accept, out);
    AddLine("Accept-Charset: ", control.AcceptCharset, out);
    AddLine("Accept-Language: ", control.AcceptLanguage, out);
    AddLine("Referer: ", control.Referer, out);
    AddLine("User-Agent: ", control.UserAgent, out);
    AddCookieLine(control, host, path, IsHttpsUrl(url), out, log);
    AddAuthorization(control, out);
    if (control.SendHost) {
        AddHost(host, out);
    }
    AddLine("Connection: ", control.Connection, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::BuildMsieRequest(const char *url, const char *host, const char *path,
                                          const char *query, const HttpControl &control, StringBuffer &out,
                                          LogBase &log) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    out.Append(kMsieAccept);
    AddLine("Referer: ", control.Referer, out);
    if (control.AcceptLanguage.Length() > 0) {
        AddLine("Accept-Language: ", control.AcceptLanguage, out);
    } else {
        out.Append("Accept-Language: en-us\r\n");
    }
    out.Append("Accept-Encoding: gzip\r\n");
    out.Append(kMsieUserAgent);
    AddCookieLine(control, host, path, IsHttpsUrl(url), out, log);
    AddAuthorization(control, out);
    out.Append("Connection: Keep-Alive\r\n");
    AddHost(host, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::BuildFirefoxRequest(const char *url, const char *host, const char *path,
                                             const char *query, const HttpControl &control, StringBuffer &out,
                                             LogBase &log) {
    out.Clear();
    AddRequestLine(url, path, query, control, out);
    AddHost(host, out);
    out.Append(kFirefoxUserAgent);
    out.Append(kFirefoxAccept);
    if (control.AcceptCharset.Length() > 0) {
        AddLine("Accept-Charset: ", control.AcceptCharset, out);
    } else {
        out.Append("Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n");
    }
    out.Append("Accept-Encoding: gzip\r\n");
    if (control.AcceptLanguage.Length() > 0) {
        AddLine("Accept-Language: ", control.AcceptLanguage, out);
    } else {
        out.Append("Accept-Language: en-us,en;q=0.5\r\n");
    }
    out.Append("Keep-Alive: 300\r\n");
    out.Append("Connection: keep-alive\r\n");
    AddLine("Referer: ", control.Referer, out);
    AddCookieLine(control, host, path, IsHttpsUrl(url), out, log);
    AddAuthorization(control, out);
    out.Append("\r\n");
}

void HttpRequestBuilder::AddCookieLine(const HttpControl &control, const char *host, const char *path,
                                       bool secureChannel, StringBuffer &out, LogBase & /*log*/) {
    if (control.CookieDir.Length() == 0 || !control.SendCookies || IsEmpty(host)) {
        return;
    }
    const char *cookiePath = IsEmpty(path) ? "/" : path;
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(control.CookieDir.Text(), host, cookiePath));
    if (!jar) {
        return;
    }
    StringBuffer cookies;
    jar->BuildCookieHeader(host, cookiePath, secureChannel, cookies);
    std::string_view text = ascii::TrimWhite(cookies.View());
    if (!text.empty()) {
        out.Append("Cookie: ");
        out.Append(text);
        out.Append("\r\n");
    }
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
    if (control.ExtraHeaders.NumFields() == 0) {
        return;
    }
    control.ExtraHeaders.Serialise(out, nullptr, 65001);
    out.Append("\r\n");
}

} // namespace vantry
