// Tests of the saved harvester state: a round trip through the file, and the refusal of missing,
// damaged and foreign files, which leave a restarted harvester empty and say so in one line.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/Crc32.h"
#include "core/StringSeen.h"
#include "harvester/Harvester.h"
#include "harvester/ScriptedHarvest.h"
#include "harvester/StateFile.h"
#include "support/TestSupport.h"

using namespace vantry;
using namespace lanternfold;

using testsupport::ScriptedHarvest;

TEST(StateFile, RoundTripKeepsEverySectionInOrder) {
    testsupport::TempDir dir;
    HarvestState state;
    state.crawlQueue = {"www.a.com", "b.org"};
    state.crawledDomains = {"c.net"};
    state.scannedNames = {"d.com", "e.com", "f.zz"};
    const std::string path = dir.File("domains.txt.state");
    ASSERT_TRUE(StateFile::Save(path.c_str(), state));
    HarvestState back;
    std::string reason;
    ASSERT_TRUE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(back.crawlQueue, state.crawlQueue);
    EXPECT_EQ(back.crawledDomains, state.crawledDomains);
    EXPECT_EQ(back.scannedNames, state.scannedNames);
    EXPECT_FALSE(testsupport::ReadFileBytes(path + ".tmp").size() > 0);
}

TEST(StateFile, DamagedForeignAndMissingFilesAreRefused) {
    testsupport::TempDir dir;
    HarvestState state;
    state.crawlQueue = {"www.a.com"};
    const std::string path = dir.File("s");
    ASSERT_TRUE(StateFile::Save(path.c_str(), state));
    std::string bytes = testsupport::ReadFileBytes(path);
    HarvestState back;
    std::string reason;

    std::string flipped = bytes;
    flipped[flipped.find("www.a")] = 'v';
    testsupport::WriteFileBytes(path, flipped);
    EXPECT_FALSE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(reason, "damaged");

    testsupport::WriteFileBytes(path, bytes.substr(0, bytes.size() - 5));
    EXPECT_FALSE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(reason, "damaged");

    testsupport::WriteFileBytes(path, "www.a.com\r\nwww.b.com\r\n");
    EXPECT_FALSE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(reason, "not a state file");

    EXPECT_FALSE(StateFile::Load(dir.File("none").c_str(), back, reason));
    EXPECT_EQ(reason, "missing");
    EXPECT_TRUE(back.crawlQueue.empty());
}

TEST(StateFile, CountsThatDisagreeWithTheLinesAreDamageEvenWithAMatchingChecksum) {
    testsupport::TempDir dir;
    const std::string path = dir.File("s");
    std::string body = "lanternfold-state 1\nqueue 0\ncrawled 3\na.com\nb.com\nscanned 0\n";
    char end[32];
    std::snprintf(end, sizeof end, "end %08x\n", Crc32::Compute(body.data(), body.size()));
    testsupport::WriteFileBytes(path, body + end);
    HarvestState back;
    std::string reason;
    EXPECT_FALSE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(reason, "damaged");
    EXPECT_TRUE(back.crawledDomains.empty());
}

TEST(HarvesterState, RestartKeepsQueueCrawledAndScannedNames) {
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    {
        ScriptedHarvest env;
        Harvester first(env);
        first.Start(out.c_str());
        EXPECT_NE(env.stderrText.find("ignored (missing)"), std::string::npos);
        env.lookups.forward["www.start.com"] = "127.9.0.10";
        env.lookups.reverse["127.9.0.11"] = "www.near.net";
        first.NewDomains().Append("www.start.com");
        first.FlushNewDomains(); // scanned: www.near.net; queue: www.near.net
        first.CrawlQueue().Append("www.later.com");
        first.CrawlQueue().Append("www.crawled.com");
        first.CrawlQueue().RemoveAt(0);
        first.CrawlQueue().Append("www.near.net");
        ASSERT_TRUE(first.CrawlNextDomain()); // crawls www.later.com
        ASSERT_TRUE(first.SaveState());
    }
    ScriptedHarvest env;
    Harvester again(env);
    again.Start(out.c_str());
    EXPECT_EQ(env.stderrText, "");
    EXPECT_TRUE(again.CrawledDomains().Contains(StringBuffer("www.later.com")));
    EXPECT_TRUE(again.ScannedNames().Contains(StringBuffer("www.near.net")));
    EXPECT_EQ(again.CrawlQueue().Count(), 2); // www.crawled.com, www.near.net
    // A name that the earlier run walked to is not walked again.
    again.NewDomains().Append("www.near.net");
    again.PromoteNewDomains();
    EXPECT_EQ(again.CrawlQueue().Count(), 2);
}

TEST(HarvesterState, DamagedStateIsReportedInOneLineAndIgnored) {
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    testsupport::WriteFileBytes(out + ".state", "lanternfold-state 1\nqueue 1\nwww.x.com\n");
    ScriptedHarvest env;
    Harvester h(env);
    h.Start(out.c_str());
    EXPECT_EQ(env.stderrText, "lanternfold: state file " + out + ".state ignored (damaged)\n");
    EXPECT_EQ(h.CrawlQueue().Count(), 0);
}
