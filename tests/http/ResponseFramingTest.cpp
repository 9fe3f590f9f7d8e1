// Response framing over a memory byte source: the head and line ends, chunks, counted and unbounded
// bodies, and the caps that keep memory bounded against a hostile peer.
#include <gtest/gtest.h>

#include <string>

#include "http/HttpResponseHeader.h"
#include "http/MemoryByteSource.h"
#include "http/ResponseFraming.h"
#include "net/RecordingLog.h"

using namespace vantry;

namespace {

std::string Text(const DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

void MakeHeader(HttpResponseHeader &h, int status, const char *fields) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " X\r\n" + fields + "\r\n";
    h.Parse(text.c_str());
}

} // namespace

TEST(ResponseFraming, HeadEndsAtTheFirstEmptyLineWhateverThePieceSize) {
    for (uint32_t piece : {1u, 3u, 4096u}) {
        MemoryByteSource src("HTTP/1.1 200 OK\r\nA: b\r\n\r\nBODY", piece);
        ResponseFraming f;
        DataBuffer head, rest;
        RecordingLog log;
        ASSERT_TRUE(f.ReadHead(src, head, log));
        EXPECT_EQ(Text(head), "HTTP/1.1 200 OK\r\nA: b\r\n\r\n");
        ASSERT_TRUE(f.ReadCount(src, 4, rest, log));
        EXPECT_EQ(Text(rest), "BODY");
    }
}

TEST(ResponseFraming, HeadAcceptsBareLineFeedsAndALeadingEmptyLine) {
    ResponseFraming f;
    RecordingLog log;
    MemoryByteSource lf("HTTP/1.0 200 OK\nA: b\n\nX", 7);
    DataBuffer head;
    ASSERT_TRUE(f.ReadHead(lf, head, log));
    EXPECT_EQ(Text(head), "HTTP/1.0 200 OK\nA: b\n\n");
    ResponseFraming g;
    MemoryByteSource lead("\r\nHTTP", 100);
    DataBuffer head2;
    ASSERT_TRUE(g.ReadHead(lead, head2, log));
    EXPECT_EQ(Text(head2), "\r\n");
}

TEST(ResponseFraming, HeadLargerThan100KiBFails) {
    std::string big = "HTTP/1.1 200 OK\r\n";
    while (big.size() < 110 * 1024)
        big += "X-Filler: " + std::string(100, 'f') + "\r\n";
    big += "\r\n";
    MemoryByteSource src(big, 65536);
    ResponseFraming f;
    DataBuffer head;
    RecordingLog log;
    EXPECT_FALSE(f.ReadHead(src, head, log));
    EXPECT_TRUE(log.Has("error: Response header is larger than the maximum allowed.")) << log.Dump();
    EXPECT_LE(src.Consumed(), 2u * 65536u + 1024u); // stopped soon after the cap, not at the end
}

TEST(ResponseFraming, LineEndsAtLineFeedAfterCarriageReturn) {
    MemoryByteSource src("5\r\nhello", 1);
    ResponseFraming f;
    DataBuffer line;
    RecordingLog log;
    ASSERT_TRUE(f.ReadLine(src, line, log));
    EXPECT_EQ(Text(line), "5\r\n");
}

TEST(ResponseFraming, ChunkedBodyOfOneChunkThenTheZeroChunk) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Transfer-Encoding: chunked\r\n");
    MemoryByteSource src("5\r\nhello\r\n0\r\n\r\n", 2);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(f.ReadBody(src, h, 0, body, log)) << log.Dump();
    EXPECT_EQ(Text(body), "hello");
    EXPECT_EQ(src.Consumed(), std::string("5\r\nhello\r\n0\r\n\r\n").size());
}

TEST(ResponseFraming, ChunkSizeLineThatIsNotHexadecimalEndsTheBodySuccessfully) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Transfer-Encoding: CHUNKED\r\n");
    MemoryByteSource src("3\r\nabc\r\nzz\r\nignored", 64);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(f.ReadBody(src, h, 0, body, log));
    EXPECT_EQ(Text(body), "abc");
}

TEST(ResponseFraming, ChunkedFailuresCloseTheSourceWithTheirEntries) {
    struct Case {
        const char *bytes;
        const char *entry;
    } cases[] = {{"5\r\nhel", "error: Failed to get response data (b)"},
                 {"5\r\nhello", "error: Failed to get response data (c)"},
                 {"5\r\nhello\r\n", "error: Failed to get response data (a)"}};
    for (const Case &c : cases) {
        HttpResponseHeader h;
        MakeHeader(h, 200, "Transfer-Encoding: chunked\r\n");
        MemoryByteSource src(c.bytes, 64);
        ResponseFraming f;
        DataBuffer body;
        RecordingLog log;
        EXPECT_FALSE(f.ReadBody(src, h, 0, body, log)) << c.bytes;
        EXPECT_TRUE(log.Has(c.entry)) << log.Dump();
        EXPECT_TRUE(src.Closed());
    }
}

TEST(ResponseFraming, ChunkPastTheLimitIsRefusedBeforeItsDataIsRead) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Transfer-Encoding: chunked\r\n");
    std::string bytes = "4\r\nabcd\r\n8\r\n12345678\r\n0\r\n\r\n";
    MemoryByteSource src(bytes, 1);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    EXPECT_FALSE(f.ReadBody(src, h, 10, body, log));
    EXPECT_TRUE(log.HasInOrder({"error: Chunked response is too large.", "data: maxContentLength=10"}))
        << log.Dump();
    EXPECT_EQ(src.Consumed(), std::string("4\r\nabcd\r\n8\r\n").size());
}

TEST(ResponseFraming, HugeChunkSizeWithNoLimitIsRefusedByTheCeiling) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Transfer-Encoding: chunked\r\n");
    MemoryByteSource src("FFFFFFFFFFFF\r\nabc", 64);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    EXPECT_FALSE(f.ReadBody(src, h, 0, body, log));
    EXPECT_TRUE(log.Has("error: Chunked response is too large."));
    EXPECT_TRUE(log.Has("data: maxContentLength=201326592")) << log.Dump();
}

TEST(ResponseFraming, CountedBodyAtTheLimitIsReadAndOneMoreIsRefusedBeforeReading) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Content-Length: 10\r\n");
    MemoryByteSource src("0123456789", 3);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(f.ReadBody(src, h, 10, body, log));
    EXPECT_EQ(Text(body), "0123456789");

    HttpResponseHeader h11;
    MakeHeader(h11, 200, "Content-Length: 11\r\n");
    MemoryByteSource src11("0123456789A", 3);
    ResponseFraming g;
    DataBuffer body11;
    RecordingLog log11;
    EXPECT_FALSE(g.ReadBody(src11, h11, 10, body11, log11));
    EXPECT_TRUE(log11.HasInOrder(
        {"error: Content length more than the maximum allowed.", "data: maxContentLength=10"}));
    EXPECT_EQ(src11.Consumed(), 0u);
    EXPECT_FALSE(src11.Closed());
}

TEST(ResponseFraming, BodyEndingBeforeItsContentLengthFailsAndCloses) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "Content-Length: 100\r\n");
    MemoryByteSource src("only forty bytes of the hundred promised", 7);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    EXPECT_FALSE(f.ReadBody(src, h, 0, body, log));
    EXPECT_TRUE(log.HasInOrder({"error: Response body ended before its Content-Length.",
                                "data: contentLength=100", "data: received=40"}))
        << log.Dump();
    EXPECT_TRUE(src.Closed());
}

TEST(ResponseFraming, BodyWithoutLengthIsReadToTheEndWithTheShortTimeoutThenRestored) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "");
    std::string bytes(300000, 'z');
    MemoryByteSource src(bytes, 7000);
    src.SetReadTimeoutMs(20000);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(f.ReadBody(src, h, 0, body, log));
    EXPECT_EQ(body.Length(), bytes.size());
    EXPECT_EQ(src.ReadTimeoutMs(), 20000u);
}

TEST(ResponseFraming, BodyWithoutLengthStopsAsSoonAsItPassesTheLimit) {
    HttpResponseHeader h;
    MakeHeader(h, 200, "");
    std::string bytes(1000000, 'z');
    MemoryByteSource src(bytes, 4096);
    ResponseFraming f;
    DataBuffer body;
    RecordingLog log;
    EXPECT_FALSE(f.ReadBody(src, h, 5000, body, log));
    EXPECT_TRUE(log.HasInOrder(
        {"error: Content length more than the maximum allowed...", "data: maxContentLength=5000"}));
    EXPECT_LE(src.Consumed(), 5001u + 4096u);
    EXPECT_TRUE(src.Closed());
}

TEST(ResponseFraming, StatusDecidesWhetherABodyIsRead) {
    struct Case {
        int status;
        const char *fields;
        bool reads;
    } cases[] = {{304, "Content-Length: 4\r\n", false},
                 {204, "", true},
                 {404, "", false},
                 {404, "Content-Length: 4\r\n", true},
                 {100, "", false},
                 {307, "Content-Length: 4\r\n", true},
                 {308, "Content-Length: 4\r\n", false},
                 {200, "Content-Length: 0\r\n", false}};
    for (const Case &c : cases) {
        HttpResponseHeader h;
        MakeHeader(h, c.status, c.fields);
        MemoryByteSource src("DATA", 64);
        ResponseFraming f;
        DataBuffer body;
        RecordingLog log;
        EXPECT_TRUE(f.ReadBody(src, h, 0, body, log));
        EXPECT_EQ(body.Length() == 4, c.reads) << c.status << " " << c.fields;
    }
}
