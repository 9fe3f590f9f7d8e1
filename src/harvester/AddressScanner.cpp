// AddressScanner: walks the reverse names of the neighbouring IPv4 addresses of
// a domain, bounded by miss limits, a 10-second rule since the last answer and
// the /16 block; found names go to the output file.
#include "harvester/AddressScanner.h"

#include <cstdio>
#include <cstring>

#include "core/ClsStringArray.h"
#include "core/FileSys.h"
#include "core/StringBuffer.h"
#include "core/StringSeen.h"
#include "core/StringTable.h"
#include "net/NameLookup.h"
#include "platform/Clock.h"
#include "url/HostName.h"
#include "url/KnownTlds.h"

namespace lanternfold {

using namespace vantry;

namespace {
constexpr int32_t kQuickScanLimit = 5;
constexpr uint32_t kSecondsSinceLastHit = 10;

// Exactly four decimal numbers from 0 to 255 separated by '.', nothing else.
bool ParseDotted(const char *text, int parts[4]) {
    if (!text)
        return false;
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.')
                return false;
            ++p;
        }
        if (*p < '0' || *p > '9')
            return false;
        int v = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + (*p - '0');
            if (++digits > 3)
                return false;
            ++p;
        }
        if (v > 255)
            return false;
        parts[i] = v;
    }
    return *p == 0;
}

void PrintDotted(const int parts[4], StringBuffer &out) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
    out.Clear();
    out.Append(text);
}

// The output file: opened for appending, one name and its LF in one write, closed
// again. A failed write is ignored.
void AppendNameToFile(const char *outputPath, const StringBuffer &name) {
    StringBuffer line;
    line.AppendBuffer(name);
    line.Append("\n");
    FileSys::AppendToFile(outputPath, line.Text(), static_cast<uint32_t>(line.Length()), nullptr);
}

// The seen-set, table and output file of ScanAround as the names of a walk. Both
// directions write a found name only when it has a known top-level domain, so the
// output file never gets names the harvester itself would refuse.
class SeenNames : public AddressScanner::Names {
public:
    SeenNames(StringSeen &seen, const char *outputPath, StringTable *found)
        : m_seen(seen), m_outputPath(outputPath), m_found(found) {}
    bool Known(const StringBuffer &name) override { return m_seen.Contains(name); }
    void Found(const StringBuffer &name) override {
        m_seen.Add(name);
        if (m_outputPath && HasKnownTld(name.Text()))
            AppendNameToFile(m_outputPath, name);
        if (m_found)
            m_found->Append(name.Text());
    }

private:
    StringSeen &m_seen;
    const char *m_outputPath;
    StringTable *m_found;
};
} // namespace

bool AddressScanner::Lookups::ForwardLookup(const char *host, StringBuffer &out) {
    return ResolveDottedIp(host, out);
}

bool AddressScanner::Lookups::ReverseLookup(const char *address, StringBuffer &out) {
    return vantry::ReverseLookup(address, 80, out);
}

uint32_t AddressScanner::Lookups::TickCount() {
    return platform::GetTickCount();
}

AddressScanner::AddressScanner() : m_lookups(&m_systemLookups) {}

AddressScanner::AddressScanner(Lookups &lookups) : m_lookups(&lookups) {}

void AddressScanner::ScanDomains(const ClsStringArray &names, StringSeen &seen, StringTable *found,
                                 const char *outputPath) {
    StringBuffer name;
    int32_t n = names.Count();
    for (int32_t i = 0; i < n && !StopAsked(); ++i) {
        if (!names.GetString(i, name))
            continue;
        ScanAround(name.Text(), seen, outputPath, found);
    }
}

bool AddressScanner::ScanAround(const char *host, StringSeen &seen, const char *outputPath,
                                StringTable *found) {
    SeenNames names(seen, outputPath, found);
    return WalkFrom(host, names);
}

bool AddressScanner::WalkFrom(const char *host, Names &names) {
    StringBuffer address;
    if (!host || StopAsked() || !m_lookups->ForwardLookup(host, address))
        return false;
    uint32_t lastHit = m_lookups->TickCount();
    WalkOneWay(address.Text(), true, lastHit, names);
    WalkOneWay(address.Text(), false, lastHit, names);
    return !StopAsked();
}

bool AddressScanner::WalkNeighbours(const char *startAddress, StringSeen &seen, const char *outputPath,
                                    StringTable *found) {
    SeenNames names(seen, outputPath, found);
    uint32_t lastHit = m_lookups->TickCount();
    WalkOneWay(startAddress, true, lastHit, names);
    WalkOneWay(startAddress, false, lastHit, names);
    return true;
}

// One direction of the walk, ended by the miss limits, the 10-second rule, the
// /16 boundary, the first known name, or a stop.
void AddressScanner::WalkOneWay(const char *startAddress, bool upward, uint32_t &lastHit, Names &names) {
    const int32_t nameLimit = quickScan ? kQuickScanLimit : maxMisses;
    const int32_t failLimit = nameLimit;
    StringBuffer current(startAddress ? startAddress : "");
    StringBuffer next;
    StringBuffer name;
    int32_t misses = 0;
    for (;;) {
        if (StopAsked())
            return;
        bool stepped = upward ? NextAddress(current.Text(), next) : PreviousAddress(current.Text(), next);
        if (!stepped)
            return;
        name.Clear();
        bool answered = m_lookups->ReverseLookup(next.Text(), name) && name.Length() > 0;
        ++misses;
        if (answered) {
            lastHit = m_lookups->TickCount();
            if (IsAcceptableReverseName(name)) {
                if (names.Known(name))
                    return;
                names.Found(name);
                misses = 0;
            } else if (misses > nameLimit) {
                return;
            }
        } else {
            if (misses > failLimit)
                return;
            uint32_t elapsedMs = m_lookups->TickCount() - lastHit;
            if (elapsedMs / 1000 > kSecondsSinceLastHit)
                return;
        }
        current.SetBuffer(next);
    }
}

bool AddressScanner::NextAddress(const char *address, StringBuffer &out) {
    int p[4];
    if (!ParseDotted(address, p))
        return false;
    if (p[3] < 255) {
        ++p[3];
    } else {
        p[3] = 0;
        if (p[2] == 255)
            return false;
        ++p[2];
    }
    PrintDotted(p, out);
    return true;
}

bool AddressScanner::PreviousAddress(const char *address, StringBuffer &out) {
    int p[4];
    if (!ParseDotted(address, p))
        return false;
    if (p[3] != 0) {
        --p[3];
    } else {
        p[3] = 255;
        if (p[2] == 0)
            return false;
        --p[2];
    }
    PrintDotted(p, out);
    return true;
}

bool AddressScanner::IsAcceptableReverseName(StringBuffer &name) {
    int32_t dots = name.CountChar('.');
    if (dots >= 3)
        return false;
    name.ToLower();
    if (dots == 2 && !name.BeginsWith("www."))
        return false;
    if (name.BeginsWith("unknown"))
        return false;
    const char *text = name.Text();
    const char *digit = text;
    while (*digit && (*digit < '0' || *digit > '9'))
        ++digit;
    if (*digit && ReadsAsFourIntegers(digit, '-'))
        return false;
    return NormalizeHostName(name);
}

} // namespace lanternfold
