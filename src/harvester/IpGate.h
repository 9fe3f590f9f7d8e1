// IpGate: at most two requests at once to one IP address, whatever host names they are sent under
// (many virtual hosts share one address, and crawl workers on different sites would otherwise pile
// onto it). A host's address is looked up once before its first request and remembered; the fetcher
// asks the gate for a place on that address together with its host's turn (HostPacer::TryStart), so
// a request waiting for its address does not use up its host's turn. Thread-safe.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "harvester/PlaceCounts.h"

namespace lanternfold {

class IpGate {
public:
    static constexpr int kPerAddress = 2;
    // Host addresses remembered; past this the table starts afresh.
    static constexpr size_t kRememberedHosts = 8192;

    // Gives the dotted address of a host name, or false.
    using Resolver = std::function<bool(const std::string &host, std::string &address)>;

    explicit IpGate(Resolver resolve, int perAddress = kPerAddress);

    // The key the host's requests are counted under: its address, or (when it does not resolve) the
    // name itself, so that such a host is still limited on its own.
    std::string AddressOf(const std::string &host);
    // Takes a place on the address when fewer than the limit are taken; Leave gives it back.
    bool TryEnter(const std::string &address);
    void Leave(const std::string &address);

    int InFlight(const std::string &address) const;
    int PerAddress() const { return m_perAddress; }

private:
    Resolver m_resolve;
    const int m_perAddress;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, std::string> m_addresses; // host -> address
    PlaceCounts m_inFlight;                                   // requests running per address
};

} // namespace lanternfold
