// A scripted world for harvester tests: one table of pages shared by every fetcher the harvester
// makes, scripted name lookups, a scripted clock that fetches and sleeps advance, and a stop request
// raised after a set number of checks.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/StringBuffer.h"
#include "harvester/HarvestEnvironment.h"
#include "support/ScriptedPages.h"

namespace testsupport {

// Forwards to the shared scripted pages, so that every fetcher sees one web and one record.
class ForwardingFetcher : public vantry::PageFetcher {
public:
    explicit ForwardingFetcher(ScriptedPages &to) : m(to) {}
    bool QuickGetHtml(const char *url, vantry::StringBuffer &out) override {
        return m.QuickGetHtml(url, out);
    }
    bool WasRedirected() override { return m.WasRedirected(); }
    void GetFinalUrl(vantry::StringBuffer &out) override { m.GetFinalUrl(out); }
    void LastModifiedDate(vantry::StringBuffer &out) override { m.LastModifiedDate(out); }
    int LastStatusCode() override { return m.LastStatusCode(); }
    void SetUserAgent(const char *a) override { m.SetUserAgent(a); }
    void GetUserAgent(vantry::StringBuffer &out) override { m.GetUserAgent(out); }
    void SetFetchFromCache(bool on) override { m.SetFetchFromCache(on); }
    bool GetFetchFromCache() override { return m.GetFetchFromCache(); }
    void SetUpdateCache(bool on) override { m.SetUpdateCache(on); }
    bool GetUpdateCache() override { return m.GetUpdateCache(); }
    void SetUseHttpCache(bool on) override { m.SetUseHttpCache(on); }
    void SetConnectTimeout(int s) override { m.SetConnectTimeout(s); }
    void SetReadTimeout(int s) override { m.SetReadTimeout(s); }
    void SetFollowRedirects(bool on) override { m.SetFollowRedirects(on); }
    void SetMaxUrlLen(int n) override { m.SetMaxUrlLen(n); }
    void SetRefuseMediaExtensions(bool on) override { m.SetRefuseMediaExtensions(on); }
    void SetMaxConnections(int n) override { m.SetMaxConnections(n); }
    void SetMaxContentLength(int n) override { m.SetMaxContentLength(n); }
    void SetMimicIE(bool on) override { m.SetMimicIE(on); }
    void SetMimicFirefox(bool on) override { m.SetMimicFirefox(on); }
    void SetRequireVerifiedServer(bool on) override { m.SetRequireVerifiedServer(on); }
    void SetProgressMonitor(vantry::ProgressMonitor *monitor) override { m.SetProgressMonitor(monitor); }

private:
    ScriptedPages &m;
};

class ScriptedLookups : public lanternfold::AddressScanner::Lookups {
public:
    std::map<std::string, std::string> forward; // host -> dotted address
    std::map<std::string, std::string> reverse; // dotted address -> name
    std::vector<std::string> asked;             // forward lookups, in order
    int reverseAsked = 0;
    uint32_t reverseMs = 0;         // added to the clock by each reverse lookup
    std::function<void()> onLookup; // called at every lookup (a test's crash point)
    uint32_t *clock = nullptr;
    bool ForwardLookup(const char *host, vantry::StringBuffer &out) override {
        if (onLookup)
            onLookup();
        asked.push_back(host);
        auto it = forward.find(host);
        if (it == forward.end())
            return false;
        out.Append(it->second.c_str());
        return true;
    }
    bool ReverseLookup(const char *address, vantry::StringBuffer &out) override {
        if (onLookup)
            onLookup();
        ++reverseAsked;
        if (clock != nullptr)
            *clock += reverseMs;
        auto it = reverse.find(address);
        if (it == reverse.end())
            return false;
        out.SetString(it->second.c_str());
        return true;
    }
    uint32_t TickCount() override { return clock != nullptr ? *clock : 0; }
};

class ScriptedHarvest : public lanternfold::HarvestEnvironment {
public:
    ScriptedHarvest() {
        web.clock = &clock;
        lookups.clock = &clock;
    }
    ScriptedPages web;
    ScriptedLookups lookups;
    uint32_t clock = 2;    // even: the second seed site and the IE profile
    uint32_t tickStep = 0; // added at every reading
    std::vector<uint32_t> sleeps;
    int stopAfterChecks = -1; // the stop request is raised at this check (counted from 1); -1 never
    int stopChecks = 0;
    int64_t stopAtTick = -1; // or once the clock has reached this tick; -1 never
    bool staleStopFile = false;
    std::string stderrText;

    std::unique_ptr<vantry::PageFetcher> NewFetcher() override {
        return std::make_unique<ForwardingFetcher>(web);
    }
    lanternfold::AddressScanner::Lookups &Lookups() override { return lookups; }
    uint32_t TickCount() override {
        uint32_t now = clock;
        clock += tickStep;
        return now;
    }
    void SleepMs(uint32_t ms) override {
        sleeps.push_back(ms);
        clock += ms;
    }
    bool StopRequested() override {
        ++stopChecks;
        return (stopAfterChecks >= 0 && stopChecks >= stopAfterChecks) ||
               (stopAtTick >= 0 && clock >= static_cast<uint32_t>(stopAtTick));
    }
    std::string StopReason() override { return "scripted stop"; }
    bool RemoveStaleStopFile() override {
        const bool was = staleStopFile;
        staleStopFile = false;
        return was;
    }
    bool ShowStatus() override { return false; }
    void WriteStdErr(const char *text) override { stderrText += text; }
};

} // namespace testsupport
