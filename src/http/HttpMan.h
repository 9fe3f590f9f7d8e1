// HttpMan: the facade an application holds to fetch web pages: its settings, a pool of keep-alive
// connections and the result of the last request; QuickGetHtml returns a page as UTF-8 text.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/HttpConnPool.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "log/ClsBase.h"

namespace vantry {

class BodySink;

class HttpMan : public ClsBase {
public:
    HttpMan();
    ~HttpMan() override;

    void SetConnectTimeout(int seconds);
    void SetReadTimeout(int seconds);
    void SetMaxConnections(int count);
    void SetMimicIE(bool on);      // true also clears MimicFirefox
    void SetMimicFirefox(bool on); // true also clears MimicIE
    void SetMaxContentLength(uint64_t bytes);
    void SetUserAgent(const char *text);
    void GetUserAgent(StringBuffer &out) const;
    void SetFollowRedirects(bool on);
    // The URL limits a crawler sets: the longest URL fetched, and whether media file URLs are refused.
    void SetMaxUrlLen(int bytes);
    void SetRefuseMediaExtensions(bool on);
    void SetUseHttpCache(bool on);
    void SetUpdateCache(bool on);
    bool GetUpdateCache() const;
    void SetFetchFromCache(bool on);
    bool GetFetchFromCache() const;
    // The cache stores and the cookie store (all off until a library user sets them). A root is added
    // to both stores; UseHttpCache chooses which one requests use.
    void AddCacheRoot(const char *directory);
    void ClearCacheRoots();
    int GetNumCacheRoots() const;
    void SetCacheLevels(int levels);              // ".dat" directory levels: 0, 1 or 2
    void SetCacheFileCount(uint32_t filesPerDir); // ".caf" files per directory
    void SetCookieDir(const char *directory);     // empty: no cookies are sent or saved
    void GetCookieDir(StringBuffer &out) const;
    void SetSendCookies(bool on);
    void SetSaveCookies(bool on);
    // TLS: whether the server's certificate must verify (on by default), and a PEM file of CA
    // certificates trusted beside the system store (a private CA).
    void SetRequireVerifiedServer(bool on);
    bool GetRequireVerifiedServer() const;
    void SetTlsCaFile(const char *path);
    bool GetWasRedirected() const;
    void GetFinalUrl(StringBuffer &out) const;

    // The last response's Last-Modified day as "%d-%02d-%02d"; empty when there is none or it is unreadable.
    void LastModifiedDate(StringBuffer &out) const;

    // Fetches the URL and returns its body as UTF-8 text; true on success.
    bool QuickGetHtml(const char *url, StringBuffer &out);

    // Fetches the URL, its body going to body as it arrives (any size, in bounded memory; gzip decoded)
    // or into a buffer. True when a response came, whatever its status: a 404 is a result. False only
    // when none did (bad URL, name not found, connect or TLS failure, time-out, broken response, a body
    // over MaxContentLength or refused by the sink); the log says why. Afterwards LastResult() holds the
    // final status (Header.StatusCode), the URL that answered (EffectiveUrl) and the head (Header).
    bool Get(const char *url, BodySink &body);
    bool Get(const char *url, DataBuffer &body); // body cleared first; at most 192 MiB held

    // Every setting, including those without a setter of their own (Referer, Login, Password, the proxy,
    // ExtraHeaders, MaxExchangeSeconds, ...).
    HttpControl &Control() { return m_control; }
    const HttpControl &Control() const { return m_control; }
    const HttpResult &LastResult() const { return m_result; }
    HttpConnPool &Pool() { return m_pool; }

private:
    // The body in the charset its page names (or unchanged) as UTF-8 text into out.
    void ToUtf8(const DataBuffer &body, StringBuffer &out);
    static constexpr uint32_t kKeptBodyCapacity = 4u << 20;

    HttpControl m_control;
    HttpConnPool m_pool;
    HttpResult m_result;
    DataBuffer m_body; // the last page's bytes; its block is reused by the next fetch
};

} // namespace vantry
