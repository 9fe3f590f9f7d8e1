// PageFetcher: the part of the HTTP facade that the spider and the harvester use, as an interface,
// so that crawling and harvesting can run against the real facade or against scripted pages.
#pragma once

namespace vantry {

class StringBuffer;

class PageFetcher {
public:
    virtual ~PageFetcher() = default;

    // Fetches a URL as UTF-8 text; true on success.
    virtual bool QuickGetHtml(const char *url, StringBuffer &out) = 0;
    // What the latest fetch left: whether it was redirected, where it ended, its Last-Modified day.
    virtual bool WasRedirected() = 0;
    virtual void GetFinalUrl(StringBuffer &out) = 0;
    virtual void LastModifiedDate(StringBuffer &out) = 0;
    // The status code of the latest fetch's final response; 0 when no response was read (or the
    // fetcher does not know it).
    virtual int LastStatusCode() { return 0; }

    virtual void SetUserAgent(const char *agent) = 0;
    virtual void GetUserAgent(StringBuffer &out) = 0;
    virtual void SetFetchFromCache(bool on) = 0;
    virtual bool GetFetchFromCache() = 0;
    virtual void SetUpdateCache(bool on) = 0;
    virtual bool GetUpdateCache() = 0;
    virtual void SetUseHttpCache(bool on) = 0;
    virtual void SetConnectTimeout(int seconds) = 0;
    virtual void SetReadTimeout(int seconds) = 0;
    virtual void SetFollowRedirects(bool on) = 0;
    virtual void SetMaxUrlLen(int bytes) = 0;
    virtual void SetRefuseMediaExtensions(bool on) = 0;
    virtual void SetMaxConnections(int count) = 0;
    virtual void SetMaxContentLength(int bytes) = 0;
    virtual void SetMimicIE(bool on) = 0;
    virtual void SetMimicFirefox(bool on) = 0;
    // Whether a TLS server's certificate must verify; a fetcher without TLS ignores it.
    virtual void SetRequireVerifiedServer(bool) {}
};

} // namespace vantry
