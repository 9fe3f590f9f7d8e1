// ScriptedPages: a PageFetcher that answers from a table of scripted pages, records every setting and
// fetch it receives, and can advance a scripted clock by a set time per fetch.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/StringBuffer.h"
#include "spider/PageFetcher.h"

namespace testsupport {

struct ScriptedPage {
    std::string body;
    bool ok = true;
    std::string redirectTo; // when not empty the fetch counts as redirected there
    uint32_t takesMs = 0;   // added to the clock by the fetch
    int status = 0;         // the response's status; 0 means 200 when ok and no response when not
};

class ScriptedPages : public vantry::PageFetcher {
public:
    // Unscripted URLs fail.
    std::map<std::string, ScriptedPage> pages;
    std::vector<std::string> fetched;
    std::vector<std::string> calls; // settings in the order they were applied, e.g. "ReadTimeout=10"
    uint32_t *clock = nullptr;      // advanced by the page's takesMs (or defaultMs)
    uint32_t defaultMs = 0;

    bool fetchFromCache = true;
    bool updateCache = true;
    std::string userAgent = "generic";
    std::vector<std::string> fetchSettings; // "FetchFromCache=0 UpdateCache=0" at each fetch

    void Add(const std::string &url, const std::string &body) { pages[url].body = body; }

    bool QuickGetHtml(const char *url, vantry::StringBuffer &out) override {
        out.Clear();
        fetched.push_back(url);
        fetchSettings.push_back(std::string("FetchFromCache=") + (fetchFromCache ? "1" : "0") +
                                " UpdateCache=" + (updateCache ? "1" : "0"));
        m_redirected = false;
        m_final = url;
        auto it = pages.find(url);
        uint32_t ms = it != pages.end() && it->second.takesMs != 0 ? it->second.takesMs : defaultMs;
        if (clock != nullptr)
            *clock += ms;
        m_status = 404;
        if (it != pages.end())
            m_status = it->second.status != 0 ? it->second.status : (it->second.ok ? 200 : 0);
        if (it == pages.end() || !it->second.ok)
            return false;
        out.Append(it->second.body.c_str());
        if (!it->second.redirectTo.empty()) {
            m_redirected = true;
            m_final = it->second.redirectTo;
        }
        return true;
    }
    bool WasRedirected() override { return m_redirected; }
    void GetFinalUrl(vantry::StringBuffer &out) override { out.SetString(m_final.c_str()); }
    void LastModifiedDate(vantry::StringBuffer &out) override { out.SetString("1994-11-06"); }
    int LastStatusCode() override { return m_status; } // unscripted URLs answer 404

    void SetUserAgent(const char *agent) override {
        userAgent = agent;
        calls.push_back("UserAgent=" + userAgent);
    }
    void GetUserAgent(vantry::StringBuffer &out) override { out.SetString(userAgent.c_str()); }
    void SetFetchFromCache(bool on) override {
        fetchFromCache = on;
        calls.push_back(std::string("FetchFromCache=") + (on ? "1" : "0"));
    }
    bool GetFetchFromCache() override { return fetchFromCache; }
    void SetUpdateCache(bool on) override {
        updateCache = on;
        calls.push_back(std::string("UpdateCache=") + (on ? "1" : "0"));
    }
    bool GetUpdateCache() override { return updateCache; }
    void SetUseHttpCache(bool on) override {
        calls.push_back(std::string("UseHttpCache=") + (on ? "1" : "0"));
    }
    void SetConnectTimeout(int s) override { calls.push_back("ConnectTimeout=" + std::to_string(s)); }
    void SetReadTimeout(int s) override { calls.push_back("ReadTimeout=" + std::to_string(s)); }
    void SetFollowRedirects(bool on) override {
        calls.push_back(std::string("FollowRedirects=") + (on ? "1" : "0"));
    }
    void SetMaxUrlLen(int n) override { calls.push_back("MaxUrlLen=" + std::to_string(n)); }
    void SetRefuseMediaExtensions(bool on) override {
        calls.push_back(std::string("RefuseMediaExtensions=") + (on ? "1" : "0"));
    }
    void SetMaxConnections(int n) override { calls.push_back("MaxConnections=" + std::to_string(n)); }
    void SetMaxContentLength(int n) override { calls.push_back("MaxContentLength=" + std::to_string(n)); }
    void SetMimicIE(bool on) override { calls.push_back(std::string("MimicIE=") + (on ? "1" : "0")); }
    void SetMimicFirefox(bool on) override {
        calls.push_back(std::string("MimicFirefox=") + (on ? "1" : "0"));
    }
    void SetRequireVerifiedServer(bool on) override {
        calls.push_back(std::string("RequireVerifiedServer=") + (on ? "1" : "0"));
    }

private:
    bool m_redirected = false;
    int m_status = 0;
    std::string m_final;
};

} // namespace testsupport
