// HttpMan: the facade's setters and getters, QuickGetHtml (fetch through the pool, then the page's
// charset to UTF-8) and the Last-Modified day of the last response.
#include "http/HttpMan.h"

#include <cstdio>
#include <cstring>

#include "codec/Charset.h"
#include "codec/EncodingConvert.h"
#include "core/DataBuffer.h"
#include "log/LogNull.h"
#include "spider/HtmlHelp.h"

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

void HttpMan::SetMaxContentLength(uint32_t bytes) {
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
void HttpMan::SetUseHttpCache(bool on) {
    m_control.UseHttpCache = on;
}
void HttpMan::SetUpdateCache(bool on) {
    m_control.CachePolicy.UpdateCache = on ? 1 : 0;
}
bool HttpMan::GetUpdateCache() const {
    return m_control.CachePolicy.UpdateCache != 0;
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

// The page's charset name: the Content-Type parameter, else (for a body with 8-bit bytes) its meta tags.
void PageCharset(const HttpResult &result, const DataBuffer &body, StringBuffer &name) {
    name.Clear();
    result.Header.GetCharset(name);
    if (name.Length() == 0 && !body.Is7Bit()) {
        StringBuffer page;
        page.AppendData(body);
        HtmlHelp::GetMetaCharset(page.Text(), name);
    }
}

} // namespace

bool HttpMan::QuickGetHtml(const char *url, StringBuffer &out) {
    m_log.ClearLog();
    LogContext context(m_log, "QuickGetHtml");
    m_result.Reset();
    out.Clear();
    DataBuffer body;
    if (!m_pool.Fetch(url, m_control, body, m_result, m_log))
        return false;
    if (body.Length() == 0)
        return true;
    StringBuffer charset;
    PageCharset(m_result, body, charset);
    int32_t codePage = charset.Length() ? CodePageForName(charset.Text()) : 0;
    if (codePage == 65001 || codePage == 20127) {
        out.AppendData(body);
        return true;
    }
    DataBuffer utf8;
    LogNull quiet;
    EncodingConvert().Convert(codePage, 65001, body.Data(), body.Length(), utf8, quiet);
    out.AppendData(utf8.Length() ? utf8 : body);
    return true;
}
