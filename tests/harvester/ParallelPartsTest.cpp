// The parts the parallel harvester is built of, one at a time: the address gate (a host's address
// looked up once, two requests per address), the host pacer's second limit, the /16 gate of reverse
// lookups, the shared state (a walk still running survives a compaction of the journal; nothing
// changes once it is closed), and the --workers and --lookups options.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/HarvestState.h"
#include "harvester/HostPacer.h"
#include "harvester/IpGate.h"
#include "harvester/Options.h"
#include "harvester/SharedState.h"
#include "harvester/WalkPool.h"
#include "support/TestSupport.h"

using namespace lanternfold;

TEST(IpGate, AHostIsLookedUpOnceAndTwoRequestsAtOnceShareAnAddress) {
    std::vector<std::string> asked;
    IpGate gate([&](const std::string &host, std::string &address) {
        asked.push_back(host);
        if (host == "nowhere.org")
            return false;
        address = host == "c.org" ? "10.0.0.2" : "10.0.0.1";
        return true;
    });
    EXPECT_EQ(gate.AddressOf("a.org"), "10.0.0.1");
    EXPECT_EQ(gate.AddressOf("a.org"), "10.0.0.1");
    EXPECT_EQ(gate.AddressOf("b.org"), "10.0.0.1");
    EXPECT_EQ(gate.AddressOf("c.org"), "10.0.0.2");
    // A name that does not resolve is its own key, and is asked again next time.
    EXPECT_EQ(gate.AddressOf("nowhere.org"), "name:nowhere.org");
    EXPECT_EQ(gate.AddressOf("nowhere.org"), "name:nowhere.org");
    EXPECT_EQ(asked, (std::vector<std::string>{"a.org", "b.org", "c.org", "nowhere.org", "nowhere.org"}));

    EXPECT_TRUE(gate.TryEnter("10.0.0.1"));
    EXPECT_TRUE(gate.TryEnter("10.0.0.1"));
    EXPECT_FALSE(gate.TryEnter("10.0.0.1"));
    EXPECT_TRUE(gate.TryEnter("10.0.0.2"));
    gate.Leave("10.0.0.1");
    EXPECT_EQ(gate.InFlight("10.0.0.1"), 1);
    EXPECT_TRUE(gate.TryEnter("10.0.0.1"));
    gate.Leave("10.0.0.7"); // never entered: no effect
    EXPECT_EQ(gate.InFlight("10.0.0.7"), 0);
}

TEST(HostPacer, AHostHeldBackByASecondLimitKeepsItsTurn) {
    HostPacer pacer(1000);
    uint32_t wait = 0;
    ASSERT_TRUE(pacer.TryStart("a.org", 100, wait));
    pacer.Finish("a.org");
    // Due at 1100, but the address is full: nothing is taken, the host is not marked started.
    EXPECT_FALSE(pacer.TryStart("a.org", 1100, wait, [] { return false; }));
    EXPECT_GE(wait, 1u);
    // The limit is asked only once the host itself is free and due.
    bool asked = false;
    EXPECT_FALSE(pacer.TryStart("a.org", 600, wait, [&] { return asked = true; }));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(pacer.TryStart("a.org", 1101, wait, [] { return true; }));
    EXPECT_FALSE(pacer.TryStart("a.org", 5000, wait)); // busy until Finish
    pacer.Finish("a.org");
    EXPECT_FALSE(pacer.TryStart("a.org", 2000, wait)); // spaced from 1101, not from 1100
    EXPECT_EQ(wait, 101u);
}

TEST(BlockGate, ReverseLookupsAreCountedPerSixteenBitBlockAndAStopEndsTheWait) {
    EXPECT_EQ(BlockGate::BlockOf("10.20.30.40"), "10.20");
    EXPECT_EQ(BlockGate::BlockOf("nothing"), "");
    BlockGate gate(2);
    EXPECT_TRUE(gate.Enter("10.20", nullptr));
    EXPECT_TRUE(gate.Enter("10.20", nullptr));
    EXPECT_TRUE(gate.Enter("10.21", nullptr));
    int checks = 0;
    EXPECT_FALSE(gate.Enter("10.20", [&] { return ++checks >= 3; }));
    EXPECT_EQ(checks, 3);
    gate.Leave("10.20");
    EXPECT_TRUE(gate.Enter("10.20", [] { return true; }));
    EXPECT_EQ(gate.InFlight("10.20"), 2);
}

TEST(SharedState, AWalkRunningThroughACompactionIsStillWaitingAfterACrashAndAClosedStateTakesNothing) {
    testsupport::TempDir dir;
    const std::string output = dir.File("domains.txt");
    auto crawlable = [](const char *) { return true; };
    auto quiet = [](const std::string &) {};
    {
        HarvestState state(crawlable, quiet);
        state.Open(output, 0);
        SharedState shared(state);
        shared.AddSeedHosts({"www.one.com", "www.two.com"});
        std::string walking;
        ASSERT_TRUE(shared.TakeNameToWalk(walking));
        EXPECT_EQ(walking, "www.one.com");
        EXPECT_EQ(shared.Read().walksRunning, 1);
        EXPECT_FALSE(shared.Quiet());
        state.SetCompactAtLeast(1);
        shared.Maintain(20000); // compacts: the snapshot holds only www.two.com in the walk queue
        ASSERT_EQ(state.Compactions(), 1u);
        // The process dies here, mid-walk: the state is never closed.
    }
    {
        HarvestState state(crawlable, quiet);
        state.Open(output, 0);
        const std::vector<std::string> walks = state.WalkQueue();
        EXPECT_NE(std::find(walks.begin(), walks.end(), "www.one.com"), walks.end());
        EXPECT_NE(std::find(walks.begin(), walks.end(), "www.two.com"), walks.end());
        SharedState shared(state);
        std::string domain;
        ASSERT_TRUE(shared.TakeDomainToCrawl(domain));
        shared.Close();
        // A worker finishing after the close changes nothing, and nothing more is handed out.
        shared.FinishCrawl(domain);
        shared.AddOutboundHosts({"www.three.com"});
        EXPECT_FALSE(shared.TakeDomainToCrawl(domain));
        EXPECT_FALSE(shared.TakeNameToWalk(domain));
        EXPECT_FALSE(state.IsWritten("www.three.com"));
    }
}

TEST(SharedState, ANameQueuedAgainWhileItsWalkRunsIsNotWalkedTwice) {
    testsupport::TempDir dir;
    HarvestState state([](const char *) { return true; }, [](const std::string &) {});
    state.Open(dir.File("domains.txt"), 0);
    SharedState shared(state);
    shared.AddSeedHosts({"www.one.com"});
    std::string first, second;
    ASSERT_TRUE(shared.TakeNameToWalk(first));
    // Another worker's page links to it before its walk is done.
    shared.AddOutboundHosts({"www.one.com", "www.two.com"});
    ASSERT_TRUE(shared.TakeNameToWalk(second));
    EXPECT_EQ(second, "www.two.com");
    EXPECT_FALSE(shared.TakeNameToWalk(second));
    shared.FinishWalk(first, {});
    shared.FinishWalk(second, {});
    EXPECT_EQ(shared.Read().walksRunning, 0);
    EXPECT_TRUE(state.IsScanned("www.one.com"));
    shared.Close();
}

TEST(Options, WorkersAndLookupsTakeACountFromOneTo256) {
    Options o;
    std::string error;
    const char *none[] = {"lanternfold"};
    ASSERT_TRUE(ParseOptions(1, none, o, error));
    EXPECT_EQ(o.workers, 32);
    EXPECT_EQ(o.lookups, 32);
    const char *some[] = {"lanternfold", "--workers", "1", "--lookups=256"};
    ASSERT_TRUE(ParseOptions(4, some, o, error)) << error;
    EXPECT_EQ(o.workers, 1);
    EXPECT_EQ(o.lookups, 256);
    for (const char *bad : {"0", "257", "-1", "8x", "", "1000"}) {
        const char *args[] = {"lanternfold", "--workers", bad};
        EXPECT_FALSE(ParseOptions(3, args, o, error)) << bad;
    }
    const char *missing[] = {"lanternfold", "--lookups"};
    EXPECT_FALSE(ParseOptions(2, missing, o, error));
    EXPECT_EQ(error, "option --lookups needs a number");
    const std::string help = HelpText();
    EXPECT_NE(help.find("--workers"), std::string::npos);
    EXPECT_NE(help.find("--lookups"), std::string::npos);
}
