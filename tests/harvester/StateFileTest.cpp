// Tests of the state file of earlier versions: a round trip through the file, and the refusal of
// missing, damaged and foreign files.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/Crc32.h"
#include "harvester/StateFile.h"
#include "support/TestSupport.h"

using namespace vantry;
using namespace lanternfold;

TEST(StateFile, RoundTripKeepsEverySectionInOrder) {
    testsupport::TempDir dir;
    SavedState state;
    state.crawlQueue = {"www.a.com", "b.org"};
    state.crawledDomains = {"c.net"};
    state.scannedNames = {"d.com", "e.com", "f.zz"};
    const std::string path = dir.File("domains.txt.state");
    ASSERT_TRUE(StateFile::Save(path.c_str(), state));
    SavedState back;
    std::string reason;
    ASSERT_TRUE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(back.crawlQueue, state.crawlQueue);
    EXPECT_EQ(back.crawledDomains, state.crawledDomains);
    EXPECT_EQ(back.scannedNames, state.scannedNames);
    EXPECT_FALSE(testsupport::ReadFileBytes(path + ".tmp").size() > 0);
}

TEST(StateFile, DamagedForeignAndMissingFilesAreRefused) {
    testsupport::TempDir dir;
    SavedState state;
    state.crawlQueue = {"www.a.com"};
    const std::string path = dir.File("s");
    ASSERT_TRUE(StateFile::Save(path.c_str(), state));
    std::string bytes = testsupport::ReadFileBytes(path);
    SavedState back;
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
    SavedState back;
    std::string reason;
    EXPECT_FALSE(StateFile::Load(path.c_str(), back, reason));
    EXPECT_EQ(reason, "damaged");
    EXPECT_TRUE(back.crawledDomains.empty());
}
