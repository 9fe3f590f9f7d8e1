// PacedFetcher: paced requests, redirects followed hop by hop, stop-aware waits.
#include "harvester/PacedFetcher.h"

#include "core/AsciiText.h"
#include "core/StringBuffer.h"
#include "harvester/HarvestEnvironment.h"
#include "harvester/HostPacer.h"
#include "harvester/IpGate.h"
#include "harvester/StopWatch.h"
#include "url/UrlUtil.h"

namespace lanternfold {

using namespace vantry;

namespace {

bool IsHttpUrl(const std::string &url) {
    return ascii::StartsWithNoCase(url, "http://") || ascii::StartsWithNoCase(url, "https://");
}

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

PacedFetcher::PacedFetcher(std::unique_ptr<PageFetcher> inner, HostPacer &pacer, HarvestEnvironment &env,
                           StopWatch &stop)
    : m_inner(std::move(inner)), m_pacer(pacer), m_env(env), m_stop(stop) {
    m_inner->SetFollowRedirects(false);
    m_inner->SetRequireVerifiedServer(false);
    m_inner->SetProgressMonitor(&m_stop);
}

void PacedFetcher::GetFinalUrl(StringBuffer &out) {
    out.SetString(m_final.c_str());
}

bool PacedFetcher::QuickGetHtml(const char *url, StringBuffer &out) {
    out.Clear();
    m_redirected = false;
    m_stopped = false;
    m_final = url != nullptr ? url : "";
    for (int hop = 0;; ++hop) {
        bool fetched = false;
        if (!FetchPaced(m_final, out, fetched))
            return false;
        if (!fetched)
            return false;
        if (!m_inner->WasRedirected() || !IsRedirectStatus(m_inner->LastStatusCode()))
            return true;
        StringBuffer next;
        m_inner->GetFinalUrl(next);
        m_redirected = true;
        m_final = next.Text();
        if (!m_follow)
            return true; // the redirect response is the answer
        if (hop >= kMaxRedirects || !IsHttpUrl(m_final)) {
            out.Clear();
            return false;
        }
    }
}

bool PacedFetcher::FetchPaced(const std::string &url, StringBuffer &out, bool &fetched) {
    StringBuffer host;
    GetUrlHost(url.c_str(), host);
    const std::string key(host.View());
    const std::string address = m_ipGate != nullptr ? m_ipGate->AddressOf(key) : std::string();
    if (!WaitForHost(key, address))
        return false;
    fetched = m_inner->QuickGetHtml(url.c_str(), out);
    if (m_ipGate != nullptr)
        m_ipGate->Leave(address);
    m_pacer.Finish(key);
    if (!fetched && m_stop.Requested())
        m_stopped = true;
    return true;
}

bool PacedFetcher::WaitForHost(const std::string &host, const std::string &address) {
    std::function<bool()> addressFree;
    if (m_ipGate != nullptr)
        addressFree = [this, &address] { return m_ipGate->TryEnter(address); };
    for (;;) {
        if (m_stop.Requested()) {
            m_stopped = true;
            return false;
        }
        uint32_t waitMs = 0;
        if (m_pacer.TryStart(host, m_env.TickCount(), waitMs, addressFree))
            return true;
        const uint32_t slice = waitMs < kWaitSliceMs ? waitMs : kWaitSliceMs;
        m_env.SleepMs(slice);
        m_waitedMs += slice;
    }
}

} // namespace lanternfold
