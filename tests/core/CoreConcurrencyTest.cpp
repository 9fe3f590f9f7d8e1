// The core types from many threads at once: serial numbers stay distinct, digests and text types keep no
// state between calls, and each thread draws temporary names from a generator of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/ClsStringArray.h"
#include "core/ContentCoding.h"
#include "core/Crc32.h"
#include "core/ExtPtrArray.h"
#include "core/FileSys.h"
#include "core/Md5.h"
#include "core/StringBuffer.h"
#include "core/VantryObject.h"
#include "support/Concurrently.h"
#include "support/TestSupport.h"

using namespace vantry;
using testsupport::RunTogether;

namespace {

constexpr int kThreads = 8;

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 7)) & 0xFF);
    return s;
}

std::array<uint8_t, 16> Md5Of(const std::string &s) {
    std::array<uint8_t, 16> d{};
    Md5::Digest(s.data(), s.size(), d.data());
    return d;
}

} // namespace

TEST(ObjectConcurrency, SerialNumbersStayDistinctWhenThreadsConstructAtOnce) {
    constexpr int kPerThread = 20000;
    std::vector<std::vector<uint32_t>> serials(kThreads);
    RunTogether(kThreads, [&](int t) {
        std::vector<uint32_t> &mine = serials[static_cast<size_t>(t)];
        mine.reserve(kPerThread);
        ExtPtrArray held; // owned objects, as containers hold them
        for (int i = 0; i < kPerThread; ++i) {
            if (i % 2 == 0) {
                VantryInt *v = new VantryInt(i);
                mine.push_back(v->SerialNumber);
                held.Append(v);
            } else {
                VantryObject plain;
                mine.push_back(plain.SerialNumber);
            }
        }
    });
    std::vector<uint32_t> all;
    for (const auto &mine : serials) {
        // One thread's objects are numbered in the order it made them.
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "two objects share a serial number";
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads) * kPerThread);
}

TEST(ObjectConcurrency, DigestsAndEncodingsOnManyThreadsMatchOneThread) {
    // Lengths around the block sizes of MD5 (64) and of the CRC's wide path, and one long input.
    const std::vector<size_t> lengths = {0, 1, 55, 56, 63, 64, 65, 255, 1000, 4096, 70001};
    std::vector<std::string> inputs;
    std::vector<std::array<uint8_t, 16>> md5;
    std::vector<uint32_t> crc;
    std::vector<std::string> base64;
    for (size_t i = 0; i < lengths.size(); ++i) {
        inputs.push_back(Pattern(lengths[i], static_cast<unsigned>(i)));
        md5.push_back(Md5Of(inputs.back()));
        crc.push_back(Crc32::Compute(inputs.back().data(), inputs.back().size()));
        StringBuffer b64;
        ContentCoding().EncodeBase64(inputs.back().data(), static_cast<uint32_t>(inputs.back().size()), b64);
        base64.push_back(b64.Text());
    }
    std::vector<int> mismatches(kThreads, 0);
    RunTogether(kThreads, [&](int t) {
        for (int round = 0; round < 30; ++round) {
            for (size_t k = 0; k < inputs.size(); ++k) {
                size_t i = (k + static_cast<size_t>(t)) % inputs.size(); // threads start on different inputs
                const std::string &in = inputs[i];
                // MD5 fed in pieces as well as in one call.
                Md5 pieces;
                std::array<uint8_t, 16> d{};
                for (size_t at = 0; at < in.size(); at += 37)
                    pieces.Update(in.data() + at, std::min<size_t>(37, in.size() - at));
                pieces.Final(d.data());
                StringBuffer b64;
                ContentCoding().EncodeBase64(in.data(), static_cast<uint32_t>(in.size()), b64);
                if (Md5Of(in) != md5[i] || d != md5[i] || Crc32::Compute(in.data(), in.size()) != crc[i] ||
                    base64[i] != b64.Text())
                    ++mismatches[static_cast<size_t>(t)];
            }
        }
    });
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
}

TEST(ObjectConcurrency, StringListsBuiltOnManyThreadsKeepTheirOwnEntries) {
    std::vector<int> wrong(kThreads, 0);
    RunTogether(kThreads, [&](int t) {
        for (int round = 0; round < 200; ++round) {
            ClsStringArray list;
            list.SetUnique(true);
            for (int i = 0; i < 50; ++i) {
                std::string s = "t" + std::to_string(t) + "-" + std::to_string(i % 25);
                list.Append(s.c_str());
            }
            StringBuffer last;
            if (list.Count() != 25 || !list.GetString(24, last) ||
                last.Text() != "t" + std::to_string(t) + "-24")
                ++wrong[static_cast<size_t>(t)];
        }
    });
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
}

TEST(TempNameConcurrency, ThreadsStartingTogetherDrawDifferentNames) {
    testsupport::TempDir dir;
    constexpr int kNames = 40;
    std::vector<std::vector<std::string>> names(kThreads);
    RunTogether(kThreads, [&](int t) {
        for (int i = 0; i < kNames; ++i) {
            StringBuffer out;
            FileSys::MakeTempFileName(dir.Path().c_str(), "part.dat", out);
            names[static_cast<size_t>(t)].push_back(out.Text());
        }
    });
    const std::regex form(dir.Path() + "/part_[A-Z0-9]{4}\\.dat");
    std::set<std::vector<std::string>> sequences;
    for (const auto &mine : names) {
        for (const std::string &n : mine)
            EXPECT_TRUE(std::regex_match(n, form)) << n;
        sequences.insert(mine);
    }
    // Generators seeded alike would give every thread the same sequence of names.
    EXPECT_EQ(sequences.size(), static_cast<size_t>(kThreads));
}
