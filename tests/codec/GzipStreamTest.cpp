// Tests of GzipStream: a member fed in pieces of every size decodes as zlib decodes it, with its header
// fields and trailer found wherever the piece boundaries fall; damage and refusals stop it.
#include <gtest/gtest.h>

#include "InflateTestHelpers.h"
#include "codec/GzipStream.h"

using namespace vantry;
using namespace inflatetest;

namespace {

// A gzip member made by zlib, optionally with every optional header field.
std::string GzipMember(const std::string &plain, bool withFields) {
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    gz_header header{};
    std::string extra = "XYZ-extra", name = "file-name.txt", comment = "a comment";
    if (withFields) {
        header.extra = reinterpret_cast<Bytef *>(extra.data());
        header.extra_len = static_cast<uInt>(extra.size());
        header.name = reinterpret_cast<Bytef *>(name.data());
        header.comment = reinterpret_cast<Bytef *>(comment.data());
        header.hcrc = 1;
        deflateSetHeader(&zs, &header);
    }
    std::string out(deflateBound(&zs, plain.size()) + 256, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.data()));
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string Mixed(size_t n) {
    std::string s;
    std::mt19937 rng(7);
    while (s.size() < n) {
        if (rng() % 3 == 0)
            s += "the same words again and again ";
        else
            s.push_back(static_cast<char>(rng()));
    }
    s.resize(n);
    return s;
}

// Feeds member in pieces of `piece` bytes; returns the stream's final state.
GzipStream::State FeedInPieces(GzipStream &gz, const std::string &member, size_t piece) {
    for (size_t at = 0; at < member.size(); at += piece) {
        size_t n = std::min(piece, member.size() - at);
        if (!gz.Feed(reinterpret_cast<const uint8_t *>(member.data() + at), n))
            break;
    }
    return gz.GetState();
}

} // namespace

TEST(GzipStream, DecodesAMemberFedInPiecesOfAnySize) {
    const std::string plain = Mixed(300000);
    for (bool fields : {false, true}) {
        const std::string member = GzipMember(plain, fields);
        for (size_t piece : {size_t(1), size_t(3), size_t(9), size_t(17), size_t(4096), member.size()}) {
            StringSink sink;
            GzipStream gz(sink);
            EXPECT_EQ(FeedInPieces(gz, member, piece), GzipStream::State::Done) << piece;
            EXPECT_TRUE(gz.Intact()) << "fields " << fields << " piece " << piece;
            EXPECT_EQ(sink.data, plain) << piece;
            EXPECT_EQ(gz.DecodedBytes(), plain.size());
        }
    }
}

TEST(GzipStream, TrailerMismatchOrTruncationIsNotIntact) {
    const std::string plain = Mixed(100000);
    std::string member = GzipMember(plain, false);
    std::string badCrc = member;
    badCrc[badCrc.size() - 8] ^= 1;
    std::string badLength = member;
    badLength[badLength.size() - 1] ^= 1;
    for (const std::string &damaged : {badCrc, badLength}) {
        StringSink sink;
        GzipStream gz(sink);
        EXPECT_EQ(FeedInPieces(gz, damaged, 1000), GzipStream::State::Done);
        EXPECT_FALSE(gz.Intact());
        EXPECT_EQ(sink.data, plain);
    }
    // Cut inside the DEFLATE data, then inside the trailer: what decoded came out, nothing is whole.
    for (size_t cut : {member.size() / 2, member.size() - 3}) {
        StringSink sink;
        GzipStream gz(sink);
        FeedInPieces(gz, member.substr(0, cut), 777);
        EXPECT_FALSE(gz.Intact()) << cut;
        EXPECT_EQ(plain.compare(0, sink.data.size(), sink.data), 0);
    }
    // A second member after the first is not decoded.
    StringSink sink;
    GzipStream gz(sink);
    FeedInPieces(gz, member + GzipMember("more", false), 5);
    EXPECT_TRUE(gz.Intact());
    EXPECT_EQ(sink.data, plain);
}

TEST(GzipStream, BadHeadersAndDataFailWithTheirReason) {
    struct Case {
        std::string bytes;
        GzipStream::Error error;
    } cases[] = {
        {"\x1f\x8c", GzipStream::Error::BadId},
        {"<html>", GzipStream::Error::BadId},
        {std::string("\x1f\x8b\x07", 3), GzipStream::Error::BadMethod},
        // A name field without its terminating zero, longer than any header is allowed to be.
        {std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03", 10) + std::string(70000, 'n'),
         GzipStream::Error::HeaderTooLarge},
        // DEFLATE block type 3 does not exist.
        {std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\x07\0\0\0\0\0\0\0\0", 19), GzipStream::Error::BadData},
    };
    for (const Case &c : cases) {
        StringSink sink;
        GzipStream gz(sink);
        EXPECT_EQ(FeedInPieces(gz, c.bytes, 1), GzipStream::State::Failed);
        EXPECT_EQ(gz.GetError(), c.error);
        EXPECT_STRNE(GzipStream::ErrorText(c.error), "");
        EXPECT_TRUE(sink.data.empty());
    }
}

TEST(GzipStream, ASinkThatRefusesStopsTheDecode) {
    const std::string plain = Mixed(200000);
    StringSink sink(50000);
    GzipStream gz(sink);
    EXPECT_EQ(FeedInPieces(gz, GzipMember(plain, false), 4096), GzipStream::State::Failed);
    EXPECT_EQ(gz.GetError(), GzipStream::Error::SinkRefused);
    EXPECT_LE(sink.data.size(), 50000u);
    EXPECT_EQ(plain.compare(0, sink.data.size(), sink.data), 0);
}
