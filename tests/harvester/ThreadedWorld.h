// A scripted world that many harvester threads may use at once: one read-only table of pages and
// addresses, a record of every request (host, address, clock at its start and end) with the most
// requests seen running at once per host, per address and (for reverse lookups) per /16 block, a
// real millisecond clock, and a stop raised by the test or once the harvester says it has nothing
// left to do.
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/StringBuffer.h"
#include "harvester/HarvestEnvironment.h"
#include "net/ProgressMonitor.h"
#include "spider/PageFetcher.h"
#include "url/UrlUtil.h"

namespace testsupport {

struct WorldPage {
    std::string body;
    std::string redirectTo;
};

struct RequestRecord {
    std::string url;
    std::string host;
    std::string address;
    uint32_t start = 0;
    uint32_t end = 0;
    // The clock as the fetching thread last read it before the request: the reading the host pacer
    // granted the request's turn on (a thread may be held up for a moment between the two).
    uint32_t granted = 0;
};

class ThreadedWorld;

// One fetcher over the world: per-fetcher answers, shared table and record.
class WorldFetcher : public vantry::PageFetcher {
public:
    explicit WorldFetcher(ThreadedWorld &world) : m_world(world) {}
    bool QuickGetHtml(const char *url, vantry::StringBuffer &out) override;
    bool WasRedirected() override { return m_redirected; }
    void GetFinalUrl(vantry::StringBuffer &out) override { out.SetString(m_final.c_str()); }
    void LastModifiedDate(vantry::StringBuffer &out) override { out.Clear(); }
    int LastStatusCode() override { return m_status; }
    void SetUserAgent(const char *) override {}
    void GetUserAgent(vantry::StringBuffer &out) override { out.SetString("test"); }
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
    void SetProgressMonitor(vantry::ProgressMonitor *monitor) override { m_monitor = monitor; }

private:
    ThreadedWorld &m_world;
    vantry::ProgressMonitor *m_monitor = nullptr;
    bool m_redirected = false;
    int m_status = 0;
    std::string m_final;
};

class ThreadedWorld : public lanternfold::HarvestEnvironment, public lanternfold::AddressScanner::Lookups {
public:
    // Set up before the run, read-only while it runs.
    std::map<std::string, WorldPage> pages;
    std::map<std::string, std::string> forward; // host -> dotted address
    std::map<std::string, std::string> reverse; // dotted address -> name
    uint32_t fetchMs = 0;                       // real time each fetch takes
    uint32_t lookupMs = 0;                      // real time each reverse lookup takes
    std::atomic<bool> fetchesHang{false};       // fetches wait until their abort hook says stop
    bool stopWhenIdle = true;                   // stop once the harvester reports nothing left to do
    // Called at the start of every fetch, from the fetching thread (a test's crash point).
    std::function<void(const std::string &url)> onFetch;

    std::atomic<bool> stop{false};

    ThreadedWorld() : m_begin(std::chrono::steady_clock::now()) {}

    void Add(const std::string &url, const std::string &body) { pages[url].body = body; }

    // ---- the environment ----
    std::unique_ptr<vantry::PageFetcher> NewFetcher() override {
        return std::make_unique<WorldFetcher>(*this);
    }
    lanternfold::AddressScanner::Lookups &Lookups() override { return *this; }
    uint32_t TickCount() override {
        const auto elapsed = std::chrono::steady_clock::now() - m_begin;
        const uint32_t now =
            1000 +
            static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        LastTickOnThisThread() = now;
        return now;
    }
    static uint32_t &LastTickOnThisThread() {
        thread_local uint32_t tick = 0;
        return tick;
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    bool StopRequested() override { return stop.load(); }
    std::string StopReason() override { return "scripted stop"; }
    bool RemoveStaleStopFile() override { return false; }
    bool ShowStatus() override { return false; }
    void WriteStdErr(const char *text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stderr += text;
        const std::string line(text);
        if (stopWhenIdle && (line.find("nothing new to do") != std::string::npos ||
                             line.find("nothing queued or running") != std::string::npos))
            stop = true;
    }

    // ---- the lookups ----
    bool ForwardLookup(const char *host, vantry::StringBuffer &out) override {
        auto it = forward.find(host);
        if (it == forward.end())
            return false;
        out.Append(it->second.c_str());
        return true;
    }
    bool ReverseLookup(const char *address, vantry::StringBuffer &out) override {
        const std::string block = BlockOf(address);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_reverseAsked;
            m_maxPerBlock = std::max(m_maxPerBlock, ++m_inBlock[block]);
        }
        if (lookupMs != 0)
            SleepMs(lookupMs);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_inBlock[block];
        }
        auto it = reverse.find(address);
        if (it == reverse.end())
            return false;
        out.SetString(it->second.c_str());
        return true;
    }

    // ---- what was seen ----
    std::string StdErr() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stderr;
    }
    std::vector<RequestRecord> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int MostAtOnceToOneHost() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_maxPerHost;
    }
    int MostAtOnceToOneAddress() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_maxPerAddress;
    }
    int MostLookupsAtOnceInOneBlock() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_maxPerBlock;
    }
    int RequestsRunning() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_running;
    }
    int ReverseLookupsAsked() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reverseAsked;
    }

    // Called by the fetchers.
    bool Fetch(const char *url, vantry::ProgressMonitor *monitor, WorldPage &page) {
        if (onFetch)
            onFetch(url);
        vantry::StringBuffer hostText;
        vantry::GetUrlHost(url, hostText);
        RequestRecord record;
        record.url = url;
        record.host = std::string(hostText.View());
        auto addr = forward.find(record.host);
        record.address = addr != forward.end() ? addr->second : "unresolved " + record.host;
        record.granted = LastTickOnThisThread();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            record.start = TickCount();
            ++m_running;
            m_maxPerHost = std::max(m_maxPerHost, ++m_perHost[record.host]);
            m_maxPerAddress = std::max(m_maxPerAddress, ++m_perAddress[record.address]);
        }
        bool aborted = false;
        if (fetchesHang) {
            // A fetch held by the network: only the abort hook ends it (bounded, so a test cannot hang).
            for (int i = 0; i < 30000 && !(aborted = monitor != nullptr && monitor->AbortCheck()); ++i)
                SleepMs(1);
        } else if (fetchMs != 0) {
            SleepMs(fetchMs);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            record.end = TickCount();
            --m_running;
            --m_perHost[record.host];
            --m_perAddress[record.address];
            m_requests.push_back(record);
        }
        if (aborted)
            return false;
        auto it = pages.find(url);
        if (it == pages.end())
            return false;
        page = it->second;
        return true;
    }

    static std::string BlockOf(const std::string &address) {
        const size_t second = address.find('.', address.find('.') + 1);
        return address.substr(0, second);
    }

private:
    std::chrono::steady_clock::time_point m_begin;
    mutable std::mutex m_mutex;
    std::string m_stderr;
    std::vector<RequestRecord> m_requests;
    std::map<std::string, int> m_perHost;
    std::map<std::string, int> m_perAddress;
    std::map<std::string, int> m_inBlock;
    int m_maxPerHost = 0;
    int m_maxPerAddress = 0;
    int m_maxPerBlock = 0;
    int m_running = 0;
    int m_reverseAsked = 0;
};

inline bool WorldFetcher::QuickGetHtml(const char *url, vantry::StringBuffer &out) {
    out.Clear();
    m_redirected = false;
    m_final = url;
    WorldPage page;
    if (!m_world.Fetch(url, m_monitor, page)) {
        m_status = 404;
        return false;
    }
    m_status = 200;
    // As a socket does, the bytes go through the progress hook (which every worker's fetcher shares).
    if (m_monitor != nullptr)
        m_monitor->BytesReceived(static_cast<uint32_t>(page.body.size()));
    out.Append(page.body.c_str());
    if (!page.redirectTo.empty()) {
        m_redirected = true;
        m_final = page.redirectTo;
        m_status = 301;
    }
    return true;
}

} // namespace testsupport
