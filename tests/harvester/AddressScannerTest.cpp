// Tests of AddressScanner with scripted lookups and a scripted clock: address stepping, the name filter,
// the walk's limits and what it writes. No name is resolved; the sandbox test does the real lookups.
#include "harvester/AddressScanner.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ClsStringArray.h"
#include "core/StringBuffer.h"
#include "core/StringSeen.h"
#include "core/StringTable.h"
#include "support/TestSupport.h"

using namespace vantry;
using namespace lanternfold;

namespace {

// Answers from tables; every reverse lookup moves the clock on by stepMs and is recorded.
class ScriptedLookups : public AddressScanner::Lookups {
public:
    bool ForwardLookup(const char *host, StringBuffer &out) override {
        forwardAsked.push_back(host);
        auto it = addresses.find(host);
        if (it == addresses.end())
            return false;
        out.Append(it->second.c_str());
        return true;
    }
    bool ReverseLookup(const char *address, StringBuffer &out) override {
        reverseAsked.push_back(address);
        now += stepMs;
        out.Clear();
        auto it = names.find(address);
        if (it == names.end())
            return false;
        out.Append(it->second.c_str());
        return true;
    }
    uint32_t TickCount() override { return now; }

    std::map<std::string, std::string> addresses;
    std::map<std::string, std::string> names;
    std::vector<std::string> forwardAsked;
    std::vector<std::string> reverseAsked;
    uint32_t now = 0xFFFFF000u; // close to the wrap, which the elapsed-time rule must survive
    uint32_t stepMs = 1;
};

std::string Next(const char *a) {
    StringBuffer out;
    return AddressScanner::NextAddress(a, out) ? std::string(out.Text()) : std::string("<none>");
}

std::string Previous(const char *a) {
    StringBuffer out;
    return AddressScanner::PreviousAddress(a, out) ? std::string(out.Text()) : std::string("<none>");
}

bool Acceptable(const char *name) {
    StringBuffer b(name);
    return AddressScanner::IsAcceptableReverseName(b);
}

std::vector<std::string> Strings(const StringTable &t) {
    std::vector<std::string> all;
    StringBuffer s;
    for (int32_t i = 0; i < t.Count(); ++i) {
        t.GetString(i, s);
        all.push_back(s.Text());
    }
    return all;
}

int CountUpward(const std::vector<std::string> &asked, const std::string &start) {
    // Reverse lookups above the start come first; they end where the first one below the start is asked.
    int n = 0;
    for (const std::string &a : asked) {
        StringBuffer prev;
        if (AddressScanner::PreviousAddress(start.c_str(), prev) && a == prev.Text())
            break;
        ++n;
    }
    return n;
}

} // namespace

TEST(AddressScannerAddresses, NextAndPreviousStayInsideTheSlash16Block) {
    EXPECT_EQ(Next("10.0.3.254"), "10.0.3.255");
    EXPECT_EQ(Next("10.0.3.255"), "10.0.4.0");
    EXPECT_EQ(Next("10.0.255.255"), "<none>");
    EXPECT_EQ(Previous("10.0.4.0"), "10.0.3.255");
    EXPECT_EQ(Previous("10.0.0.0"), "<none>");
    EXPECT_EQ(Previous("10.0.0.1"), "10.0.0.0");
}

TEST(AddressScannerAddresses, AnythingButFourDottedNumbersFails) {
    for (const char *bad : {"", "10.0.3", "10.0.3.4.5", "10.0.3.x", "10.0.3.256", "10.0..3", " 10.0.3.4",
                            "a.b.c.d", "10.0.3.4 "}) {
        EXPECT_EQ(Next(bad), "<none>") << bad;
        EXPECT_EQ(Previous(bad), "<none>") << bad;
    }
    EXPECT_EQ(Next(nullptr), "<none>");
}

TEST(AddressScannerNames, AcceptsSiteNamesAndRefusesMachineNames) {
    EXPECT_TRUE(Acceptable("example.com"));
    EXPECT_TRUE(Acceptable("www.example.com"));
    EXPECT_TRUE(Acceptable("localhost"));
    EXPECT_FALSE(Acceptable("mail.example.com"));
    EXPECT_FALSE(Acceptable("a.b.c.example.com"));
    EXPECT_FALSE(Acceptable("www.a.example.com"));
    EXPECT_FALSE(Acceptable("host-10-1-2-3.example.net"));
    EXPECT_FALSE(Acceptable("Unknown.example"));
    EXPECT_FALSE(Acceptable("unknown-host.com"));
    EXPECT_TRUE(Acceptable("web2-3-4.example")) << "three numbers are not an address";
    EXPECT_TRUE(Acceptable("x10-1-2.example"));
}

TEST(AddressScannerNames, LowerCasesTheNameInPlace) {
    StringBuffer name("WWW.Example.COM");
    EXPECT_TRUE(AddressScanner::IsAcceptableReverseName(name));
    EXPECT_STREQ(name.Text(), "www.example.com");
}

TEST(AddressScannerWalk, TwentyOneUnansweredLookupsInARowEndEachDirection) {
    ScriptedLookups lookups;
    AddressScanner scanner(lookups);
    scanner.maxMisses = 20;
    StringSeen seen(101);
    EXPECT_TRUE(scanner.WalkNeighbours("10.0.100.100", seen, nullptr, nullptr));
    ASSERT_EQ(lookups.reverseAsked.size(), 42u);
    EXPECT_EQ(lookups.reverseAsked.front(), "10.0.100.101");
    EXPECT_EQ(lookups.reverseAsked[20], "10.0.100.121");
    EXPECT_EQ(lookups.reverseAsked[21], "10.0.100.99");
    EXPECT_EQ(lookups.reverseAsked.back(), "10.0.100.79");
}

TEST(AddressScannerWalk, QuickScanLimitsBothDirectionsToSixLookups) {
    ScriptedLookups lookups;
    AddressScanner scanner(lookups);
    scanner.quickScan = true;
    StringSeen seen(101);
    scanner.WalkNeighbours("10.0.100.100", seen, nullptr, nullptr);
    EXPECT_EQ(lookups.reverseAsked.size(), 12u);
}

TEST(AddressScannerWalk, UnacceptableAnswersCountAsMisses) {
    ScriptedLookups lookups;
    for (int i = 0; i < 256; ++i)
        lookups.names["10.0.100." + std::to_string(i)] = "mail.example.com";
    AddressScanner scanner(lookups);
    scanner.maxMisses = 3;
    StringSeen seen(101);
    scanner.WalkNeighbours("10.0.100.100", seen, nullptr, nullptr);
    EXPECT_EQ(lookups.reverseAsked.size(), 8u);
}

TEST(AddressScannerWalk, StopsAtTheBlockBoundaries) {
    ScriptedLookups lookups;
    AddressScanner scanner(lookups);
    StringSeen seen(101);
    scanner.WalkNeighbours("10.0.255.253", seen, nullptr, nullptr);
    scanner.WalkNeighbours("10.0.0.2", seen, nullptr, nullptr);
    std::vector<std::string> asked(lookups.reverseAsked.begin(), lookups.reverseAsked.end());
    // Up from 10.0.255.253: two lookups; down from it: 26. Up from 10.0.0.2: 26; down: two.
    ASSERT_EQ(asked.size(), 2u + 26u + 26u + 2u);
    EXPECT_EQ(asked[1], "10.0.255.255");
    EXPECT_EQ(asked[2], "10.0.255.252");
    EXPECT_EQ(asked[asked.size() - 2], "10.0.0.1");
    EXPECT_EQ(asked.back(), "10.0.0.0");
}

TEST(AddressScannerWalk, FoundNameResetsTheMissCount) {
    ScriptedLookups lookups;
    lookups.names["10.0.100.120"] = "far-site.com";
    lookups.names["10.0.100.142"] = "too-far.com"; // 21 misses after the last find
    AddressScanner scanner(lookups);
    scanner.maxMisses = 20;
    StringSeen seen(101);
    StringTable found;
    scanner.WalkNeighbours("10.0.100.100", seen, nullptr, &found);
    EXPECT_EQ(Strings(found), std::vector<std::string>{"far-site.com"});
    EXPECT_EQ(CountUpward(lookups.reverseAsked, "10.0.100.100"), 20 + 21);
}

TEST(AddressScannerWalk, TenSecondsWithoutAnAnswerEndTheWalkAndCarryIntoTheDownwardWalk) {
    ScriptedLookups lookups;
    lookups.stepMs = 600;
    AddressScanner scanner(lookups);
    scanner.maxMisses = 1000;
    StringSeen seen(101);
    scanner.WalkNeighbours("10.0.100.100", seen, nullptr, nullptr);
    // 19 lookups take 11.4 s since the start, more than 10 whole seconds; the downward walk starts
    // with that same last answer time and stops after its first unanswered lookup.
    ASSERT_EQ(lookups.reverseAsked.size(), 20u);
    EXPECT_EQ(lookups.reverseAsked[18], "10.0.100.119");
    EXPECT_EQ(lookups.reverseAsked[19], "10.0.100.99");
}

TEST(AddressScannerWalk, AnAnswerRestartsTheTenSecondRule) {
    ScriptedLookups lookups;
    lookups.stepMs = 600;
    lookups.names["10.0.100.110"] = "mail.example.com"; // answered but unacceptable: still an answer
    AddressScanner scanner(lookups);
    scanner.maxMisses = 1000;
    StringSeen seen(101);
    scanner.WalkNeighbours("10.0.100.100", seen, nullptr, nullptr);
    EXPECT_EQ(CountUpward(lookups.reverseAsked, "10.0.100.100"), 10 + 19);
}

TEST(AddressScannerWalk, AlreadySeenNameEndsThatDirectionWithoutWritingIt) {
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    ScriptedLookups lookups;
    lookups.names["10.0.100.101"] = "first.com";
    lookups.names["10.0.100.102"] = "www.known.org";
    lookups.names["10.0.100.103"] = "never-reached.net";
    lookups.names["10.0.100.99"] = "www.below.net";
    AddressScanner scanner(lookups);
    StringSeen seen(101);
    seen.Add(StringBuffer("www.known.org"));
    StringTable found;
    scanner.WalkNeighbours("10.0.100.100", seen, out.c_str(), &found);
    EXPECT_EQ(Strings(found), (std::vector<std::string>{"first.com", "www.below.net"}));
    EXPECT_EQ(testsupport::ReadFileBytes(out), "first.com\nwww.below.net\n");
    EXPECT_EQ(CountUpward(lookups.reverseAsked, "10.0.100.100"), 2);
    EXPECT_TRUE(seen.Contains(StringBuffer("first.com")));
    EXPECT_TRUE(seen.Contains(StringBuffer("www.below.net")));
}

TEST(AddressScannerWalk, BothDirectionsWriteOnlyNamesWithAKnownTld) {
    // Mended: the downward walk used to write every accepted name, known top-level domain or not.
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    testsupport::WriteFileBytes(out, "earlier.com\n");
    ScriptedLookups lookups;
    lookups.names["10.0.100.101"] = "Up-Known.COM";
    lookups.names["10.0.100.102"] = "www.up-unknown.zz";
    lookups.names["10.0.100.99"] = "down-unknown.zz";
    lookups.names["10.0.100.98"] = "www.down-known.org";
    AddressScanner scanner(lookups);
    StringSeen seen(101);
    StringTable found;
    scanner.WalkNeighbours("10.0.100.100", seen, out.c_str(), &found);
    EXPECT_EQ(Strings(found), (std::vector<std::string>{"up-known.com", "www.up-unknown.zz",
                                                        "down-unknown.zz", "www.down-known.org"}));
    EXPECT_EQ(testsupport::ReadFileBytes(out), "earlier.com\nup-known.com\nwww.down-known.org\n");
}

TEST(AddressScannerScan, UnresolvableHostContributesNothing) {
    ScriptedLookups lookups;
    AddressScanner scanner(lookups);
    StringSeen seen(101);
    StringTable found;
    EXPECT_FALSE(scanner.ScanAround("nowhere.example", seen, nullptr, &found));
    EXPECT_TRUE(lookups.reverseAsked.empty());
    EXPECT_EQ(found.Count(), 0);
}

TEST(AddressScannerScan, ScanDomainsWalksEachNameAndSharesTheSeenSet) {
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    ScriptedLookups lookups;
    lookups.addresses["alpha.com"] = "10.0.5.10";
    lookups.addresses["beta.com"] = "10.0.5.14";
    lookups.addresses["gone.com"] = "bad address";
    lookups.names["10.0.5.11"] = "www.neighbour.com";
    lookups.names["10.0.5.18"] = "www.other.com";
    AddressScanner scanner(lookups);
    scanner.quickScan = true;
    StringSeen seen(101);
    StringTable found;
    ClsStringArray names;
    names.Append("alpha.com");
    names.Append("gone.com");
    names.Append("beta.com");
    scanner.ScanDomains(names, seen, &found, out.c_str());
    EXPECT_EQ(lookups.forwardAsked, (std::vector<std::string>{"alpha.com", "gone.com", "beta.com"}));
    // From beta.com downward the walk meets www.neighbour.com again and stops there.
    EXPECT_EQ(Strings(found), (std::vector<std::string>{"www.neighbour.com", "www.other.com"}));
    EXPECT_EQ(std::count(lookups.reverseAsked.begin(), lookups.reverseAsked.end(), "10.0.5.11"), 2);
    EXPECT_EQ(std::count(lookups.reverseAsked.begin(), lookups.reverseAsked.end(), "10.0.5.10"), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(out), "www.neighbour.com\nwww.other.com\n");
}
