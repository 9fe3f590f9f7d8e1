// Tests of the harvester's state owner across restarts: queues and sets come back from the journal,
// a domain in flight counts as crawled, names journalled but not in the output are written once, a
// torn output line is repaired, an unwritable output loses nothing, the journal is compacted, and the
// state file of earlier versions is moved into the journal.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/HarvestState.h"
#include "harvester/StateFile.h"
#include "support/TestSupport.h"

using namespace lanternfold;

namespace {

class StateOwner : public ::testing::Test {
protected:
    StateOwner() : output(dir.File("domains.txt")) {}
    std::unique_ptr<HarvestState> Make() {
        reports.clear();
        return std::make_unique<HarvestState>(
            [](const char *name) { return std::string(name).find('.') != std::string::npos; },
            [this](const std::string &line) { reports += line + "\n"; });
    }
    std::unique_ptr<HarvestState> Opened() {
        auto state = Make();
        state->Open(output, 0);
        return state;
    }
    std::string Output() const { return testsupport::ReadFileBytes(output); }
    std::string JournalLine(char tag, const std::string &text) {
        std::string line;
        StateJournal::FormatRecord(tag, text, line);
        return line;
    }
    testsupport::TempDir dir;
    std::string output;
    std::string reports;
};

} // namespace

TEST_F(StateOwner, RestartBringsBackQueuesAndSets) {
    {
        auto state = Opened();
        state->AddOutboundHosts({"www.a.com", "www.b.com", "c.org"});
        std::string name;
        ASSERT_TRUE(state->TakeDomainToCrawl(name));
        EXPECT_EQ(name, "www.a.com");
        state->FinishCrawl(name);
        ASSERT_TRUE(state->TakeNameToWalk(name));
        EXPECT_EQ(name, "www.a.com");
        state->FinishWalk(name, {"www.near.net", "WWW.NEAR.NET", "<b>.com"});
        state->Close();
    }
    auto again = Opened();
    EXPECT_TRUE(again->IsCrawled("www.a.com"));
    EXPECT_TRUE(again->IsCrawled("a.com")); // the twin
    EXPECT_FALSE(again->IsCrawled("www.b.com"));
    EXPECT_TRUE(again->IsScanned("www.a.com"));
    EXPECT_TRUE(again->IsScanned("www.near.net"));
    EXPECT_EQ(again->CrawlQueue(), (std::vector<std::string>{"www.b.com", "c.org", "www.near.net"}));
    EXPECT_EQ(again->WalkQueue(), (std::vector<std::string>{"www.b.com", "c.org"}));
    EXPECT_EQ(again->NamesInOutput(), 4u);
    EXPECT_NE(reports.find("1 domains crawled"), std::string::npos) << reports; // the twin is not counted
    EXPECT_EQ(Output(), "www.a.com\nwww.b.com\nc.org\nwww.near.net\n");
}

TEST_F(StateOwner, HostsFoundAgainWhileStillQueuedAreNoNewsAndAreJournalledOnce) {
    auto state = Opened();
    state->AddSeedHosts({"www.a.com", "www.b.com"});
    const uint64_t discoveries = state->Discoveries();
    const uint64_t journalBytes = state->JournalBytes();
    // The seed page fetched again, and a crawl finding the same hosts: both still wait in the queues.
    state->AddSeedHosts({"www.a.com", "www.b.com"});
    state->AddOutboundHosts({"WWW.B.COM", "www.a.com"});
    EXPECT_EQ(state->Discoveries(), discoveries);
    EXPECT_EQ(state->JournalBytes(), journalBytes);
    EXPECT_EQ(state->CrawlQueue(), (std::vector<std::string>{"www.a.com", "www.b.com"}));
    EXPECT_EQ(state->WalkQueue(), (std::vector<std::string>{"www.a.com", "www.b.com"}));
}

TEST_F(StateOwner, WalkCutShortLeavesNoTraceAndIsMadeAgainWhole) {
    {
        auto state = Opened();
        state->AddOutboundHosts({"www.a.com", "www.b.com"});
        std::string name;
        ASSERT_TRUE(state->TakeNameToWalk(name));
        // The process dies in the walk of www.a.com.
    }
    auto again = Opened();
    EXPECT_FALSE(again->IsScanned("www.a.com"));
    EXPECT_EQ(again->WalkQueue(), (std::vector<std::string>{"www.a.com", "www.b.com"}));
}

TEST_F(StateOwner, DomainInFlightAtACrashCountsAsCrawledAndIsNamed) {
    {
        auto state = Opened();
        state->AddOutboundHosts({"www.fatal.com", "www.next.com"});
        std::string name;
        ASSERT_TRUE(state->TakeDomainToCrawl(name));
        // No FinishCrawl and no Close: the process died in the crawl.
    }
    auto again = Opened();
    EXPECT_TRUE(again->IsCrawled("www.fatal.com"));
    std::string name;
    ASSERT_TRUE(again->TakeDomainToCrawl(name));
    EXPECT_EQ(name, "www.next.com");
    EXPECT_NE(reports.find(
                  "domain www.fatal.com was being crawled when the harvester stopped; it counts as crawled"),
              std::string::npos);
}

TEST_F(StateOwner, NamesJournalledButMissingFromTheOutputAreWrittenOnceAtStart) {
    testsupport::WriteFileBytes(output, "www.a.com\n");
    testsupport::WriteFileBytes(output + ".journal",
                                JournalLine('H', "lanternfold-journal-1") + JournalLine('W', "www.a.com") +
                                    JournalLine('W', "www.b.com") + JournalLine('W', "www.b.com") +
                                    JournalLine('W', "www.c.com"));
    auto state = Opened();
    EXPECT_EQ(Output(), "www.a.com\nwww.b.com\nwww.c.com\n");
    EXPECT_NE(reports.find("2 to write"), std::string::npos) << reports;
}

TEST_F(StateOwner, TornOutputLineIsCutAndItsNameWrittenWhole) {
    testsupport::WriteFileBytes(output, "www.a.com\r\nwww.b.c");
    testsupport::WriteFileBytes(output + ".journal", JournalLine('H', "lanternfold-journal-1") +
                                                         JournalLine('W', "www.a.com") +
                                                         JournalLine('W', "www.b.com"));
    auto state = Opened();
    EXPECT_EQ(Output(), "www.a.com\r\nwww.b.com\n");
    EXPECT_NE(reports.find("removed a last line that a crash had cut short"), std::string::npos);
    state->AddOutboundHosts({"www.a.com", "www.d.com"});
    EXPECT_EQ(Output(), "www.a.com\r\nwww.b.com\nwww.d.com\n"); // CR LF read, continued with LF
}

TEST_F(StateOwner, UnwritableOutputLosesNoNameAcrossARestart) {
    const std::string sub = dir.File("later");
    output = sub + "/domains.txt";
    ASSERT_EQ(0, system(("mkdir " + sub + " && chmod 500 " + sub).c_str()));
    if (access(sub.c_str(), W_OK) == 0) {
        // Root writes anyway: a file in the way of the output stands in for the unwritable directory.
        ASSERT_EQ(0, system(("chmod 700 " + sub + " && mkdir " + output).c_str()));
    }
    {
        auto state = Make();
        state->Open(output, 0);
        state->AddOutboundHosts({"www.first.com", "www.second.com", "www.first.com"});
        EXPECT_EQ(state->NamesWaitingForOutput(), 2u);
        EXPECT_NE(reports.find("cannot be written"), std::string::npos);
        state->Close();
    }
    ASSERT_EQ(0, system(("chmod 700 " + sub + " && rm -rf " + output).c_str()));
    auto again = Opened();
    again->AddOutboundHosts({"www.third.com"});
    EXPECT_EQ(Output(), "www.first.com\nwww.second.com\nwww.third.com\n");
}

TEST_F(StateOwner, OutputThatBecomesWritableTakesTheWaitingNamesInOrder) {
    const std::string sub = dir.File("later");
    output = sub + "/domains.txt";
    auto state = Opened(); // the directory does not exist yet
    state->AddOutboundHosts({"www.first.com", "www.second.com"});
    EXPECT_EQ(state->NamesWaitingForOutput(), 2u);
    EXPECT_FALSE(state->IsWritten("www.first.com"));
    ASSERT_EQ(0, system(("mkdir " + sub).c_str()));
    state->Maintain(1);
    EXPECT_EQ(Output(), "www.first.com\nwww.second.com\n");
    EXPECT_NE(reports.find("output " + output + " can be written again"), std::string::npos);
    // The journal could not be made either: its records waited and are in it now.
    EXPECT_NE(reports.find("journal " + output + ".journal can be written again"), std::string::npos);
    state.reset();
    auto again = Opened();
    EXPECT_EQ(again->CrawlQueue(), (std::vector<std::string>{"www.first.com", "www.second.com"}));
}

TEST_F(StateOwner, JournalIsCompactedWhenItGrowsAndTheStateSurvivesIt) {
    {
        auto state = Opened();
        state->SetCompactAtLeast(4096);
        for (int i = 0; i < 200; ++i) {
            state->AddOutboundHosts({"www.n" + std::to_string(i) + ".com"});
            std::string name;
            if (i % 2 == 0 && state->TakeDomainToCrawl(name))
                state->FinishCrawl(name);
            if (state->TakeNameToWalk(name))
                state->FinishWalk(name, {"www.w" + std::to_string(i) + ".net"});
            state->Maintain(static_cast<uint32_t>(i));
        }
        EXPECT_GT(state->Compactions(), 0u);
        EXPECT_LT(state->JournalBytes(), 40000u);
        state->Close();
    }
    auto again = Opened();
    EXPECT_TRUE(again->IsCrawled("www.n0.com"));
    EXPECT_TRUE(again->IsScanned("www.w199.net"));
    EXPECT_TRUE(again->IsScanned("www.n199.com"));
    // 200 names from pages and 200 from walks queued, 100 of them crawled.
    EXPECT_EQ(again->CrawlQueueLength(), 300);
    EXPECT_EQ(again->WalkQueueLength(), 0);
    EXPECT_EQ(again->NamesInOutput(), 400u);
    EXPECT_EQ(reports.find("damaged"), std::string::npos);
}

TEST_F(StateOwner, StateFileOfAnEarlierVersionIsMovedIntoTheJournalOnce) {
    SavedState saved;
    saved.crawlQueue = {"www.queued.com", "sp ace.com"};
    saved.crawledDomains = {"www.done.com"};
    saved.scannedNames = {"www.seen.net", "<b>.com"};
    ASSERT_TRUE(StateFile::Save((output + ".state").c_str(), saved));
    {
        auto state = Opened();
        EXPECT_NE(reports.find("moved the state file"), std::string::npos) << reports;
        EXPECT_TRUE(state->IsCrawled("www.done.com"));
        EXPECT_TRUE(state->IsScanned("www.seen.net"));
        EXPECT_EQ(state->CrawlQueue(), (std::vector<std::string>{"www.queued.com"}));
        EXPECT_EQ(reports.find("was being crawled"), std::string::npos);
    }
    EXPECT_FALSE(testsupport::ReadFileBytes(output + ".state").size() > 0);
    auto again = Opened();
    EXPECT_TRUE(again->IsCrawled("www.done.com"));
    EXPECT_EQ(reports.find("moved the state file"), std::string::npos);
}

TEST_F(StateOwner, DamagedStateFileIsReportedAndIgnored) {
    testsupport::WriteFileBytes(output + ".state", "lanternfold-state 1\nqueue 1\nwww.x.com\n");
    auto state = Opened();
    EXPECT_NE(reports.find("state file " + output + ".state ignored (damaged)"), std::string::npos);
    EXPECT_EQ(state->CrawlQueueLength(), 0);
}

TEST_F(StateOwner, DamagedJournalKeepsEveryIntactRecordAndSaysSo) {
    {
        auto state = Opened();
        state->AddOutboundHosts({"www.a.com", "www.b.com", "www.c.com"});
        state->Close();
    }
    std::string bytes = testsupport::ReadFileBytes(output + ".journal");
    bytes[bytes.find("Q www.b.com") + 4] = '#';
    testsupport::WriteFileBytes(output + ".journal", bytes);
    auto again = Opened();
    EXPECT_EQ(again->CrawlQueue(), (std::vector<std::string>{"www.a.com", "www.c.com"}));
    EXPECT_NE(reports.find("skipped 1 damaged records"), std::string::npos);
}
