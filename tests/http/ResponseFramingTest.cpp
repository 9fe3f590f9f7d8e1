// Response framing over a memory byte source: heads and bodies in any piece size, how each kind of body
// ends (and fails), the caps that keep memory bounded, and when a connection may carry the next request.
#include <gtest/gtest.h>

#include <string>

#include "core/DataBuffer.h"
#include "http/MemoryByteSource.h"
#include "http/RecordByteSource.h"
#include "http/ResponseFraming.h"
#include "net/RecordingLog.h"
#include "platform/Clock.h"

using namespace vantry;

namespace {

using Status = ByteSource::Status;

std::string Text(const DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

struct Read {
    bool headOk = false;
    bool bodyOk = false;
    std::string body;
    RecordingLog log;
};

// The head, then the body, of one response from src.
Read ReadOne(ResponseFraming &f, ByteSource &src, uint32_t limit = 0) {
    Read r;
    r.headOk = f.ReadHead(src, r.log) == ResponseFraming::HeadResult::Ok;
    if (!r.headOk)
        return r;
    DataBuffer body;
    r.bodyOk = f.ReadBody(src, limit, body, r.log);
    r.body = Text(body);
    return r;
}

} // namespace

TEST(ResponseFraming, ResponseIsReadWholeWhateverThePieceSize) {
    const std::string bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
    for (uint32_t piece : {1u, 3u, 4096u}) {
        MemoryByteSource src(bytes, piece);
        ResponseFraming f;
        Read r = ReadOne(f, src);
        ASSERT_TRUE(r.bodyOk) << r.log.Dump();
        EXPECT_EQ(r.body, "hello");
        EXPECT_EQ(src.Consumed(), bytes.size());
        EXPECT_TRUE(f.Reusable());
    }
}

TEST(ResponseFraming, TwoResponsesInOneSegmentAreReadOneAfterTheOther) {
    MemoryByteSource src(
        "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\noneHTTP/1.1 404 NF\r\nContent-Length: 3\r\n\r\ntwo",
        4096);
    ResponseFraming f;
    Read first = ReadOne(f, src);
    EXPECT_EQ(first.body, "one");
    EXPECT_FALSE(f.Reusable()); // bytes came that no request asked for yet
    Read second = ReadOne(f, src);
    EXPECT_EQ(second.body, "two");
    EXPECT_EQ(f.Parser().StatusCode(), 404);
}

TEST(ResponseFraming, HeadLargerThanTheCapFailsSoonAfterIt) {
    std::string big = "HTTP/1.1 200 OK\r\n";
    while (big.size() < 310 * 1024)
        big += "X-Filler: " + std::string(100, 'f') + "\r\n";
    big += "\r\n";
    MemoryByteSource src(big, 65536);
    ResponseFraming f;
    RecordingLog log;
    EXPECT_EQ(f.ReadHead(src, log), ResponseFraming::HeadResult::Failed);
    EXPECT_TRUE(log.Has("error: Response header is larger than the maximum allowed.")) << log.Dump();
    EXPECT_LE(src.Consumed(), ResponseFraming::kMaxHeadBytes + 65536u);
}

TEST(ResponseFraming, HeadOutcomesTellNothingReceivedFromACutHead) {
    ResponseFraming f;
    RecordingLog log;
    MemoryByteSource empty("", 10);
    EXPECT_EQ(f.ReadHead(empty, log), ResponseFraming::HeadResult::NoResponse);
    MemoryByteSource reset("", 10);
    reset.SetEnd(Status::Failed);
    EXPECT_EQ(f.ReadHead(reset, log), ResponseFraming::HeadResult::NoResponse);
    MemoryByteSource cut("HTTP/1.1 200 OK\r\nA:", 10);
    EXPECT_EQ(f.ReadHead(cut, log), ResponseFraming::HeadResult::Failed);
    MemoryByteSource slow("", 10);
    slow.SetEnd(Status::TimedOut);
    EXPECT_EQ(f.ReadHead(slow, log), ResponseFraming::HeadResult::Failed);
    MemoryByteSource bad("HTTP/1.1 200 OK\r\nbroken line\r\n\r\n", 10);
    EXPECT_EQ(f.ReadHead(bad, log), ResponseFraming::HeadResult::Invalid);
    EXPECT_TRUE(log.Has("error: Response header line without a colon.")) << log.Dump();
}

TEST(ResponseFraming, ChunkedFailuresNameWhereTheStreamStopped) {
    struct Case {
        const char *bytes;
        const char *entry;
    } cases[] = {{"5\r\nhel", "error: Failed to get response data (b)"},
                 {"5\r\nhello", "error: Failed to get response data (c)"},
                 {"5\r\nhello\r\n", "error: Failed to get response data (a)"},
                 {"5\r\nhello\r\nzz\r\n", "error: Invalid chunk size in the chunked response body."},
                 {"5\r\nhelloXX", "error: Chunk data is not followed by CRLF."}};
    for (const Case &c : cases) {
        std::string bytes = std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + c.bytes;
        MemoryByteSource src(bytes, 64);
        ResponseFraming f;
        Read r = ReadOne(f, src);
        EXPECT_FALSE(r.bodyOk) << c.bytes;
        EXPECT_TRUE(r.log.Has(c.entry)) << r.log.Dump();
        EXPECT_FALSE(f.Reusable());
    }
}

TEST(ResponseFraming, ChunkPastTheLimitIsRefusedBeforeItsDataIsRead) {
    std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::string bytes = head + "4\r\nabcd\r\n8\r\n12345678\r\n0\r\n\r\n";
    MemoryByteSource src(bytes, 1);
    ResponseFraming f;
    Read r = ReadOne(f, src, 10);
    EXPECT_FALSE(r.bodyOk);
    EXPECT_TRUE(r.log.HasInOrder({"error: Chunked response is too large.", "data: maxContentLength=10"}))
        << r.log.Dump();
    EXPECT_EQ(src.Consumed(), head.size() + std::string("4\r\nabcd\r\n8\r\n").size());
    EXPECT_TRUE(f.BodyOverLimit());
}

TEST(ResponseFraming, HugeChunkSizeWithNoLimitIsRefusedByTheCeiling) {
    MemoryByteSource src("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFF\r\nabc", 64);
    ResponseFraming f;
    Read r = ReadOne(f, src);
    EXPECT_FALSE(r.bodyOk);
    EXPECT_TRUE(
        r.log.HasInOrder({"error: Chunked response is too large.", "data: maxContentLength=201326592"}))
        << r.log.Dump();
}

TEST(ResponseFraming, CountedBodyAtTheLimitIsReadAndOneMoreIsRefusedBeforeReading) {
    MemoryByteSource src("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789", 3);
    ResponseFraming f;
    Read r = ReadOne(f, src, 10);
    ASSERT_TRUE(r.bodyOk) << r.log.Dump();
    EXPECT_EQ(r.body, "0123456789");

    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n";
    std::string bytes11 = head + "0123456789A";
    MemoryByteSource src11(bytes11, 1);
    ResponseFraming g;
    Read r11 = ReadOne(g, src11, 10);
    EXPECT_FALSE(r11.bodyOk);
    EXPECT_TRUE(r11.log.HasInOrder(
        {"error: Content length more than the maximum allowed.", "data: maxContentLength=10"}));
    EXPECT_EQ(src11.Consumed(), head.size());
    EXPECT_TRUE(g.BodyOverLimit());
}

TEST(ResponseFraming, BodyEndingBeforeItsContentLengthFails) {
    MemoryByteSource src(
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly forty bytes of the hundred promised", 7);
    ResponseFraming f;
    Read r = ReadOne(f, src);
    EXPECT_FALSE(r.bodyOk);
    EXPECT_TRUE(r.log.HasInOrder({"error: Response body ended before its Content-Length.",
                                  "data: contentLength=100", "data: received=40"}))
        << r.log.Dump();
    EXPECT_FALSE(f.Reusable());
}

TEST(ResponseFraming, LargeCountedBodyIsReceivedWhole) {
    std::string body(3 * 1024 * 1024 + 17, 'q');
    for (size_t i = 0; i < body.size(); i += 997)
        body[i] = static_cast<char>('a' + i % 26);
    std::string bytes =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    MemoryByteSource src(bytes, 70000);
    ResponseFraming f;
    Read r = ReadOne(f, src);
    ASSERT_TRUE(r.bodyOk);
    EXPECT_TRUE(r.body == body);
    EXPECT_TRUE(f.Reusable());
}

TEST(ResponseFraming, BodyWithoutLengthEndsOnlyAtTheOrderlyEndOfTheStream) {
    const std::string bytes = "HTTP/1.1 200 OK\r\n\r\n" + std::string(300000, 'z');
    {
        MemoryByteSource src(bytes, 7000);
        src.SetReadTimeoutMs(20000);
        ResponseFraming f;
        Read r = ReadOne(f, src);
        ASSERT_TRUE(r.bodyOk) << r.log.Dump();
        EXPECT_EQ(r.body.size(), 300000u);
        EXPECT_EQ(src.ReadTimeoutMs(), 20000u);
        EXPECT_FALSE(f.Reusable());
    }
    // A pause (the read time-out) or a transport error is never the end of the body.
    for (Status end : {Status::TimedOut, Status::Failed}) {
        MemoryByteSource src(bytes, 7000);
        src.SetEnd(end);
        ResponseFraming f;
        Read r = ReadOne(f, src);
        EXPECT_FALSE(r.bodyOk);
        EXPECT_TRUE(r.log.Has(
            "error: The response body without length did not end with the close of the connection."))
            << r.log.Dump();
    }
    // A TLS session that ends without close_notify gives the body, with a note.
    MemoryByteSource src(bytes, 7000);
    src.SetEnd(Status::ClosedUnclean);
    ResponseFraming f;
    Read r = ReadOne(f, src);
    EXPECT_TRUE(r.bodyOk);
    EXPECT_TRUE(f.EndedUncleanly());
    EXPECT_TRUE(r.log.Has("info: The TLS session ended without close_notify; the body may be cut short."));
}

TEST(ResponseFraming, BodyWithoutLengthStopsAsSoonAsItPassesTheLimit) {
    std::string bytes = "HTTP/1.1 200 OK\r\n\r\n" + std::string(1000000, 'z');
    MemoryByteSource src(bytes, 4096);
    ResponseFraming f;
    Read r = ReadOne(f, src, 5000);
    EXPECT_FALSE(r.bodyOk);
    EXPECT_TRUE(r.log.HasInOrder(
        {"error: Content length more than the maximum allowed...", "data: maxContentLength=5000"}));
    EXPECT_LE(src.Consumed(), 5001u + 2 * 4096u);
}

TEST(ResponseFraming, StatusAndFieldsDecideWhetherABodyIsRead) {
    struct Case {
        const char *head;
        const char *body; // expected
        bool reusable;
    } cases[] = {{"HTTP/1.1 304 Not Modified\r\nContent-Length: 4\r\n\r\n", "", false}, // DATA is left over
                 {"HTTP/1.1 204 No Content\r\n\r\n", "", false},
                 {"HTTP/1.1 404 Not Found\r\n\r\n", "DATA", false},
                 {"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\n", "DATA", true},
                 {"HTTP/1.1 308 Permanent Redirect\r\nContent-Length: 4\r\n\r\n", "DATA", true},
                 {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\n", "DATA", false},
                 {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", false}};
    for (const Case &c : cases) {
        std::string bytes = std::string(c.head) + "DATA";
        MemoryByteSource src(bytes, 64);
        ResponseFraming f;
        Read r = ReadOne(f, src);
        EXPECT_TRUE(r.bodyOk) << c.head << r.log.Dump();
        EXPECT_EQ(r.body, c.body) << c.head;
        EXPECT_EQ(f.Reusable(), c.reusable) << c.head;
    }
}

namespace {

// Records that arrive one after another and decrypt to nothing (session tickets, key updates).
class EmptyRecords : public RecordByteSource {
public:
    uint32_t ReadTimeoutMs() const override { return m_timeout; }
    void SetReadTimeoutMs(uint32_t ms) override { m_timeout = ms; }
    void Close() override {}
    int calls = 0;

protected:
    Status NextRecords(DataBuffer &, LogBase &) override {
        ++calls;
        platform::SleepMs(m_timeout < 150 ? m_timeout : 150);
        return Status::Got;
    }

private:
    uint32_t m_timeout = 600;
};

} // namespace

TEST(RecordByteSource, RecordsWithoutDataDoNotRestartTheReadTimeOut) {
    EmptyRecords src;
    uint8_t byte;
    uint32_t got = 0;
    RecordingLog log;
    EXPECT_EQ(src.Receive(&byte, 1, got, log), Status::TimedOut);
    EXPECT_LE(src.calls, 6); // 600 ms of 150 ms records, not an endless wait
    EXPECT_EQ(src.ReadTimeoutMs(), 600u);
    EXPECT_TRUE(log.Has("error: WaitForData timed out."));
}
