// PacedFetcher: the page fetcher every request of the harvester goes through. Before each request it
// takes the host's slot from the shared HostPacer (waiting in short slices that give up when a stop is
// asked for, and a place on the host's address when an IpGate is given), it follows redirects itself one hop
// at a time so that every hop is paced too, and it sets up the fetcher below: no verification of TLS
// certificates (only names are collected and nothing secret is sent), and the stop as the abort hook of every
// network wait.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "spider/PageFetcher.h"

namespace lanternfold {

class HarvestEnvironment;
class HostPacer;
class IpGate;
class StopWatch;

class PacedFetcher : public vantry::PageFetcher {
public:
    // Hops followed after the first request, as robots.txt fetches need at least five.
    static constexpr int kMaxRedirects = 5;
    // Longest single sleep while waiting for a host, so that a stop is seen soon.
    static constexpr uint32_t kWaitSliceMs = 100;

    PacedFetcher(std::unique_ptr<vantry::PageFetcher> inner, HostPacer &pacer, HarvestEnvironment &env,
                 StopWatch &stop);

    bool QuickGetHtml(const char *url, vantry::StringBuffer &out) override;
    bool WasRedirected() override { return m_redirected; }
    void GetFinalUrl(vantry::StringBuffer &out) override;
    void LastModifiedDate(vantry::StringBuffer &out) override { m_inner->LastModifiedDate(out); }
    int LastStatusCode() override { return m_inner->LastStatusCode(); }

    void SetUserAgent(const char *agent) override { m_inner->SetUserAgent(agent); }
    void GetUserAgent(vantry::StringBuffer &out) override { m_inner->GetUserAgent(out); }
    void SetFetchFromCache(bool on) override { m_inner->SetFetchFromCache(on); }
    bool GetFetchFromCache() override { return m_inner->GetFetchFromCache(); }
    void SetUpdateCache(bool on) override { m_inner->SetUpdateCache(on); }
    bool GetUpdateCache() override { return m_inner->GetUpdateCache(); }
    void SetUseHttpCache(bool on) override { m_inner->SetUseHttpCache(on); }
    void SetConnectTimeout(int seconds) override { m_inner->SetConnectTimeout(seconds); }
    void SetReadTimeout(int seconds) override { m_inner->SetReadTimeout(seconds); }
    // Kept here: the fetcher below never follows, this one does it hop by hop.
    void SetFollowRedirects(bool on) override { m_follow = on; }
    void SetMaxUrlLen(int bytes) override { m_inner->SetMaxUrlLen(bytes); }
    void SetRefuseMediaExtensions(bool on) override { m_inner->SetRefuseMediaExtensions(on); }
    void SetMaxConnections(int count) override { m_inner->SetMaxConnections(count); }
    void SetMaxContentLength(int bytes) override { m_inner->SetMaxContentLength(bytes); }
    void SetMimicIE(bool on) override { m_inner->SetMimicIE(on); }
    void SetMimicFirefox(bool on) override { m_inner->SetMimicFirefox(on); }
    void SetRequireVerifiedServer(bool on) override { m_inner->SetRequireVerifiedServer(on); }
    void SetProgressMonitor(vantry::ProgressMonitor *monitor) override {
        m_inner->SetProgressMonitor(monitor);
    }

    // Also limits the requests running at once to each IP address (not owned; null: no such limit).
    void SetIpGate(IpGate *gate) { m_ipGate = gate; }

    // Time spent waiting for hosts since the last reset, so that a caller can tell the network's time
    // from the pacing's.
    uint32_t WaitedMs() const { return m_waitedMs; }
    void ResetWaited() { m_waitedMs = 0; }
    // Whether the latest fetch gave up because a stop was asked for.
    bool Stopped() const { return m_stopped; }

private:
    // One request to the URL's host once its slot is free; false when a stop came first.
    bool FetchPaced(const std::string &url, vantry::StringBuffer &out, bool &fetched);
    // Takes the host's turn (and a place on its address, with an IpGate); false when a stop came first.
    bool WaitForHost(const std::string &host, const std::string &address);

    std::unique_ptr<vantry::PageFetcher> m_inner;
    HostPacer &m_pacer;
    HarvestEnvironment &m_env;
    StopWatch &m_stop;
    IpGate *m_ipGate = nullptr;
    bool m_follow = true;
    bool m_redirected = false;
    bool m_stopped = false;
    std::string m_final;
    uint32_t m_waitedMs = 0;
};

} // namespace lanternfold
