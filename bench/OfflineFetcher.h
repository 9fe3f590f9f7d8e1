// A page fetcher without a network for the spider benchmarks: every fetch fails (so robots.txt is
// missing and nothing is disallowed), settings are ignored, and the user agent is kept.
#pragma once
#include <string>

#include "core/StringBuffer.h"
#include "spider/PageFetcher.h"

namespace bench {

class OfflineFetcher : public vantry::PageFetcher {
public:
    bool QuickGetHtml(const char *, vantry::StringBuffer &out) override {
        out.Clear();
        return false;
    }
    bool WasRedirected() override { return false; }
    void GetFinalUrl(vantry::StringBuffer &out) override { out.Clear(); }
    void LastModifiedDate(vantry::StringBuffer &out) override { out.Clear(); }
    void SetUserAgent(const char *agent) override { m_agent = agent; }
    void GetUserAgent(vantry::StringBuffer &out) override { out.SetString(m_agent.c_str()); }
    void SetFetchFromCache(bool) override {}
    bool GetFetchFromCache() override { return false; }
    void SetUpdateCache(bool) override {}
    bool GetUpdateCache() override { return false; }
    void SetUseHttpCache(bool) override {}
    void SetConnectTimeout(int) override {}
    void SetReadTimeout(int) override {}
    void SetFollowRedirects(bool) override {}
    void SetMaxUrlLen(int) override {}
    void SetRefuseMediaExtensions(bool) override {}
    void SetMaxConnections(int) override {}
    void SetMaxContentLength(int) override {}
    void SetMimicIE(bool) override {}
    void SetMimicFirefox(bool) override {}
    void SetRequireVerifiedServer(bool) override {}
    void SetProgressMonitor(vantry::ProgressMonitor *) override {}

private:
    std::string m_agent = "bench";
};

} // namespace bench
