// Charset conversion and gzip decoding from many threads at once. The code-page tables are built on first
// use, so these threads meet each page for the first time together (ctest runs each test in a process
// of its own): every thread must get the one shared table and the right bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "codec/CodePageTables.h"
#include "codec/EncodingConvert.h"
#include "codec/Gzip.h"
#include "codec/InflateTestHelpers.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "support/Concurrently.h"

using namespace vantry;
using testsupport::RunTogether;

namespace {

constexpr int kThreads = 8;

struct PageCase {
    int32_t codePage;
    const char *name; // the same page by one of its names
    std::string utf8;
    std::string bytes; // the text in the page
};

// Single-byte, multi-byte and ISO-2022 pages (the last one built on the 932 table).
const std::vector<PageCase> &Pages() {
    static const std::vector<PageCase> pages = {
        {1252, "windows-1252", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D",
         "caf\xE9 \x80 \x93q\x94"},
        {1251, "windows-1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
         "\xCF\xF0\xE8\xE2\xE5\xF2"},
        {1253, "windows-1253", "\xCE\x93\xCE\xB5\xCE\xB9\xCE\xAC", "\xC3\xE5\xE9\xDC"},
        {437, "ibm437", "\xC3\x87 \xC3\xBC", "\x80 \x81"},
        {737, "ibm737", "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1", "\x97\xA3\xE2\x9A\x98"},
        {866, "cp866", "\xD0\x9C\xD0\xB8\xD1\x80", "\x8C\xA8\xE0"},
        {20866, "koi8-r", "\xD0\x9C\xD0\xB8\xD1\x80", "\xED\xC9\xD2"},
        {28592, "iso-8859-2", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xA3\xF3\x64\xBC"},
        {932, "shift_jis", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\x93\xFA\x96\x7B\x8C\xEA"},
        {936, "gb2312", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
        {949, "ks_c_5601-1987", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", "\xC7\xD1\xB1\xB9\xBE\xEE"},
        {950, "big5", "\xE4\xB8\xAD\xE6\x96\x87", "\xA4\xA4\xA4\xE5"},
        {50220, "iso-2022-jp", "\xE6\x97\xA5\xE6\x9C\xAC", "\x1B$BF|K\\\x1B(B"},
    };
    return pages;
}

std::string Text(const DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

std::string Convert(int32_t from, int32_t to, const std::string &in, bool *ok) {
    EncodingConvert c;
    DataBuffer out;
    LogNull log;
    *ok = c.Convert(from, to, in.data(), static_cast<uint32_t>(in.size()), out, log);
    return Text(out);
}

} // namespace

TEST(CodePageConcurrency, ThreadsMeetingPagesFirstTogetherShareOneTable) {
    const std::vector<int32_t> singles = {1250, 1254, 1255, 1256, 1257, 1258, 850, 852, 855, 857, 860, 869};
    const std::vector<int32_t> multis = {932, 936, 949, 950, 1361, 51949};
    std::vector<std::vector<const void *>> seen(kThreads);
    RunTogether(kThreads, [&](int t) {
        std::vector<const void *> &mine = seen[static_cast<size_t>(t)];
        mine.resize(singles.size() + multis.size());
        // Half the threads walk the pages forwards, half backwards, so each page is met by several at once.
        for (size_t k = 0; k < mine.size(); ++k) {
            size_t i = t % 2 == 0 ? k : mine.size() - 1 - k;
            mine[i] = i < singles.size()
                          ? static_cast<const void *>(CodePageTables::SingleByte(singles[i]))
                          : static_cast<const void *>(CodePageTables::MultiByte(multis[i - singles.size()]));
        }
    });
    for (size_t i = 0; i < seen[0].size(); ++i) {
        EXPECT_NE(seen[0][i], nullptr) << "page #" << i;
        for (int t = 1; t < kThreads; ++t)
            EXPECT_EQ(seen[static_cast<size_t>(t)][i], seen[0][i]) << "page #" << i << ", thread " << t;
    }
    // Asking again gives the table already built.
    EXPECT_EQ(static_cast<const void *>(CodePageTables::SingleByte(1250)), seen[0][0]);
    EXPECT_GT(CodePageTables::MemoryUsed(), 0u);
}

TEST(CodePageConcurrency, ConversionsOnManyThreadsGiveTheBytesOfEachPage) {
    std::vector<std::vector<std::string>> problems(kThreads);
    RunTogether(kThreads, [&](int t) {
        std::vector<std::string> &mine = problems[static_cast<size_t>(t)];
        const auto &pages = Pages();
        for (int round = 0; round < 20; ++round) {
            for (size_t k = 0; k < pages.size(); ++k) {
                const PageCase &p = pages[(k + static_cast<size_t>(t) * 3) % pages.size()];
                bool encoded = false, decoded = false, byName = false;
                std::string bytes = Convert(65001, p.codePage, p.utf8, &encoded);
                std::string back = Convert(p.codePage, 65001, p.bytes, &decoded);
                EncodingConvert named;
                DataBuffer out;
                LogNull log;
                byName = named.ConvertByName(p.name, "utf-8", p.bytes.data(),
                                             static_cast<uint32_t>(p.bytes.size()), out, log);
                if (!encoded || bytes != p.bytes)
                    mine.push_back(std::string("to ") + p.name);
                if (!decoded || back != p.utf8)
                    mine.push_back(std::string("from ") + p.name);
                if (!byName || Text(out) != p.utf8)
                    mine.push_back(std::string("by name from ") + p.name);
            }
        }
    });
    for (int t = 0; t < kThreads; ++t) {
        std::set<std::string> distinct(problems[static_cast<size_t>(t)].begin(),
                                       problems[static_cast<size_t>(t)].end());
        for (const std::string &p : distinct)
            ADD_FAILURE() << "thread " << t << ": wrong conversion " << p;
    }
}

TEST(InflateConcurrency, GzipBodiesDecodeOnManyThreadsAtOnce) {
    // Texts of different shapes (stored, fixed and dynamic blocks), compressed by zlib beforehand.
    std::vector<std::string> plain, gz;
    for (int i = 0; i < kThreads; ++i) {
        std::string text;
        if (i % 3 == 0)
            text = inflatetest::RealText(200000 + static_cast<size_t>(i) * 1000);
        else if (i % 3 == 1)
            for (int line = 0; line < 5000; ++line)
                text += "line " + std::to_string(line * (i + 1)) + " of thread " + std::to_string(i) + "\n";
        else
            text = std::string(100000, static_cast<char>('a' + i));
        plain.push_back(text);
        gz.push_back(inflatetest::ZCompress(text, i % 3 == 0 ? 0 : 9, Z_DEFAULT_STRATEGY, 31));
    }
    std::vector<int> wrong(kThreads, 0);
    RunTogether(kThreads, [&](int t) {
        for (int round = 0; round < 6; ++round) {
            // Every thread decodes every body, starting from a different one.
            for (int k = 0; k < kThreads; ++k) {
                size_t i = static_cast<size_t>((t + k) % kThreads);
                DataBuffer in, out;
                in.Append(gz[i].data(), static_cast<uint32_t>(gz[i].size()));
                LogNull log;
                if (!Gzip().Decompress(in, out, log) || Text(out) != plain[i])
                    ++wrong[static_cast<size_t>(t)];
            }
        }
    });
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
}
