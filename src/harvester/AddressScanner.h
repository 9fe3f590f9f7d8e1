// AddressScanner: the address neighbourhood scan of the harvester. Resolves a
// domain to its IPv4 address and asks the reverse lookup for the addresses
// above and below it, keeping names that look like sites.
#pragma once
#include <cstdint>

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

    static bool NextAddress(const char *address, vantry::StringBuffer &out);
    static bool PreviousAddress(const char *address, vantry::StringBuffer &out);
    // Lower-cases name in place on the way.
    static bool IsAcceptableReverseName(vantry::StringBuffer &name);

    int32_t maxMisses = 25;
    bool quickScan = false;

private:
    void WalkOneWay(const char *startAddress, bool upward, uint32_t &lastHit, vantry::StringSeen &seen,
                    const char *outputPath, vantry::StringTable *found);

    Lookups m_systemLookups;
    Lookups *m_lookups;
};

} // namespace lanternfold
