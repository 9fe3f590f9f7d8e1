// Tests of the output file's place: the working directory when it can be made, else the current one,
// with the current directory the same before and after.
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "harvester/OutputPath.h"
#include "support/TestSupport.h"

using namespace lanternfold;

namespace {
std::string Cwd() {
    char buf[4096];
    return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}
} // namespace

TEST(OutputPath, CreatableDirectoryHoldsTheOutputAndTheCurrentDirectoryStays) {
    testsupport::TempDir dir;
    const std::string before = Cwd();
    EXPECT_EQ(ChooseOutputPath((dir.Path() + "/new/deeper").c_str()), dir.Path() + "/new/deeper/domains.txt");
    EXPECT_EQ(access((dir.Path() + "/new/deeper").c_str(), F_OK), 0);
    EXPECT_EQ(Cwd(), before);
}

TEST(OutputPath, DirectoryThatCannotBeMadeGivesTheCurrentDirectory) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir.File("file"), "x");
    const std::string before = Cwd();
    EXPECT_EQ(ChooseOutputPath((dir.File("file") + "/sub/").c_str()), "domains.txt");
    EXPECT_EQ(Cwd(), before);
}
