// IpGate: the host-to-address table and the count of requests running per address.
#include "harvester/IpGate.h"

namespace lanternfold {

IpGate::IpGate(Resolver resolve, int perAddress)
    : m_resolve(std::move(resolve)), m_perAddress(perAddress < 1 ? 1 : perAddress) {}

std::string IpGate::AddressOf(const std::string &host) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_addresses.find(host);
        if (it != m_addresses.end())
            return it->second;
    }
    // Looked up outside the lock: a lookup may take a network round trip.
    std::string address;
    if (!m_resolve || !m_resolve(host, address) || address.empty())
        return "name:" + host; // not remembered: the next request asks again
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_addresses.size() >= kRememberedHosts)
        m_addresses.clear();
    m_addresses[host] = address;
    return address;
}

bool IpGate::TryEnter(const std::string &address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inFlight.TryTake(address, m_perAddress);
}

void IpGate::Leave(const std::string &address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inFlight.Give(address);
}

int IpGate::InFlight(const std::string &address) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inFlight.Taken(address);
}

} // namespace lanternfold
