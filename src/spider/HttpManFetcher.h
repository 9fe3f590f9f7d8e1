// HttpManFetcher: the page fetcher behind a real HTTP facade, which it embeds; what a spider and the
// harvester's seed fetch use outside of tests.
#pragma once
#include "http/HttpMan.h"
#include "spider/PageFetcher.h"

namespace vantry {

class HttpManFetcher : public PageFetcher {
public:
    bool QuickGetHtml(const char *url, StringBuffer &out) override { return m_http.QuickGetHtml(url, out); }
    bool WasRedirected() override { return m_http.GetWasRedirected(); }
    void GetFinalUrl(StringBuffer &out) override { m_http.GetFinalUrl(out); }
    void LastModifiedDate(StringBuffer &out) override { m_http.LastModifiedDate(out); }
    int LastStatusCode() override { return m_http.LastResult().Header.StatusCode; }

    void SetUserAgent(const char *agent) override { m_http.SetUserAgent(agent); }
    void GetUserAgent(StringBuffer &out) override { m_http.GetUserAgent(out); }
    void SetFetchFromCache(bool on) override { m_http.SetFetchFromCache(on); }
    bool GetFetchFromCache() override { return m_http.GetFetchFromCache(); }
    void SetUpdateCache(bool on) override { m_http.SetUpdateCache(on); }
    bool GetUpdateCache() override { return m_http.GetUpdateCache(); }
    void SetUseHttpCache(bool on) override { m_http.SetUseHttpCache(on); }
    void SetConnectTimeout(int seconds) override { m_http.SetConnectTimeout(seconds); }
    void SetReadTimeout(int seconds) override { m_http.SetReadTimeout(seconds); }
    void SetFollowRedirects(bool on) override { m_http.SetFollowRedirects(on); }
    void SetMaxUrlLen(int bytes) override { m_http.SetMaxUrlLen(bytes); }
    void SetRefuseMediaExtensions(bool on) override { m_http.SetRefuseMediaExtensions(on); }
    void SetMaxConnections(int count) override { m_http.SetMaxConnections(count); }
    void SetMaxContentLength(int bytes) override {
        m_http.SetMaxContentLength(bytes < 0 ? 0u : static_cast<uint32_t>(bytes));
    }
    void SetMimicIE(bool on) override { m_http.SetMimicIE(on); }
    void SetMimicFirefox(bool on) override { m_http.SetMimicFirefox(on); }
    void SetRequireVerifiedServer(bool on) override { m_http.SetRequireVerifiedServer(on); }

    HttpMan &Facade() { return m_http; }

private:
    HttpMan m_http;
};

} // namespace vantry
