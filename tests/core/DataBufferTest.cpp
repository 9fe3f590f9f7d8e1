// DataBuffer: growth rules, borrowed and adopted blocks, the validity marker and the file loads.
#include "core/DataBuffer.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <unistd.h>

#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "log/Logger.h"
#include "support/TestSupport.h"

using namespace vantry;

namespace {

std::string Contents(const DataBuffer &b) {
    return b.Length() ? std::string(reinterpret_cast<const char *>(b.Data()), b.Length()) : std::string();
}

std::string LogText(Logger &log) {
    StringBuffer out;
    log.GetLogText(out);
    return std::string(out.View());
}

std::string HeaderFile(uint32_t headerSize, const std::string &header, const std::string &body) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((headerSize >> (8 * i)) & 0xFF);
    return s + header + body;
}

} // namespace

TEST(DataBuffer, NewBufferHasNoBlockAndSizedOneIsZeroed) {
    DataBuffer a;
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(a.Length(), 0u);
    EXPECT_EQ(a.Capacity(), 0u);
    EXPECT_TRUE(a.Is7Bit());

    DataBuffer b(64);
    ASSERT_NE(b.Data(), nullptr);
    EXPECT_EQ(b.Capacity(), 64u);
    EXPECT_EQ(b.Length(), 0u);
    for (uint32_t i = 0; i < 64; ++i)
        EXPECT_EQ(b.Data()[i], 0);
}

TEST(DataBuffer, AppendGrowsByTwentyThousandOrByTheCount) {
    DataBuffer b;
    EXPECT_TRUE(b.Append("abc", 3));
    EXPECT_EQ(b.Capacity(), 20000u);
    std::string big(20000, 'x');
    EXPECT_TRUE(b.Append(big.data(), 20000)); // a count of 20000 or more: exactly length + count
    EXPECT_EQ(b.Capacity(), 20003u);
    EXPECT_TRUE(b.AppendByte('y'));
    EXPECT_EQ(b.Capacity(), 20003u + 20000u);
    EXPECT_EQ(b.Length(), 20004u);

    DataBuffer c;
    std::string large(30000, 'z');
    EXPECT_TRUE(c.Append(large.data(), 30000));
    EXPECT_EQ(c.Capacity(), 30000u);
    EXPECT_EQ(Contents(c), large);
}

TEST(DataBuffer, AppendGrowsByHalfTheCapacityOnceThatExceedsTwentyThousand) {
    DataBuffer b;
    std::string block(100000, 'a');
    ASSERT_TRUE(b.AppendExact(block.data(), 100000));
    ASSERT_EQ(b.Capacity(), 100000u);
    ASSERT_TRUE(b.AppendByte('b'));
    EXPECT_EQ(b.Capacity(), 150000u);
    // AppendExact stays exact whatever the capacity reached.
    DataBuffer e;
    ASSERT_TRUE(e.AppendExact(block.data(), 100000));
    ASSERT_TRUE(e.AppendExact("xyz", 3));
    EXPECT_EQ(e.Capacity(), 100003u);
    EXPECT_EQ(Contents(e), block + "xyz");
}

TEST(DataBuffer, AppendingManyPiecesReallocatesLogarithmicallyOften) {
    // 1000 pieces of 20000 bytes: growth by a fixed step would take 1000 reallocations.
    DataBuffer b;
    std::string piece(20000, 0);
    int growths = 0;
    uint32_t capacity = 0;
    for (int i = 0; i < 1000; ++i) {
        piece[0] = static_cast<char>(i);
        ASSERT_TRUE(b.Append(piece.data(), 20000));
        if (b.Capacity() != capacity) {
            ++growths;
            capacity = b.Capacity();
        }
    }
    EXPECT_LT(growths, 25);
    ASSERT_EQ(b.Length(), 20000000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(b.Data()[i * 20000], static_cast<uint8_t>(i)) << i;
}

TEST(DataBuffer, AppendingPartOfItselfSurvivesTheBlockMoving) {
    // Full block, source in the middle: the grown block must be read at the source's offset.
    DataBuffer b;
    std::string text(30000, 0);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    b.AppendExact(text.data(), 30000);
    ASSERT_TRUE(b.Append(b.Data() + 100, 25000));
    EXPECT_EQ(Contents(b), text + text.substr(100, 25000));
    ASSERT_TRUE(b.EnsureCapacity(b.Capacity() + 1000000));
    EXPECT_EQ(Contents(b), text + text.substr(100, 25000));
}

TEST(DataBuffer, AppendExactGrowsToTheNeededSize) {
    DataBuffer b;
    b.AppendExact("hello", 5);
    EXPECT_EQ(b.Capacity(), 5u);
    b.AppendExact(" you", 4);
    EXPECT_EQ(b.Capacity(), 9u);
    EXPECT_EQ(Contents(b), "hello you");
}

TEST(DataBuffer, NullOrZeroAppendsDoNothing) {
    DataBuffer b;
    EXPECT_TRUE(b.Append(nullptr, 10));
    EXPECT_TRUE(b.Append("x", 0));
    EXPECT_TRUE(b.AppendExact(nullptr, 3));
    EXPECT_EQ(b.Length(), 0u);
    EXPECT_EQ(b.Data(), nullptr);
}

TEST(DataBuffer, AppendStringDataAndUtf16) {
    DataBuffer b;
    StringBuffer s("ab");
    b.AppendString(s);
    DataBuffer other;
    other.Append("cd", 2);
    b.AppendData(other);
    EXPECT_EQ(Contents(b), "abcd");

    DataBuffer u;
    const uint16_t text[] = {0x0041, 0x20AC, 0};
    u.AppendUtf16(text);
    EXPECT_EQ(Contents(u), std::string("\x41\x00\xAC\x20\x00\x00", 6));
    DataBuffer n;
    n.AppendUtf16(nullptr);
    EXPECT_EQ(Contents(n), std::string(2, '\0'));
}

TEST(DataBuffer, AppendingItselfCopiesBeforeTheOldBlockIsFreed) {
    DataBuffer b;
    b.AppendExact("0123456789", 10); // full: the self-append must grow
    b.AppendData(b);
    EXPECT_EQ(Contents(b), "01234567890123456789");
    b.Append(b.Data() + 2, 3);
    EXPECT_EQ(Contents(b), "01234567890123456789234");
}

TEST(DataBuffer, ShortenRemoveFrontAndSetLength) {
    DataBuffer b;
    b.Append("abcdef", 6);
    b.RemoveFront(2);
    EXPECT_EQ(Contents(b), "cdef");
    b.Shorten(1);
    EXPECT_EQ(Contents(b), "cde");
    b.RemoveFront(3);
    EXPECT_EQ(b.Length(), 0u);

    b.Append("abc", 3);
    b.Shorten(4);
    EXPECT_EQ(b.Length(), 0u);
    b.Append("abc", 3);
    b.RemoveFront(100);
    EXPECT_EQ(b.Length(), 0u);

    DataBuffer c(8);
    c.SetLength(5);
    EXPECT_EQ(c.Length(), 5u);
    c.SetLength(9);
    EXPECT_EQ(c.Length(), 8u);
}

TEST(DataBuffer, EnsureCapacityPointerAtAndIs7Bit) {
    DataBuffer b;
    b.Append("ab", 2);
    uint32_t cap = b.Capacity();
    EXPECT_TRUE(b.EnsureCapacity(10));
    EXPECT_EQ(b.Capacity(), cap);
    EXPECT_TRUE(b.EnsureCapacity(50000));
    EXPECT_EQ(b.Capacity(), 50000u);
    EXPECT_EQ(Contents(b), "ab");

    EXPECT_EQ(*b.PointerAt(1), 'b');
    EXPECT_EQ(b.PointerAt(2), nullptr);
    EXPECT_TRUE(b.Is7Bit());
    b.AppendByte(0x80);
    EXPECT_FALSE(b.Is7Bit());
}

TEST(DataBuffer, BorrowedBlockIsCopiedOnGrowthAndNeverWritten) {
    char owner[] = "borrowed";
    DataBuffer b;
    b.Borrow(owner, 8);
    EXPECT_TRUE(b.IsBorrowed());
    EXPECT_EQ(b.Data(), reinterpret_cast<uint8_t *>(owner));
    b.Append("!", 1);
    EXPECT_FALSE(b.IsBorrowed());
    EXPECT_EQ(Contents(b), "borrowed!");
    EXPECT_STREQ(owner, "borrowed");

    // Room left after a Clear still belongs to the owner: the append goes to a block of our own.
    DataBuffer c;
    c.Borrow(owner, 8);
    c.Clear();
    c.Append("XY", 2);
    EXPECT_STREQ(owner, "borrowed");
    EXPECT_EQ(Contents(c), "XY");

    DataBuffer d;
    d.Borrow(owner, 8);
    d.RemoveFront(3);
    EXPECT_EQ(Contents(d), "rowed");
    EXPECT_STREQ(owner, "borrowed");
}

TEST(DataBuffer, AdoptAndTakeOver) {
    DataBuffer a;
    void *block = std::malloc(4);
    std::memcpy(block, "wxyz", 4);
    a.Append("old", 3);
    a.Adopt(block, 4);
    EXPECT_EQ(Contents(a), "wxyz");
    EXPECT_EQ(a.Capacity(), 4u);
    EXPECT_FALSE(a.IsBorrowed());

    DataBuffer b;
    b.Append("keep", 4);
    b.TakeOver(&a);
    EXPECT_EQ(Contents(b), "wxyz");
    EXPECT_EQ(a.Length(), 0u);
    EXPECT_EQ(a.Data(), nullptr);

    static const char fixed[] = "fixed";
    a.Borrow(fixed, 5);
    b.TakeOver(&a);
    EXPECT_TRUE(b.IsBorrowed());
    EXPECT_FALSE(a.IsBorrowed());

    b.TakeOver(nullptr);
    EXPECT_EQ(b.Length(), 0u);
}

TEST(DataBufferDeathTest, DestroyedBufferStopsTheProcess) {
    alignas(DataBuffer) unsigned char storage[sizeof(DataBuffer)];
    auto *b = new (storage) DataBuffer();
    b->~DataBuffer();
    EXPECT_DEATH(b->Append("x", 1), "DataBuffer");
}

class DataBufferFileTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    Logger log;
};

TEST_F(DataBufferFileTest, LoadFileReadsWholeFileAndReplacesContents) {
    std::string bytes("bin\0ary\xff", 8);
    testsupport::WriteFileBytes(dir.File("f.bin"), bytes);
    DataBuffer b;
    b.Append("previous", 8);
    EXPECT_TRUE(b.LoadFile(dir.File("f.bin").c_str(), log));
    EXPECT_EQ(Contents(b), bytes);
    EXPECT_EQ(LogText(log), "VantryLog:\r\n");
}

TEST_F(DataBufferFileTest, LoadFileOfEmptyFileIsTrueAndEmpty) {
    testsupport::WriteFileBytes(dir.File("empty"), "");
    DataBuffer b;
    b.Append("x", 1);
    EXPECT_TRUE(b.LoadFile(dir.File("empty").c_str(), log));
    EXPECT_EQ(b.Length(), 0u);
}

TEST_F(DataBufferFileTest, LoadFileOfMissingFileLogsTheOpeningMessages) {
    std::string name = dir.File("missing");
    DataBuffer b;
    EXPECT_FALSE(b.LoadFile(name.c_str(), log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (2)\r\n  filename: " + name +
                                "\r\n  osErrorInfo: No such file or directory\r\n");
}

TEST_F(DataBufferFileTest, LoadFileRefusesDirectoriesAndEmptyNames) {
    DataBuffer b;
    EXPECT_FALSE(b.LoadFile(dir.Path().c_str(), log));
    EXPECT_NE(LogText(log).find("osErrorInfo: Is a directory"), std::string::npos);
    log.ClearLog();
    EXPECT_FALSE(b.LoadFile("", log));
    EXPECT_FALSE(b.LoadFile(nullptr, log));
    EXPECT_EQ(
        LogText(log),
        "VantryLog:\r\n  Cannot open file, filename is empty.\r\n  Cannot open file, filename is empty.\r\n");
}

TEST_F(DataBufferFileTest, NamesBeyondTheAnsiCodePageUseTheWideMessages) {
    std::string name = dir.File("\xe6\x97\xa5\xe6\x9c\xac.txt"); // two CJK characters
    DataBuffer b;
    EXPECT_FALSE(b.LoadFile(name.c_str(), log));
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  Failed to open file (3)\r\n  utf8Filename: " + name +
                                "\r\n  osErrorInfo: No such file or directory\r\n");

    testsupport::WriteFileBytes(name, "cjk");
    EXPECT_TRUE(b.LoadFile(name.c_str(), log));
    EXPECT_EQ(Contents(b), "cjk");

    // Bytes that are not UTF-8 at all still reach the file system unchanged.
    std::string raw = dir.File("raw\xff\xfe");
    testsupport::WriteFileBytes(raw, "raw");
    EXPECT_TRUE(b.LoadFile(raw.c_str(), log));
    EXPECT_EQ(Contents(b), "raw");
}

TEST_F(DataBufferFileTest, LoadFileWithHeaderSplitsHeaderAndBody) {
    std::string name = dir.File("cache.dat");
    testsupport::WriteFileBytes(name, HeaderFile(9, "HEADR", "the body"));
    DataBuffer body, header;
    header.Append("stale", 5);
    EXPECT_TRUE(body.LoadFileWithHeader(name.c_str(), header, 100, &log));
    EXPECT_EQ(Contents(header), "HEADR");
    EXPECT_EQ(Contents(body), "the body");

    testsupport::WriteFileBytes(name, HeaderFile(6, "HH", ""));
    EXPECT_TRUE(body.LoadFileWithHeader(name.c_str(), header, 100, nullptr));
    EXPECT_EQ(Contents(header), "HH");
    EXPECT_EQ(body.Length(), 0u);
}

TEST_F(DataBufferFileTest, LoadFileWithHeaderOfTinyFileIsTrueAndEmpty) {
    std::string name = dir.File("tiny");
    testsupport::WriteFileBytes(name, "abc");
    DataBuffer body, header;
    body.Append("x", 1);
    header.Append("untouched", 9);
    EXPECT_TRUE(body.LoadFileWithHeader(name.c_str(), header, 100, &log));
    EXPECT_EQ(body.Length(), 0u);
    EXPECT_EQ(Contents(header), "untouched");
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  File is empty or too small\r\n");
}

TEST_F(DataBufferFileTest, LoadFileWithHeaderRefusesBadHeaderSizes) {
    std::string name = dir.File("bad");
    DataBuffer body, header;
    for (uint32_t h : {0u, 4u, 101u}) {
        log.ClearLog();
        testsupport::WriteFileBytes(name, HeaderFile(h, "xxxx", "body"));
        EXPECT_FALSE(body.LoadFileWithHeader(name.c_str(), header, 100, &log)) << h;
        EXPECT_EQ(LogText(log), "VantryLog:\r\n  Invalid header size\r\n  filename: " + name + "\r\n") << h;
    }
    // A header that claims more bytes than the file has.
    log.ClearLog();
    testsupport::WriteFileBytes(name, HeaderFile(50, "short", ""));
    EXPECT_FALSE(body.LoadFileWithHeader(name.c_str(), header, 100, &log));
    EXPECT_EQ(LogText(log),
              "VantryLog:\r\n  Failed to read the entire header\r\n  filename: " + name + "\r\n");

    // A corrupt size near 4 GiB is refused without allocating for it.
    log.ClearLog();
    testsupport::WriteFileBytes(name, HeaderFile(0xFFFFFFF0u, "short", ""));
    EXPECT_FALSE(body.LoadFileWithHeader(name.c_str(), header, 0xFFFFFFFFu, &log));
    EXPECT_EQ(LogText(log),
              "VantryLog:\r\n  Failed to read the entire header\r\n  filename: " + name + "\r\n");

    log.ClearLog();
    EXPECT_FALSE(body.LoadFileWithHeader(dir.File("none").c_str(), header, 100, &log));
    EXPECT_NE(LogText(log).find("Failed to open file (2)"), std::string::npos);
}

TEST_F(DataBufferFileTest, FileTooLargeForABufferIsRefusedNotTruncated) {
    std::string name = dir.File("huge");
    testsupport::WriteFileBytes(name, "");
    if (truncate(name.c_str(), (5LL << 30)) != 0)
        GTEST_SKIP() << "no sparse files here";
    DataBuffer b;
    EXPECT_FALSE(b.LoadFile(name.c_str(), log));
    EXPECT_EQ(b.Length(), 0u);
    EXPECT_EQ(LogText(log), "VantryLog:\r\n  File too large\r\n");
}
