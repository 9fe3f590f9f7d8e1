// The response parser over a table of responses, good and bad: each has its expected status, fields,
// body and error, and must give the same result whatever the pieces it is fed in (cut at every byte
// offset, or one byte at a time).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/DataBuffer.h"
#include "http/ResponseParser.h"

using namespace vantry;

namespace {

using Error = ResponseParser::Error;
using Framing = ResponseParser::Framing;

struct Case {
    const char *name;
    std::string bytes;
    Error error;
    int status;
    std::string body;
    std::vector<std::pair<std::string, std::string>> fields; // name and expected value ("<none>": absent)
    bool persistent = false;
    size_t trailing = 0; // bytes after the end of the message that must be left untaken
};

struct Outcome {
    Error error = Error::None;
    int status = 0;
    std::string head;
    std::string raw;
    std::string body;
    size_t used = 0;
    bool done = false;
    bool persistent = false;
    Framing framing = Framing::None;

    bool operator==(const Outcome &o) const {
        return error == o.error && status == o.status && head == o.head && raw == o.raw && body == o.body &&
               used == o.used && done == o.done && persistent == o.persistent && framing == o.framing;
    }
};

// Feeds the bytes in pieces that end at the given offsets (and at the end), then ends the stream.
Outcome Parse(const std::string &bytes, const std::vector<size_t> &cuts, ResponseParser *keep = nullptr) {
    ResponseParser local;
    ResponseParser &p = keep ? *keep : local;
    p.Reset();
    DataBuffer body;
    Outcome out;
    size_t at = 0;
    ResponseParser::Result r = ResponseParser::Result::NeedMore;
    std::vector<size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (size_t end : ends) {
        while (at < end || r == ResponseParser::Result::HeadDone) {
            size_t used = 0;
            r = p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()) + at, end - at, used, &body);
            at += used;
            if (r == ResponseParser::Result::Done || r == ResponseParser::Result::Failed || used == 0) {
                if (r != ResponseParser::Result::HeadDone)
                    break;
            }
        }
        if (r == ResponseParser::Result::Done || r == ResponseParser::Result::Failed)
            break;
    }
    if (r != ResponseParser::Result::Done && r != ResponseParser::Result::Failed)
        r = p.Finish();
    out.done = r == ResponseParser::Result::Done;
    out.error = p.GetError();
    out.status = p.StatusCode();
    out.head = std::string(p.HeadText());
    if (out.done)
        out.raw = std::string(p.RawHeads());
    out.body.assign(reinterpret_cast<const char *>(body.Data()), body.Length());
    out.used = out.done ? at : 0; // where a failure is seen depends on the pieces
    out.persistent = p.PersistentConnection();
    out.framing = p.GetFraming();
    return out;
}

std::string Chunk(const std::string &data) {
    char size[20];
    std::snprintf(size, sizeof size, "%zx", data.size());
    return std::string(size) + "\r\n" + data + "\r\n";
}

const std::vector<Case> &Table() {
    static const std::vector<Case> cases = {
        // Good: status lines.
        {"plain",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         Error::None,
         200,
         "hello",
         {{"content-length", "5"}},
         true},
        {"no reason phrase",
         "HTTP/1.1 200\r\nContent-Length: 2\r\nServer: x\r\n\r\nok",
         Error::None,
         200,
         "ok",
         {{"Server", "x"}},
         true},
        {"reason phrase empty after SP",
         "HTTP/1.1 404 \r\nContent-Length: 0\r\n\r\n",
         Error::None,
         404,
         "",
         {},
         true},
        {"reason with obs-text",
         "HTTP/1.1 200 \xC3\x9C\x62\x65r\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {},
         true},
        {"HTTP/1.0 closes",
         "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc",
         Error::None,
         200,
         "abc",
         {},
         false},
        {"HTTP/1.0 keep-alive",
         "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 3\r\n\r\nabc",
         Error::None,
         200,
         "abc",
         {},
         true},
        {"HTTP/1.2 is 1.1", "HTTP/1.2 200 OK\r\nContent-Length: 1\r\n\r\nx", Error::None, 200, "x", {}, true},
        {"status 999 accepted",
         "HTTP/1.1 999 Odd\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         999,
         "",
         {},
         true},
        // Good: line ends and fields.
        {"bare LF head",
         "HTTP/1.1 302 Found\nLocation: /next\nContent-Length: 4\n\nmove",
         Error::None,
         302,
         "move",
         {{"Location", "/next"}},
         true},
        {"mixed line ends",
         "HTTP/1.1 200 OK\r\nA: 1\nB: 2\r\nContent-Length: 1\n\r\nq",
         Error::None,
         200,
         "q",
         {{"A", "1"}, {"b", "2"}},
         true},
        {"odd whitespace",
         "HTTP/1.1 200 OK\r\nX-A:\t  spaced out \t\r\nX-B:tight\r\nContent-Length:  3  \r\n\r\nabc",
         Error::None,
         200,
         "abc",
         {{"X-A", "spaced out"}, {"X-B", "tight"}},
         true},
        {"blank before colon",
         "HTTP/1.1 200 OK\r\nX-Sp : v\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"X-Sp", "v"}},
         true},
        {"case of names",
         "HTTP/1.1 200 OK\r\ncOnTeNt-LeNgTh: 2\r\n\r\nhi",
         Error::None,
         200,
         "hi",
         {{"CONTENT-LENGTH", "2"}},
         true},
        {"obs-fold",
         "HTTP/1.1 200 OK\r\nX-Fold: one\r\n  two\r\n\tthree\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"X-Fold", "one two three"}},
         true},
        {"obs-fold of empty value",
         "HTTP/1.1 200 OK\r\nX-E:\r\n next\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"X-E", "next"}},
         true},
        {"whitespace line after status",
         "HTTP/1.1 200 OK\r\n  stray\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"Content-Length", "0"}},
         true},
        {"empty value",
         "HTTP/1.1 200 OK\r\nX-Empty:\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"X-Empty", ""}},
         true},
        {"repeated fields",
         "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"set-cookie", "a=1"}},
         true},
        {"long header",
         "HTTP/1.1 200 OK\r\nX-Long: " + std::string(60000, 'L') + "\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"X-Long", std::string(60000, 'L')}},
         true},
        {"connection close",
         "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\n!",
         Error::None,
         200,
         "!",
         {},
         false},
        {"connection token list",
         "HTTP/1.1 200 OK\r\nConnection: Upgrade, Close\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {},
         false},
        // Good: Content-Length forms.
        {"length leading zeros",
         "HTTP/1.1 200 OK\r\nContent-Length: 0004\r\n\r\nfour",
         Error::None,
         200,
         "four",
         {},
         true},
        {"length zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", Error::None, 200, "", {}, true},
        {"length list of equal values",
         "HTTP/1.1 200 OK\r\nContent-Length: 3, 3\r\n\r\nabc",
         Error::None,
         200,
         "abc",
         {},
         true},
        {"length repeated equal",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
         Error::None,
         200,
         "ab",
         {},
         true},
        {"bytes after a counted body stay",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabHTTP/1.1",
         Error::None,
         200,
         "ab",
         {},
         true,
         8},
        {"to the close",
         "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nall of it\r\nuntil the end",
         Error::None,
         200,
         "all of it\r\nuntil the end",
         {},
         false},
        {"to the close empty", "HTTP/1.1 200 OK\r\n\r\n", Error::None, 200, "", {}, false},
        // Good: statuses without a body.
        {"204 ignores length",
         "HTTP/1.1 204 No Content\r\nContent-Length: 10\r\n\r\nNEXT",
         Error::None,
         204,
         "",
         {},
         true,
         4},
        {"204 without length", "HTTP/1.1 204 No Content\r\n\r\n", Error::None, 204, "", {}, true},
        {"304 ignores chunked",
         "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n",
         Error::None,
         304,
         "",
         {},
         true},
        {"304 bad length ignored",
         "HTTP/1.1 304 Not Modified\r\nContent-Length: x\r\n\r\n",
         Error::None,
         304,
         "",
         {},
         true},
        {"100 then 200",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
         Error::None,
         200,
         "ok",
         {},
         true},
        {"103 with fields then 200",
         "HTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1",
         Error::None,
         200,
         "1",
         {{"Link", "<none>"}},
         true},
        {"two interim heads",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 404 NF\r\n"
         "Content-Length: 1\r\n\r\nn",
         Error::None,
         404,
         "n",
         {},
         true},
        {"101 is final and read to the close",
         "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nraw",
         Error::None,
         101,
         "raw",
         {},
         false},
        // Good: chunked.
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk("Wiki") + Chunk("pedia") +
             "0\r\n\r\n",
         Error::None,
         200,
         "Wikipedia",
         {},
         true},
        {"chunked upper hex and zeros",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n000A\r\n0123456789\r\n00\r\n\r\n",
         Error::None,
         200,
         "0123456789",
         {},
         true},
        {"chunk extensions",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;name=val\r\nabc\r\n"
         "2 ; q=\"a;b\"\r\nde\r\n0;end\r\n\r\n",
         Error::None,
         200,
         "abcde",
         {},
         true},
        {"chunked bare LF lines",
         "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n",
         Error::None,
         200,
         "abc",
         {},
         true},
        {"trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhi\r\n0\r\nX-T: 1\r\nX-U: 2\r\n\r\n",
         Error::None,
         200,
         "hi",
         {},
         true},
        {"trailers then next response",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\n"
         "T: v\r\n\r\nHTTP/1.1 200 OK\r\n",
         Error::None,
         200,
         "z",
         {},
         true,
         17},
        {"chunked wins over length",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk("abc") +
             "0\r\n\r\n",
         Error::None,
         200,
         "abc",
         {},
         false},
        {"gzip then chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" + Chunk("gz") + "0\r\n\r\n",
         Error::None,
         200,
         "gz",
         {},
         true},
        {"coding list over two fields",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk("2f") +
             "0\r\n\r\n",
         Error::None,
         200,
         "2f",
         {},
         true},
        {"last coding not chunked reads to close",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nraw bytes",
         Error::None,
         200,
         "raw bytes",
         {},
         false},
        {"chunked in HTTP/1.0",
         "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n" + Chunk("x") +
             "0\r\n\r\n",
         Error::None,
         200,
         "x",
         {},
         false},
        {"chunked error page",
         "HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk("<p>gone</p>") + "0\r\n\r\n",
         Error::None,
         404,
         "<p>gone</p>",
         {},
         true},
        // Bad: status lines.
        {"lower-case http", "http/1.1 200 OK\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"HTTP/2 status", "HTTP/2 200\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"HTTP/1.x two digits", "HTTP/1.1 20 OK\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"four digit status", "HTTP/1.1 2000 OK\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"status 099", "HTTP/1.1 099 Low\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"letters in status", "HTTP/1.1 2x0 OK\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"no blank after version", "HTTP/1.1200 OK\r\n\r\n", Error::BadStatusLine, 0, "", {}},
        {"HTTP/0.9 body", "<html>hello</html>", Error::BadStatusLine, 0, "", {}},
        {"leading empty line",
         "\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz",
         Error::BadStatusLine,
         0,
         "",
         {}},
        // Bad: fields.
        {"field without colon",
         "HTTP/1.1 200 OK\r\nNoColonHere\r\nContent-Length: 0\r\n\r\n",
         Error::FieldWithoutColon,
         200,
         "",
         {}},
        {"empty field name passed over",
         "HTTP/1.1 200 OK\r\n: value\r\nContent-Length: 0\r\n\r\n",
         Error::None,
         200,
         "",
         {{"", "<none>"}},
         true},
        {"NUL in a field",
         std::string("HTTP/1.1 200 OK\r\nX: a\0b\r\n\r\n", 27),
         Error::NulInHead,
         200,
         "",
         {}},
        {"bare CR in a field", "HTTP/1.1 200 OK\r\nX: a\rb\r\n\r\n", Error::BareCrInHead, 200, "", {}},
        {"bare CR in status line", "HTTP/1.1 200\rOK\r\n\r\n", Error::BareCrInHead, 0, "", {}},
        {"head too large",
         "HTTP/1.1 200 OK\r\nX: " + std::string(ResponseParser::kMaxLineBytes, 'h') + "\r\n\r\n",
         Error::HeadTooLarge,
         200,
         "",
         {}},
        // Bad: Content-Length.
        {"length with plus",
         "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello",
         Error::BadContentLength,
         200,
         "",
         {}},
        {"negative length",
         "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n",
         Error::BadContentLength,
         200,
         "",
         {}},
        {"length with letters",
         "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n",
         Error::BadContentLength,
         200,
         "",
         {}},
        {"empty length", "HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\n", Error::BadContentLength, 200, "", {}},
        {"length blank inside",
         "HTTP/1.1 200 OK\r\nContent-Length: 1 2\r\n\r\n",
         Error::BadContentLength,
         200,
         "",
         {}},
        {"length overflow",
         "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n",
         Error::BadContentLength,
         200,
         "",
         {}},
        {"lengths differ",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
         Error::ConflictingContentLength,
         200,
         "",
         {}},
        {"length list differs",
         "HTTP/1.1 200 OK\r\nContent-Length: 3, 4\r\n\r\nabcd",
         Error::ConflictingContentLength,
         200,
         "",
         {}},
        // Bad: transfer codings.
        {"unknown coding",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: snappy, chunked\r\n\r\n0\r\n\r\n",
         Error::UnknownTransferCoding,
         200,
         "",
         {}},
        {"chunked not last",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n",
         Error::ChunkedNotLast,
         200,
         "",
         {}},
        // Bad: chunked framing.
        {"chunk size not hex",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n",
         Error::BadChunkSize,
         200,
         "",
         {}},
        {"junk after the chunk size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2x\r\nab\r\n0 y\r\n\r\n",
         Error::None,
         200,
         "ab",
         {},
         true},
        {"NUL after the chunk size",
         std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\0\r\nab", 53),
         Error::BadChunkSize,
         200,
         "",
         {}},
        {"empty chunk size line",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\nab\r\n",
         Error::BadChunkSize,
         200,
         "",
         {}},
        {"chunk size overflow",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\n",
         Error::BadChunkSize,
         200,
         "",
         {}},
        {"bare CR after size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\rab\r\n0\r\n\r\n",
         Error::BadChunkLine,
         200,
         "",
         {}},
        {"chunk data too long",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n",
         Error::ChunkDataNotEnded,
         200,
         "ab",
         {}},
        {"chunk data CR without LF",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\rX0\r\n\r\n",
         Error::ChunkDataNotEnded,
         200,
         "ab",
         {}},
        {"bare CR in trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nT: a\rb\r\n\r\n",
         Error::BadTrailer,
         200,
         "",
         {}},
        // Bad: the connection ends early.
        {"nothing at all", "", Error::NoResponse, 0, "", {}},
        {"head cut short", "HTTP/1.1 200 OK\r\nContent-Le", Error::Truncated, 200, "", {}},
        {"counted body cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort",
         Error::Truncated,
         200,
         "short",
         {}},
        {"chunk cut short",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel",
         Error::Truncated,
         200,
         "hel",
         {}},
        {"no last chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk("abc"),
         Error::Truncated,
         200,
         "abc",
         {}},
        {"last chunk without the final line",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\n",
         Error::Truncated,
         200,
         "z",
         {}},
        {"trailer cut short",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX-T: v",
         Error::Truncated,
         200,
         "",
         {}},
    };
    return cases;
}

} // namespace

TEST(ResponseParser, TableOfResponsesGivesTheExpectedStatusFieldsBodyAndError) {
    ASSERT_GE(Table().size(), 60u);
    for (const Case &c : Table()) {
        SCOPED_TRACE(c.name);
        ResponseParser p;
        Outcome o = Parse(c.bytes, {}, &p);
        EXPECT_EQ(o.error, c.error) << ResponseParser::ErrorText(o.error);
        EXPECT_EQ(o.done, c.error == Error::None);
        if (c.error == Error::None || c.status != 0) {
            EXPECT_EQ(o.status, c.status);
        }
        EXPECT_EQ(o.body, c.body);
        for (const auto &[name, value] : c.fields) {
            std::string_view got;
            bool found = p.FindField(name, got);
            if (value == "<none>")
                EXPECT_FALSE(found) << name;
            else
                EXPECT_TRUE(found && got == value) << name << " = " << got;
        }
        if (c.error == Error::None) {
            EXPECT_EQ(o.persistent, c.persistent);
            EXPECT_EQ(o.used, c.bytes.size() - c.trailing);
        }
    }
}

TEST(ResponseParser, EveryCutAndSingleBytesGiveTheSameResult) {
    for (const Case &c : Table()) {
        SCOPED_TRACE(c.name);
        Outcome whole = Parse(c.bytes, {});
        size_t n = c.bytes.size();
        // Long messages are cut at every offset of their first and last 300 bytes.
        for (size_t cut = 1; cut < n; ++cut) {
            if (n > 1000 && cut > 300 && cut < n - 300)
                continue;
            ASSERT_TRUE(Parse(c.bytes, {cut}) == whole) << "cut at " << cut;
        }
        if (n <= 1000) {
            std::vector<size_t> singles;
            for (size_t i = 1; i < n; ++i)
                singles.push_back(i);
            EXPECT_TRUE(Parse(c.bytes, singles) == whole) << "single bytes";
        }
    }
}

TEST(ResponseParser, HeadTextUnfoldsAndEndsEveryLineInCrLfWhileRawHeadsKeepTheBytes) {
    ResponseParser p;
    Outcome o = Parse("HTTP/1.1 100 Continue\n\nHTTP/1.1 200 OK\nA:  1\nB: x\n y\n\n", {}, &p);
    EXPECT_EQ(o.head, "HTTP/1.1 200 OK\r\nA:  1\r\nB: x y\r\n\r\n");
    EXPECT_EQ(o.raw, "HTTP/1.1 100 Continue\n\nHTTP/1.1 200 OK\nA:  1\nB: x\n y\n\n");
    EXPECT_EQ(p.InterimCount(), 1u);
    EXPECT_EQ(p.MinorVersion(), 1);
}

TEST(ResponseParser, FramingFollowsTheRulesOfTheMessageBodyLength) {
    ResponseParser p;
    Parse("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", {}, &p);
    EXPECT_EQ(p.GetFraming(), Framing::Chunked);
    ASSERT_EQ(p.TransferCodings().size(), 1u);
    EXPECT_EQ(p.TransferCodings()[0], "gzip");
    Parse("HTTP/1.1 200 OK\r\nContent-Length: 7\r\nTransfer-Encoding: chunked\r\n\r\n", {}, &p);
    EXPECT_EQ(p.GetFraming(), Framing::Chunked);
    EXPECT_FALSE(p.HasContentLength());
    Parse("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n", {}, &p);
    EXPECT_EQ(p.GetFraming(), Framing::Length);
    EXPECT_EQ(p.ContentLength(), 7u);
    Parse("HTTP/1.1 200 OK\r\n\r\n", {}, &p);
    EXPECT_EQ(p.GetFraming(), Framing::ToClose);
    Parse("HTTP/1.1 304 Not Modified\r\nContent-Length: 7\r\n\r\n", {}, &p);
    EXPECT_EQ(p.GetFraming(), Framing::None);
}

TEST(ResponseParser, BodyLimitRefusesAChunkBeforeItsDataAndABodyWithoutLengthOnceItPasses) {
    ResponseParser p;
    p.SetBodyLimit(10);
    std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::string bytes = head + "4\r\nabcd\r\n8\r\n12345678\r\n0\r\n\r\n";
    DataBuffer body;
    size_t used = 0;
    ASSERT_EQ(p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), used, &body),
              ResponseParser::Result::HeadDone);
    size_t more = 0;
    EXPECT_EQ(
        p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()) + used, bytes.size() - used, more, &body),
        ResponseParser::Result::Failed);
    EXPECT_EQ(p.GetError(), Error::BodyTooLarge);
    EXPECT_EQ(used + more, head.size() + std::string("4\r\nabcd\r\n8\r\n").size());

    ResponseParser q;
    q.SetBodyLimit(10);
    std::string toClose = "HTTP/1.1 200 OK\r\n\r\n" + std::string(11, 'x');
    DataBuffer b2;
    ASSERT_EQ(q.Feed(reinterpret_cast<const uint8_t *>(toClose.data()), toClose.size(), used, &b2),
              ResponseParser::Result::HeadDone);
    EXPECT_EQ(q.Feed(reinterpret_cast<const uint8_t *>(toClose.data()) + used, 10, more, &b2),
              ResponseParser::Result::NeedMore);
    EXPECT_EQ(q.Feed(reinterpret_cast<const uint8_t *>(toClose.data()) + used + 10, 1, more, &b2),
              ResponseParser::Result::Failed);
    EXPECT_EQ(q.GetError(), Error::BodyTooLarge);
}

TEST(ResponseParser, DataDeliveredDirectlyAdvancesLikeFedData) {
    std::string bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n";
    ResponseParser p;
    DataBuffer body;
    size_t used = 0;
    ASSERT_EQ(p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), used, &body),
              ResponseParser::Result::HeadDone);
    size_t more = 0;
    p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()) + used, bytes.size() - used, more, &body);
    EXPECT_EQ(p.DataWanted(), 6u);
    p.DataDelivered(6);
    EXPECT_EQ(p.GetState(), ResponseParser::State::ChunkDataCr);
    std::string rest = "\r\n0\r\n\r\n";
    EXPECT_EQ(p.Feed(reinterpret_cast<const uint8_t *>(rest.data()), rest.size(), more, &body),
              ResponseParser::Result::Done);
    EXPECT_EQ(p.BodyBytes(), 6u);
}
