// AddressScanner: the address neighbourhood scan of the harvester. Resolves a
// domain to its IPv4 address and asks the reverse lookup for the addresses
// above and below it, keeping names that look like sites.
#pragma once
#include <cstdint>
#include <functional>

namespace vantry {
class ClsStringArray;
class StringBuffer;
class StringSeen;
class StringTable;
} // namespace vantry

namespace lanternfold {

class AddressScanner {
public:
    // The two lookups and the tick counter a scan uses. The default asks the
    // system (port 80 for the reverse lookup); tests give scripted answers.
    class Lookups {
    public:
        virtual ~Lookups() = default;
        // Appends the dotted IPv4 address of host to out.
        virtual bool ForwardLookup(const char *host, vantry::StringBuffer &out);
        // Sets out to the name registered for the dotted address; dotted answers
        // count as none.
        virtual bool ReverseLookup(const char *address, vantry::StringBuffer &out);
        virtual uint32_t TickCount();
    };

    // What a walk asks and tells about the names it meets: whether a name is already known (that
    // direction of the walk ends there), and each new name it accepts.
    class Names {
    public:
        virtual ~Names() = default;
        virtual bool Known(const vantry::StringBuffer &name) = 0;
        virtual void Found(const vantry::StringBuffer &name) = 0;
    };

    AddressScanner();
    // Uses the given lookups (not owned; they must outlive the scanner).
    explicit AddressScanner(Lookups &lookups);
    virtual ~AddressScanner() = default;

    // For each name in order, ScanAround with the same seen-set, table and output
    // path.
    void ScanDomains(const vantry::ClsStringArray &names, vantry::StringSeen &seen,
                     vantry::StringTable *found, const char *outputPath);
    // False when the host does not resolve; otherwise the result of
    // WalkNeighbours.
    bool ScanAround(const char *host, vantry::StringSeen &seen, const char *outputPath,
                    vantry::StringTable *found);
    // Walks up and then down from startAddress inside its /16 block. Always true.
    bool WalkNeighbours(const char *startAddress, vantry::StringSeen &seen, const char *outputPath,
                        vantry::StringTable *found);

    // Resolves the host and walks its neighbourhood, telling `names` of what it meets. False when the
    // host does not resolve or a stop came first.
    bool WalkFrom(const char *host, Names &names);
    // Asked before every lookup; a walk ends as soon as it gives true.
    void SetStopCheck(std::function<bool()> stopCheck) { m_stopCheck = std::move(stopCheck); }

    static bool NextAddress(const char *address, vantry::StringBuffer &out);
    static bool PreviousAddress(const char *address, vantry::StringBuffer &out);
    // Lower-cases name in place on the way; a name that is not a DNS host name is refused too.
    static bool IsAcceptableReverseName(vantry::StringBuffer &name);

    int32_t maxMisses = 25;
    bool quickScan = false;

private:
    void WalkOneWay(const char *startAddress, bool upward, uint32_t &lastHit, Names &names);
    bool StopAsked() const { return m_stopCheck && m_stopCheck(); }

    std::function<bool()> m_stopCheck;

    Lookups m_systemLookups;
    Lookups *m_lookups;
};

} // namespace lanternfold
