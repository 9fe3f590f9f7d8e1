// HttpMan: the facade's setters and getters, QuickGetHtml (fetch through the pool, then the page's
// charset to UTF-8) and the Last-Modified day of the last response.
#include "http/HttpMan.h"

#include <cstdio>
#include <cstring>

#include "codec/Charset.h"
#include "codec/EncodingConvert.h"
#include "codec/HtmlTag.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "http/DataBufferSink.h"

namespace vantry {

HttpMan::HttpMan() = default;
HttpMan::~HttpMan() = default;

void HttpMan::SetConnectTimeout(int seconds) {
    m_control.ConnectTimeout = seconds;
}
void HttpMan::SetReadTimeout(int seconds) {
    m_control.ReadTimeout = seconds;
}
void HttpMan::SetMaxConnections(int count) {
    m_pool.SetMaxConnections(count);
}

void HttpMan::SetMimicIE(bool on) {
    m_control.MimicIE = on;
    if (on)
        m_control.MimicFirefox = false;
}

void HttpMan::SetMimicFirefox(bool on) {
    m_control.MimicFirefox = on;
    if (on)
        m_control.MimicIE = false;
}

void HttpMan::SetMaxContentLength(uint64_t bytes) {
    m_control.MaxContentLength = bytes;
}
void HttpMan::SetUserAgent(const char *text) {
    m_control.UserAgent.SetString(text ? text : "");
}
void HttpMan::GetUserAgent(StringBuffer &out) const {
    out.SetString(m_control.UserAgent.Text());
}
void HttpMan::SetFollowRedirects(bool on) {
    m_control.FollowRedirects = on;
}
void HttpMan::SetMaxUrlLen(int bytes) {
    m_control.MaxUrlLen = bytes;
}
void HttpMan::SetRefuseMediaExtensions(bool on) {
    m_control.RefuseMediaExtensions = on;
}
void HttpMan::SetRequireVerifiedServer(bool on) {
    m_control.RequireVerifiedServer = on;
}
bool HttpMan::GetRequireVerifiedServer() const {
    return m_control.RequireVerifiedServer;
}
void HttpMan::SetTlsCaFile(const char *path) {
    m_control.TlsCaFile.SetString(path ? path : "");
}
void HttpMan::SetUseHttpCache(bool on) {
    m_control.UseHttpCache = on;
}
void HttpMan::SetUpdateCache(bool on) {
    m_control.CachePolicy.UpdateCache = on ? 1 : 0;
}
bool HttpMan::GetUpdateCache() const {
    return m_control.CachePolicy.UpdateCache != 0;
}
void HttpMan::AddCacheRoot(const char *directory) {
    m_control.CacheStore.AddRoot(directory);
    m_control.HttpStore.AddRoot(directory);
}
void HttpMan::ClearCacheRoots() {
    m_control.CacheStore.ClearRoots();
    m_control.HttpStore.ClearRoots();
}
int HttpMan::GetNumCacheRoots() const {
    return m_control.CacheStore.NumRoots();
}
void HttpMan::SetCacheLevels(int levels) {
    m_control.CacheStore.SetLevels(levels);
}
void HttpMan::SetCacheFileCount(uint32_t filesPerDir) {
    m_control.HttpStore.SetFileCount(filesPerDir);
}
void HttpMan::SetCookieDir(const char *directory) {
    m_control.CookieDir.SetString(directory ? directory : "");
}
void HttpMan::GetCookieDir(StringBuffer &out) const {
    out.SetString(m_control.CookieDir.Text());
}
void HttpMan::SetSendCookies(bool on) {
    m_control.SendCookies = on;
}
void HttpMan::SetSaveCookies(bool on) {
    m_control.SaveCookies = on;
}
void HttpMan::SetFetchFromCache(bool on) {
    m_control.CachePolicy.FetchFromCache = on ? 1 : 0;
}
bool HttpMan::GetFetchFromCache() const {
    return m_control.CachePolicy.FetchFromCache != 0;
}
bool HttpMan::GetWasRedirected() const {
    return m_result.WasRedirected;
}
void HttpMan::GetFinalUrl(StringBuffer &out) const {
    out.SetString(m_result.FinalUrl.Text());
}

void HttpMan::LastModifiedDate(StringBuffer &out) const {
    out.Clear();
    StringBuffer value;
    m_result.Header.GetField("Last-Modified", value);
    char word[64], monthName[16];
    int day = 0, year = 0;
    if (std::sscanf(value.Text(), "%63s %d %15s %d", word, &day, monthName, &year) < 4)
        return;
    static const char *const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    StringBuffer month(monthName);
    for (int i = 0; i < 12; ++i) {
        if (month.EqualsNoCase(kMonths[i])) {
            char text[48];
            std::snprintf(text, sizeof text, "%d-%02d-%02d", year, i + 1, day);
            out.SetString(text);
            return;
        }
    }
}

namespace {

// Whether any byte is above 127; word at a time, as pages run to megabytes.
bool HasHighBytes(const uint8_t *p, uint32_t n) {
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    uint32_t i = 0;
    while (i + 64 <= n) {
        uint64_t acc = 0;
        for (int k = 0; k < 8; ++k, i += 8) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            acc |= w;
        }
        if (acc & kHigh)
            return true;
    }
    for (; i < n; ++i)
        if (p[i] & 0x80)
            return true;
    return false;
}

// The page's charset name: the Content-Type parameter, else (for a body with 8-bit bytes) its meta tags.
void PageCharset(const HttpResult &result, const DataBuffer &body, StringBuffer &name) {
    name.Clear();
    result.Header.GetCharset(name);
    if (name.Length() == 0 && HasHighBytes(body.Data(), body.Length())) {
        StringBuffer page;
        page.AppendData(body);
        htmltag::GetMetaCharset(page.Text(), name);
    }
}

} // namespace

bool HttpMan::QuickGetHtml(const char *url, StringBuffer &out) {
    m_log.ClearLog();
    LogContext context(m_log, "QuickGetHtml");
    m_result.Reset();
    out.Clear();
    DataBuffer &body = m_body;
    bool ok = m_pool.Fetch(url, m_control, body, m_result, m_log);
    if (ok && body.Length())
        ToUtf8(body, out);
    // The block is kept for the next page unless it grew large.
    if (body.Capacity() > kKeptBodyCapacity) {
        DataBuffer fresh;
        body.TakeOver(&fresh);
    }
    body.Clear();
    return ok;
}

bool HttpMan::Get(const char *url, BodySink &body) {
    m_log.ClearLog();
    LogContext context(m_log, "Get");
    m_result.Reset();
    return m_pool.Fetch(url, m_control, body, m_result, m_log);
}

bool HttpMan::Get(const char *url, DataBuffer &body) {
    body.Clear();
    DataBufferSink sink(body);
    return Get(url, sink);
}

void HttpMan::ToUtf8(const DataBuffer &body, StringBuffer &out) {
    StringBuffer charset;
    PageCharset(m_result, body, charset);
    int32_t codePage = charset.Length() ? CodePageForName(charset.Text()) : 0;
    // UTF-8 and US-ASCII need nothing; an unknown charset (0) is not converted either.
    if (codePage == 65001 || codePage == 20127 || codePage == 0) {
        out.AppendData(body);
        return;
    }
    DataBuffer utf8;
    LogNull quiet;
    EncodingConvert().Convert(codePage, 65001, body.Data(), body.Length(), utf8, quiet);
    out.AppendData(utf8.Length() ? utf8 : body);
}

} // namespace vantry
