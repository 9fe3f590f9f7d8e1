// Tests of InflateState2, the raw DEFLATE decoder: agreement with zlib on valid, truncated and
// corrupt streams, resumption across input splits, hand-made bad streams, and the sink contract.
#include <gtest/gtest.h>

#include "InflateTestHelpers.h"

using namespace vantry;

using namespace inflatetest;
using Status = InflateState2::Status;

namespace {

// Writes DEFLATE bit streams by hand: plain fields least significant bit first, Huffman codes
// most significant bit first.
class BitWriter {
public:
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            m_acc |= ((value >> i) & 1u) << m_n;
            if (++m_n == 8)
                FlushByte();
        }
    }
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i)
            Bits((code >> i) & 1u, 1);
    }
    void AlignToByte() {
        if (m_n > 0)
            FlushByte();
    }
    void Byte(uint8_t b) { Bits(b, 8); }
    std::string Finish() {
        AlignToByte();
        return m_out;
    }

private:
    void FlushByte() {
        m_out += static_cast<char>(m_acc);
        m_acc = 0;
        m_n = 0;
    }
    std::string m_out;
    uint32_t m_acc = 0;
    int m_n = 0;
};

// Canonical codes for a set of code lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<int> &lens) {
    int count[16] = {}, next[16] = {};
    for (int l : lens)
        count[l]++;
    count[0] = 0;
    int code = 0;
    for (int l = 1; l < 16; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<uint32_t> codes(lens.size());
    for (size_t s = 0; s < lens.size(); ++s)
        if (lens[s])
            codes[s] = next[lens[s]]++;
    return codes;
}

void FixedLiteral(BitWriter &bw, uint32_t sym) {
    if (sym < 144)
        bw.Code(0x30 + sym, 8);
    else if (sym < 256)
        bw.Code(0x190 + sym - 144, 9);
    else if (sym < 280)
        bw.Code(sym - 256, 7);
    else
        bw.Code(0xC0 + sym - 280, 8);
}

// A dynamic block header whose code-length section is written as given: pairs of (precode symbol,
// extra-bit value). The precode gives every one of its 19 symbols a code (complete set).
void DynamicHeader(BitWriter &bw, bool final, int hlit, int hdist,
                   const std::vector<std::pair<int, int>> &lengthOps) {
    bw.Bits(final ? 1 : 0, 1);
    bw.Bits(2, 2);
    bw.Bits(hlit - 257, 5);
    bw.Bits(hdist - 1, 5);
    bw.Bits(19 - 4, 4);
    std::vector<int> pre(19, 4);
    for (int s : {13, 14, 15, 16, 17, 18})
        pre[s] = 5;
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int i = 0; i < 19; ++i)
        bw.Bits(pre[order[i]], 3);
    auto codes = CanonicalCodes(pre);
    for (auto [sym, extra] : lengthOps) {
        bw.Code(codes[sym], pre[sym]);
        if (sym == 16)
            bw.Bits(extra, 2);
        else if (sym == 17)
            bw.Bits(extra, 3);
        else if (sym == 18)
            bw.Bits(extra, 7);
    }
}

std::vector<std::pair<int, int>> PlainOps(const std::vector<int> &lens) {
    std::vector<std::pair<int, int>> ops;
    for (int l : lens)
        ops.push_back({l, 0});
    return ops;
}

Status Decode(const std::string &stream, std::string &out) {
    Status st;
    out = OurInflate(stream, 0, &st);
    return st;
}

} // namespace

TEST(Inflate, MatchesZlibAtEveryLevelAndStrategy) {
    const std::string real = RealText(300000);
    const std::vector<std::string> inputs = {"",
                                             "a",
                                             RandomBytes(7, 1),
                                             RandomText(100, 2),
                                             RandomText(5000, 3),
                                             RandomBytes(200000, 4),
                                             RandomText(300000, 5),
                                             real,
                                             real.substr(0, 1000)};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (size_t i = 0; i < inputs.size(); ++i) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                const std::string comp = ZCompress(inputs[i], level, strategy);
                Status st;
                const std::string out = OurInflate(comp, 0, &st);
                ASSERT_EQ(st, Status::Done)
                    << "input " << i << " level " << level << " strategy " << strategy;
                ASSERT_TRUE(out == inputs[i])
                    << "input " << i << " level " << level << " strategy " << strategy;
            }
        }
    }
}

TEST(Inflate, LargeInputsAndSmallMemLevelsMatchZlib) {
    const std::string text = RealText(3 << 20);
    for (int level : {1, 6, 9}) {
        for (int memLevel : {1, 9}) {
            const std::string comp = ZCompress(text, level, Z_DEFAULT_STRATEGY, -15, memLevel);
            ASSERT_TRUE(OurInflate(comp) == text) << "level " << level << " memLevel " << memLevel;
        }
    }
    const std::string runs = std::string(1 << 20, 'x') + RandomBytes(1 << 20, 8) + std::string(70000, 'y');
    ASSERT_TRUE(OurInflate(ZCompress(runs, 9, Z_RLE)) == runs);
    ASSERT_TRUE(OurInflate(ZCompress(runs, 0)) == runs);
}

TEST(Inflate, ResumesAcrossAnySplitOfTheInput) {
    const std::string text = RandomText(150000, 11);
    for (int level : {0, 1, 6}) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
            const std::string comp = ZCompress(text, level, strategy);
            for (size_t chunk : {1, 2, 3, 7, 13, 100, 4097}) {
                Status st;
                ASSERT_TRUE(OurInflate(comp, chunk, &st) == text) << level << " " << strategy << " " << chunk;
                ASSERT_EQ(st, Status::Done);
            }
        }
    }
}

TEST(Inflate, TruncatedStreamsDeliverWhatZlibDecodes) {
    const std::string text = RandomText(70000, 12);
    std::mt19937 rng(5);
    for (int level : {0, 6}) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
            const std::string comp = ZCompress(text, level, strategy);
            for (int k = 0; k < 150; ++k) {
                const size_t cut = k < 40 ? k : rng() % comp.size();
                const std::string part = comp.substr(0, cut);
                Status st;
                const std::string out = OurInflate(part, 0, &st);
                ASSERT_EQ(st, Status::InProgress) << cut;
                ASSERT_TRUE(out == ZDecompress(part)) << "level " << level << " cut " << cut;
            }
        }
    }
}

TEST(Inflate, CorruptStreamsDeliverWhatZlibDecodesAndStop) {
    const std::vector<std::string> comps = {
        ZCompress(RandomText(20000, 21), 6), ZCompress(RandomText(20000, 22), 6, Z_FIXED),
        ZCompress(RandomText(3000, 23), 0), ZCompress(RealText(50000), 9), ZCompress(RandomText(300, 24), 9)};
    std::mt19937 rng(7);
    int bad = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string s = comps[round % comps.size()];
        const int flips = 1 + rng() % 3;
        for (int f = 0; f < flips; ++f)
            s[rng() % std::min<size_t>(s.size(), round % 2 ? 40 : s.size())] ^=
                static_cast<char>(1 + rng() % 255);
        bool zok = false;
        const std::string expected = ZDecompress(s, -15, &zok);
        Status st;
        const std::string out = OurInflate(s, round % 5 == 0 ? 1 + rng() % 50 : 0, &st);
        ASSERT_TRUE(out == expected) << "round " << round << " ours " << out.size() << " zlib "
                                     << expected.size();
        ASSERT_EQ(st == Status::Done, zok) << "round " << round;
        bad += st == Status::BadData;
    }
    EXPECT_GT(bad, 1000);
}

TEST(Inflate, BadBlockHeadersStopTheDecode) {
    std::string out;
    {
        BitWriter bw; // first block of type 3
        bw.Bits(1, 1);
        bw.Bits(3, 2);
        EXPECT_EQ(Decode(bw.Finish() + std::string(20, '\0'), out), Status::BadData);
        EXPECT_EQ(out, "");
    }
    {
        BitWriter bw; // stored block whose length complement is wrong
        bw.Bits(1, 1);
        bw.Bits(0, 2);
        bw.AlignToByte();
        bw.Bits(5, 16);
        bw.Bits(5, 16);
        EXPECT_EQ(Decode(bw.Finish() + "hello", out), Status::BadData);
        EXPECT_EQ(out, "");
    }
    {
        BitWriter bw; // a good stored block, then type 3: the stored bytes still reach the sink
        bw.Bits(0, 1);
        bw.Bits(0, 2);
        bw.AlignToByte();
        bw.Bits(5, 16);
        bw.Bits(0xFFFF ^ 5, 16);
        for (char c : std::string("hello"))
            bw.Byte(c);
        bw.Bits(1, 1);
        bw.Bits(3, 2);
        const std::string s = bw.Finish();
        EXPECT_EQ(Decode(s, out), Status::BadData);
        EXPECT_EQ(out, "hello");
        EXPECT_EQ(out, ZDecompress(s));
    }
}

TEST(Inflate, BadCodeSetsStopTheDecode) {
    std::string out;
    auto lens = [](std::initializer_list<std::pair<int, int>> set, int n) {
        std::vector<int> v(n, 0);
        for (auto [sym, len] : set)
            v[sym] = len;
        return v;
    };
    struct Case {
        const char *what;
        int hlit, hdist;
        std::vector<std::pair<int, int>> ops;
        Status expected;
    };
    std::vector<int> allOnes(257, 1);
    std::vector<std::pair<int, int>> ones = PlainOps(allOnes);
    ones.push_back({1, 0});
    std::vector<std::pair<int, int>> singleEob = PlainOps(lens({{256, 1}}, 257));
    singleEob.push_back({0, 0});
    std::vector<std::pair<int, int>> twoOfTwo = PlainOps(lens({{65, 2}, {256, 2}}, 257));
    twoOfTwo.push_back({1, 0});
    std::vector<std::pair<int, int>> noEob = PlainOps(lens({{65, 1}, {66, 1}}, 257));
    noEob.push_back({1, 0});
    std::vector<std::pair<int, int>> distOver = PlainOps(lens({{65, 1}, {256, 1}}, 257));
    distOver.push_back({1, 0});
    distOver.push_back({1, 0});
    distOver.push_back({1, 0});
    const std::vector<Case> cases = {
        {"over-subscribed literal/length code", 257, 1, ones, Status::BadData},
        {"incomplete literal/length code", 257, 1, twoOfTwo, Status::BadData},
        {"missing end-of-block code", 257, 1, noEob, Status::BadData},
        {"over-subscribed distance code", 257, 3, distOver, Status::BadData},
        {"repeat past the end", 257, 1, {{18, 127}, {18, 127}, {18, 0}}, Status::BadData},
        {"repeat with nothing before it", 257, 1, {{16, 0}}, Status::BadData},
        {"too many literal/length codes", 287, 1, {{18, 127}}, Status::BadData},
        {"too many distance codes", 257, 31, {{18, 127}}, Status::BadData},
        {"one one-bit code is a valid set", 257, 1, singleEob, Status::Done},
    };
    for (const auto &c : cases) {
        BitWriter bw;
        DynamicHeader(bw, true, c.hlit, c.hdist, c.ops);
        if (c.expected == Status::Done)
            bw.Code(0, 1); // the end-of-block code
        const std::string s = bw.Finish() + std::string(8, '\0');
        EXPECT_EQ(Decode(s, out), c.expected) << c.what;
        EXPECT_EQ(out, "") << c.what;
        bool zok = false;
        ZDecompress(s, -15, &zok);
        EXPECT_EQ(zok, c.expected == Status::Done) << c.what;
    }
}

TEST(Inflate, DistancesBeyondTheDecodedDataStopTheDecode) {
    std::string out;
    {
        BitWriter bw; // "a", then a match two bytes back
        bw.Bits(1, 1);
        bw.Bits(1, 2);
        FixedLiteral(bw, 'a');
        FixedLiteral(bw, 257);
        bw.Code(1, 5); // distance 2
        const std::string s = bw.Finish() + std::string(8, '\0');
        EXPECT_EQ(Decode(s, out), Status::BadData);
        EXPECT_EQ(out, "a");
    }
    // 32767 stored bytes cannot serve a distance of 32768; 40000 can.
    for (uint32_t have : {32767u, 40000u}) {
        BitWriter bw;
        const std::string data = RandomBytes(have, 3);
        uint32_t pos = 0;
        while (pos < have) {
            const uint32_t n = std::min<uint32_t>(65535, have - pos);
            bw.Bits(0, 1);
            bw.Bits(0, 2);
            bw.AlignToByte();
            bw.Bits(n, 16);
            bw.Bits(0xFFFF ^ n, 16);
            for (uint32_t i = 0; i < n; ++i)
                bw.Byte(data[pos + i]);
            pos += n;
        }
        bw.Bits(1, 1);
        bw.Bits(1, 2);
        FixedLiteral(bw, 285); // length 258
        bw.Code(29, 5);
        bw.Bits(8191, 13); // distance 32768
        FixedLiteral(bw, 256);
        const std::string s = bw.Finish();
        const Status st = Decode(s, out);
        EXPECT_EQ(out, ZDecompress(s));
        if (have < 32768) {
            EXPECT_EQ(st, Status::BadData);
            EXPECT_EQ(out, data);
        } else {
            EXPECT_EQ(st, Status::Done);
            EXPECT_EQ(out, data + data.substr(have - 32768, 258));
        }
    }
}

TEST(Inflate, UnusedFixedCodesStopTheDecode) {
    std::string out;
    for (bool badDistance : {false, true}) {
        BitWriter bw;
        bw.Bits(1, 1);
        bw.Bits(1, 2);
        FixedLiteral(bw, 'x');
        FixedLiteral(bw, 'y');
        if (badDistance) {
            FixedLiteral(bw, 257);
            bw.Code(30, 5);
        } else {
            FixedLiteral(bw, 286);
        }
        const std::string s = bw.Finish() + std::string(8, '\0');
        EXPECT_EQ(Decode(s, out), Status::BadData);
        EXPECT_EQ(out, "xy");
    }
}

TEST(Inflate, SinkGetsWindowSpansAndStopsAtItsLimit) {
    const std::string text = RandomText(200000, 31);
    const std::string comp = ZCompress(text, 6);
    {
        StringSink sink;
        OurInflate(comp, 0, nullptr, &sink);
        ASSERT_TRUE(sink.data == text);
        for (uint32_t span : sink.spans)
            EXPECT_LE(span, 32768u);
    }
    {
        StringSink exact(static_cast<uint32_t>(text.size()));
        Status st;
        OurInflate(comp, 0, &st, &exact);
        EXPECT_EQ(st, Status::Done);
        EXPECT_TRUE(exact.data == text);
    }
    for (uint32_t limit : {0u, 100u, 32768u, 100000u, 199999u}) {
        StringSink limited(limit);
        Status st;
        OurInflate(comp, 0, &st, &limited);
        EXPECT_EQ(st, Status::SinkFull) << limit;
        EXPECT_LE(limited.data.size(), limit);
        EXPECT_TRUE(limited.data == text.substr(0, limited.data.size()));
    }
}

TEST(Inflate, IgnoresInputAfterTheFinalBlock) {
    const std::string comp = ZCompress("hello hello hello", 6);
    InflateState2 inf;
    StringSink sink;
    inf.SetSink(&sink);
    const std::string twice = comp + comp;
    inf.Inflate(reinterpret_cast<const uint8_t *>(twice.data()), static_cast<uint32_t>(twice.size()));
    inf.Inflate(reinterpret_cast<const uint8_t *>(comp.data()), static_cast<uint32_t>(comp.size()));
    EXPECT_EQ(inf.GetStatus(), Status::Done);
    EXPECT_EQ(sink.data, "hello hello hello");
    EXPECT_EQ(inf.TotalOut(), 17u);
}
