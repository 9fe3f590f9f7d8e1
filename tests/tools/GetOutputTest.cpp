// vantry-get's output: -O names, and files that appear only whole and only on success.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/GetOutput.h"

using namespace vantry;

namespace {

std::string MakeTempDir() {
    char name[] = "/tmp/vantry-get-out-XXXXXX";
    return mkdtemp(name) ? name : "";
}

std::vector<std::string> Entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

std::string Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(RemoteFileName, IsTheLastPathSegmentWithoutQuery) {
    EXPECT_EQ(RemoteFileName("http://h/dir/page.html"), "page.html");
    EXPECT_EQ(RemoteFileName("http://h/dir/file.tar.gz?x=1#f"), "file.tar.gz");
    EXPECT_EQ(RemoteFileName("http://h:8080/a/b"), "b");
}

TEST(RemoteFileName, EmptyOrDotSegmentsGiveIndexHtml) {
    EXPECT_EQ(RemoteFileName("http://h"), "index.html");
    EXPECT_EQ(RemoteFileName("http://h/"), "index.html");
    EXPECT_EQ(RemoteFileName("http://h/dir/"), "index.html");
    EXPECT_EQ(RemoteFileName("http://h/dir/.."), "index.html");
    EXPECT_EQ(RemoteFileName("http://h/?q=/etc/passwd"), "index.html");
}

TEST(GetOutput, FileAppearsOnlyAtCommitAndReplacesAnOldOne) {
    std::string dir = MakeTempDir();
    std::string path = dir + "/page.html";
    std::ofstream(path) << "old";
    std::string error;
    {
        GetOutput out;
        ASSERT_TRUE(out.Open(path, error)) << error;
        ASSERT_TRUE(out.Write("new body", 8, error));
        EXPECT_EQ(Slurp(path), "old"); // untouched while the fetch runs
        EXPECT_EQ(Entries(dir).size(), 2u);
        ASSERT_TRUE(out.Commit(error)) << error;
    }
    EXPECT_EQ(Slurp(path), "new body");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"page.html"});
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

TEST(GetOutput, AnAbandonedFetchLeavesNothingBehind) {
    std::string dir = MakeTempDir();
    std::string error;
    {
        GetOutput out;
        ASSERT_TRUE(out.Open(dir + "/partial.bin", error));
        ASSERT_TRUE(out.Write("half", 4, error));
    } // destroyed without Commit: the failed fetch
    EXPECT_TRUE(Entries(dir).empty());
    rmdir(dir.c_str());
}

TEST(GetOutput, AnUnwritablePlaceIsReportedAtOpen) {
    std::string error;
    GetOutput out;
    EXPECT_FALSE(out.Open("/nonexistent-dir-of-vantry/x.html", error));
    EXPECT_NE(error.find("/nonexistent-dir-of-vantry/x.html: cannot write"), std::string::npos) << error;
    EXPECT_FALSE(out.Open("somedir/", error));
}

TEST(RemoteFileName, PercentEscapesAreDecodedAsWgetDecodesThem) {
    EXPECT_EQ(RemoteFileName("http://h/dir/annual%20report%202024.pdf"), "annual report 2024.pdf");
    EXPECT_EQ(RemoteFileName("http://h/caf%C3%A9.txt"), "caf\xC3\xA9.txt");
    // Escapes that would make a path or a control byte stay as they are written.
    EXPECT_EQ(RemoteFileName("http://h/a%2Fb%2fc"), "a%2Fb%2fc");
    EXPECT_EQ(RemoteFileName("http://h/nul%00%0Aend"), "nul%00%0Aend");
    EXPECT_EQ(RemoteFileName("http://h/bad%zzescape%4"), "bad%zzescape%4");
    EXPECT_EQ(RemoteFileName("http://h/%2E%2E"), "index.html");
}

TEST(GetOutput, DashIsStandardOutputAndARestartedFileStartsEmpty) {
    std::string error;
    GetOutput out;
    ASSERT_TRUE(out.Open("-", error));
    EXPECT_FALSE(out.ToFile());
    EXPECT_TRUE(out.Restart(error)); // nothing written yet
    std::string dir = MakeTempDir();
    ASSERT_TRUE(out.Open(dir + "/f.bin", error)) << error;
    ASSERT_TRUE(out.Write("first attempt", 13, error));
    EXPECT_EQ(out.Written(), 13u);
    ASSERT_TRUE(out.Restart(error)) << error;
    EXPECT_EQ(out.Written(), 0u);
    ASSERT_TRUE(out.Write("second", 6, error));
    ASSERT_TRUE(out.Commit(error)) << error;
    EXPECT_EQ(Slurp(dir + "/f.bin"), "second");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"f.bin"});
    std::remove((dir + "/f.bin").c_str());
    rmdir(dir.c_str());
}

TEST(GetOutput, ADeviceOrPipeIsWrittenAsItIsNeverReplaced) {
    // As -o /dev/null: a temporary file renamed over the path would put a plain file in its place.
    std::string dir = MakeTempDir();
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    {
        GetOutput out;
        ASSERT_TRUE(out.Open(fifo, error)) << error;
        ASSERT_TRUE(out.Write("through", 7, error)) << error;
        ASSERT_TRUE(out.Commit(error)) << error;
    }
    char buf[16] = {};
    EXPECT_EQ(read(reader, buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "through");
    close(reader);
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"pipe"});
    std::remove(fifo.c_str());
    rmdir(dir.c_str());
}
