// File routines against real files in a temporary directory: messages, edge cases, directories.
#include "core/FileSys.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/StringBuffer.h"
#include "log/Logger.h"
#include "support/TestSupport.h"

using namespace vantry;

namespace {

std::string LogText(Logger &log) {
    StringBuffer out;
    log.GetLogText(out);
    return std::string(out.View());
}

std::string Cwd() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool IsDir(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class FileSysTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    Logger log;
};

} // namespace

TEST_F(FileSysTest, WriteWholeFileWritesAndTruncates) {
    std::string name = dir.File("out.txt");
    EXPECT_TRUE(FileSys::WriteWholeFile(name.c_str(), "hello", 5, &log));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "hello");
    EXPECT_TRUE(FileSys::WriteWholeFile(name.c_str(), "x", 0, &log));
    EXPECT_TRUE(FileSys::FileExists(name.c_str(), nullptr));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "");
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");
}

TEST_F(FileSysTest, WriteWholeFileFailuresLogByNameForm) {
    EXPECT_FALSE(FileSys::WriteWholeFile("", "x", 1, &log));
    EXPECT_FALSE(FileSys::WriteWholeFile(nullptr, "x", 1, &log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");

    // A directory stands where the file should go.
    std::string name = dir.Path();
    EXPECT_FALSE(FileSys::WriteWholeFile(name.c_str(), "x", 1, &log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (2)\r\n  filename: " + name +
                                "\r\n  osErrorInfo: Is a directory\r\n  filename: " + name +
                                "\r\n  Failed to write complete file (7)\r\n");

    log.ClearLog();
    std::string wide = dir.File("\xd0\x96/f.txt"); // Cyrillic directory that does not exist
    EXPECT_FALSE(FileSys::WriteWholeFile(wide.c_str(), "x", 1, &log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (3)\r\n  utf8Filename: " + wide +
                                "\r\n  osErrorInfo: No such file or directory\r\n  utf8Filename: " + wide +
                                "\r\n  Failed to write complete file (6)\r\n");
}

TEST_F(FileSysTest, ShortWritesLogTheNameThePlatformTextAndTheirMessage) {
    // /dev/full opens for writing and refuses every byte.
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    const std::string head = "VantryLog:\r\n  filename: /dev/full\r\n  No space left on device\r\n";
    EXPECT_FALSE(FileSys::WriteWholeFile("/dev/full", "x", 1, &log));
    EXPECT_EQ(LogText(log), head + "  Failed to write complete file (1)\r\n");
    log.ClearLog();
    EXPECT_FALSE(FileSys::WriteTwoPartFile("/dev/full", "a", 1, "b", 1, &log));
    EXPECT_EQ(LogText(log), head + "  Failed to write complete file (4)\r\n");
    log.ClearLog();
    EXPECT_FALSE(FileSys::WriteTwoPartFile("/dev/full", nullptr, 0, "b", 1, &log));
    EXPECT_EQ(LogText(log), head + "  Failed to write complete file (5)\r\n");
    log.ClearLog();
    EXPECT_TRUE(FileSys::WriteWholeFile("/dev/full", "x", 0, &log)) << "nothing to write";
}

TEST_F(FileSysTest, WriteTwoPartFileJoinsBothBlocks) {
    std::string name = dir.File("two");
    EXPECT_TRUE(FileSys::WriteTwoPartFile(name.c_str(), "head", 4, "body", 4, &log));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "headbody");
    EXPECT_TRUE(FileSys::WriteTwoPartFile(name.c_str(), nullptr, 0, "b", 1, &log));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "b");
    EXPECT_TRUE(FileSys::WriteTwoPartFile(name.c_str(), "a", 1, nullptr, 0, nullptr));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "a");
    EXPECT_FALSE(FileSys::WriteTwoPartFile(dir.Path().c_str(), "a", 1, "b", 1, &log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (2)\r\n  filename: " + dir.Path() +
                                "\r\n  osErrorInfo: Is a directory\r\n");
}

TEST_F(FileSysTest, AppendToFileCreatesThenAppends) {
    std::string name = dir.File("domains.txt");
    EXPECT_TRUE(FileSys::AppendToFile(name.c_str(), "a.com\r\n", 7, nullptr));
    EXPECT_TRUE(FileSys::AppendToFile(name.c_str(), "b.org\r\n", 7, nullptr));
    EXPECT_EQ(testsupport::ReadFileBytes(name), "a.com\r\nb.org\r\n");
    EXPECT_FALSE(FileSys::AppendToFile(dir.Path().c_str(), "x", 1, &log));
    EXPECT_NE(LogText(log).find("Failed to open file (2)"), std::string::npos);
    EXPECT_FALSE(FileSys::AppendToFile("", "x", 1, nullptr));
}

TEST_F(FileSysTest, FileExistsAndFileSize) {
    std::string name = dir.File("sized");
    testsupport::WriteFileBytes(name, "12345");
    EXPECT_TRUE(FileSys::FileExists(name.c_str(), &log));
    bool ok = false;
    EXPECT_EQ(FileSys::FileSize(name.c_str(), &ok), 5u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");

    EXPECT_FALSE(FileSys::FileExists(nullptr, &log));
    EXPECT_FALSE(FileSys::FileExists("", &log));
    EXPECT_FALSE(FileSys::FileExists(dir.Path().c_str(), nullptr)); // a directory is not a file
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");

    std::string missing = dir.File("missing");
    EXPECT_FALSE(FileSys::FileExists(missing.c_str(), &log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (2)\r\n  filename: " + missing +
                                "\r\n  osErrorInfo: No such file or directory\r\n");

    ok = true;
    EXPECT_EQ(FileSys::FileSize(missing.c_str(), &ok), 0u);
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(FileSys::FileSize("", &ok), 0u);
    EXPECT_FALSE(ok);
}

TEST_F(FileSysTest, RemoveFileDeletesAndReportsAbsenceAsInformation) {
    std::string name = dir.File("gone");
    testsupport::WriteFileBytes(name, "x");
    EXPECT_TRUE(FileSys::RemoveFile(name.c_str(), &log));
    EXPECT_FALSE(FileSys::FileExists(name.c_str(), nullptr));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");

    EXPECT_FALSE(FileSys::RemoveFile(name.c_str(), &log));
    StringBuffer xml;
    log.GetLogXml(xml);
    // The only error line is the opening message; the rest is information and values.
    EXPECT_EQ(std::string(xml.View()),
              "<VantryLog>\r\n<error>Failed to open file (2)</error>\r\n<filename>" + name +
                  "</filename>\r\n<osErrorInfo>No such file or directory</osErrorInfo>\r\n"
                  "<delete_filename>" +
                  name +
                  "</delete_filename>\r\n<info>Cannot delete file, file does not "
                  "exist</info>\r\n</VantryLog>\r\n");

    log.ClearLog();
    EXPECT_FALSE(FileSys::RemoveFile("", &log));
    EXPECT_FALSE(FileSys::RemoveFile(nullptr, nullptr));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Cannot delete file, filename is null or empty\r\n");
}

TEST_F(FileSysTest, TempAndCurrentDirectories) {
    StringBuffer t;
    EXPECT_TRUE(FileSys::TempDirectory(t));
    EXPECT_STREQ(t.Text(), "/tmp/");
    StringBuffer c;
    EXPECT_TRUE(FileSys::CurrentDirectory(c));
    EXPECT_EQ(std::string(c.Text()), Cwd());
}

TEST_F(FileSysTest, MakeTempFileNameFollowsThePattern) {
    StringBuffer out;
    FileSys::MakeTempFileName(dir.Path().c_str(), "x", out);
    EXPECT_TRUE(std::regex_match(std::string(out.Text()), std::regex(dir.Path() + "/x_[A-Z0-9]{4}\\.tmp")))
        << out.Text();
    EXPECT_FALSE(FileSys::FileExists(out.Text(), nullptr)); // not created

    FileSys::MakeTempFileName((dir.Path() + "/").c_str(), "", out);
    EXPECT_TRUE(std::regex_match(std::string(out.Text()), std::regex(dir.Path() + "/x_[A-Z0-9]{4}\\.tmp")));

    FileSys::MakeTempFileName(dir.Path().c_str(), "log.txt.gz", out);
    EXPECT_TRUE(
        std::regex_match(std::string(out.Text()), std::regex(dir.Path() + "/log\\.txt_[A-Z0-9]{4}\\.gz")));

    FileSys::MakeTempFileName("", "base", out);
    EXPECT_TRUE(std::regex_match(std::string(out.Text()), std::regex("base_[A-Z0-9]{4}\\.tmp")));

    // Names made one after the other differ even within the same millisecond.
    StringBuffer again;
    FileSys::MakeTempFileName(dir.Path().c_str(), "x", out);
    FileSys::MakeTempFileName(dir.Path().c_str(), "x", again);
    EXPECT_STRNE(out.Text(), again.Text());
}

TEST_F(FileSysTest, MakeAndChangeDirectory) {
    std::string sub = dir.File("sub");
    EXPECT_TRUE(FileSys::MakeDirectory(sub.c_str()));
    EXPECT_FALSE(FileSys::MakeDirectory(sub.c_str()));
    EXPECT_FALSE(FileSys::MakeDirectory(""));
    std::string before = Cwd();
    EXPECT_TRUE(FileSys::ChangeDirectory(sub.c_str()));
    EXPECT_EQ(Cwd(), sub);
    EXPECT_FALSE(FileSys::ChangeDirectory(dir.File("nope").c_str()));
    EXPECT_TRUE(FileSys::ChangeDirectory(before.c_str()));
}

TEST_F(FileSysTest, EnsureDirectoryCreatesNestedPathsAndRestoresCwd) {
    std::string before = Cwd();
    std::string deep = dir.File("a/b//c/");
    EXPECT_TRUE(FileSys::EnsureDirectory(deep.c_str(), log));
    EXPECT_TRUE(IsDir(dir.File("a/b/c")));
    EXPECT_EQ(Cwd(), before);
    EXPECT_TRUE(FileSys::EnsureDirectory(deep.c_str(), log)); // exists already
    EXPECT_EQ(Cwd(), before);

    // A relative path is made below the current directory.
    ASSERT_TRUE(FileSys::ChangeDirectory(dir.Path().c_str()));
    EXPECT_TRUE(FileSys::EnsureDirectory("rel/one/two", log));
    EXPECT_TRUE(IsDir(dir.File("rel/one/two")));
    EXPECT_EQ(Cwd(), dir.Path());
    ASSERT_TRUE(FileSys::ChangeDirectory(before.c_str()));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");
}

TEST_F(FileSysTest, EnsureDirectoryFailsOnAFileComponentAndStillRestoresCwd) {
    std::string before = Cwd();
    testsupport::WriteFileBytes(dir.File("plain"), "x");
    EXPECT_FALSE(FileSys::EnsureDirectory(dir.File("plain/below").c_str(), log));
    EXPECT_EQ(Cwd(), before);
    EXPECT_NE(LogText(log).find("Failed to create directory"), std::string::npos);
    EXPECT_FALSE(FileSys::EnsureDirectory("", log));
    EXPECT_FALSE(FileSys::EnsureDirectory(nullptr, log));
    EXPECT_EQ(Cwd(), before);
}
