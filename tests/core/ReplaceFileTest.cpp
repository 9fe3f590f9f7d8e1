// Tests of FileSys::ReplaceFileTwoPart: the two parts land under the name in one step, an existing
// file is replaced, and a failure leaves neither a temporary file nor a changed target.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/FileSys.h"
#include "net/RecordingLog.h"
#include "support/TestSupport.h"

using namespace vantry;

TEST(ReplaceFileTwoPart, WritesBothPartsAndReplacesAnExistingFile) {
    testsupport::TempDir dir;
    const std::string name = dir.File("target.dat");
    testsupport::WriteFileBytes(name, "an older and longer file content");
    RecordingLog log;
    ASSERT_TRUE(FileSys::ReplaceFileTwoPart(name.c_str(), "head", 4, "tail", 4, &log));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "headtail");
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()),
        1);
}

TEST(ReplaceFileTwoPart, AMissingDirectoryFailsWithTheOpenEntriesAndLeavesNothing) {
    testsupport::TempDir dir;
    const std::string name = dir.File("no/such/dir/target.dat");
    RecordingLog log;
    EXPECT_FALSE(FileSys::ReplaceFileTwoPart(name.c_str(), "a", 1, nullptr, 0, &log));
    EXPECT_TRUE(log.Has("error: Failed to open file (2)")) << log.Dump();
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(ReplaceFileTwoPart, ATargetThatIsADirectoryIsLeftAndTheTemporaryRemoved) {
    testsupport::TempDir dir;
    const std::string name = dir.File("sub");
    std::filesystem::create_directory(name);
    std::filesystem::create_directory(name + "/inside");
    RecordingLog log;
    EXPECT_FALSE(FileSys::ReplaceFileTwoPart(name.c_str(), "a", 1, "b", 1, &log));
    EXPECT_TRUE(std::filesystem::is_directory(name));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()),
        1);
}
