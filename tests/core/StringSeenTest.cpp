// Tests of StringSeen: the two MD5-derived values, the bucket and array rules, N = 1, memory formula.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/StringBuffer.h"
#include "core/StringSeen.h"

using namespace vantry;

namespace {

std::string Name(int i) {
    return "host" + std::to_string(i) + ".example";
}

// Reference model of the bucket rules with ordinary containers.
class Model {
public:
    explicit Model(uint32_t n) : m_n(n), m_buckets(n) {}
    bool Insert(uint32_t v) {
        auto &b = m_buckets[v % m_n];
        for (uint32_t x : b)
            if (x == v)
                return false;
        // A second value goes after the first; later ones go in front.
        if (b.size() == 1)
            b.push_back(v);
        else
            b.insert(b.begin(), v);
        return true;
    }
    bool Has(uint32_t v) const {
        for (uint32_t x : m_buckets[v % m_n])
            if (x == v)
                return true;
        return false;
    }
    size_t Size(uint32_t b) const { return m_buckets[b].size(); }

private:
    uint32_t m_n;
    std::vector<std::vector<uint32_t>> m_buckets;
};

TEST(StringSeen, ValuesAreTheFirstTwoLittleEndianWordsOfTheMd5Digest) {
    const std::string text = "Example.COM";
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(text.data(), text.size(), d, &n, EVP_md5(), nullptr);
    uint32_t h1 = 0, h2 = 0;
    StringSeen::HashValues(text.data(), text.size(), &h1, &h2);
    EXPECT_EQ(h1, d[0] | d[1] << 8 | d[2] << 16 | static_cast<uint32_t>(d[3]) << 24);
    EXPECT_EQ(h2, d[4] | d[5] << 8 | d[6] << 16 | static_cast<uint32_t>(d[7]) << 24);
}

TEST(StringSeen, AddThenContainsAndSecondAddIsFalse) {
    StringSeen seen(51001);
    StringBuffer a("example.com"), b("Example.com");
    EXPECT_FALSE(seen.Contains(a));
    EXPECT_TRUE(seen.Add(a));
    EXPECT_TRUE(seen.Contains(a));
    EXPECT_FALSE(seen.Contains(b)); // case differs: another text
    EXPECT_FALSE(seen.Add(a));
    EXPECT_TRUE(seen.Add(b));
    StringBuffer empty("");
    EXPECT_TRUE(seen.Add(empty));
    EXPECT_FALSE(seen.Add(empty));
}

TEST(StringSeen, SingleBucketHoldsEverythingCorrectly) {
    StringSeen seen(1);
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(seen.Add(StringBuffer(Name(i).c_str()))) << i;
    EXPECT_EQ(seen.BucketValueCount(0), 4000u);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(seen.Contains(StringBuffer(Name(i).c_str())));
        ASSERT_FALSE(seen.Add(StringBuffer(Name(i).c_str())));
    }
    for (int i = 2000; i < 2200; ++i)
        EXPECT_FALSE(seen.Contains(StringBuffer(Name(i).c_str())));
    EXPECT_EQ(seen.BytesHeld(), 8u + 4000u * 4);
}

TEST(StringSeen, BucketsMatchAReferenceModelOverManySmallTables) {
    for (uint32_t n : {2u, 3u, 7u, 64u, 1009u}) {
        StringSeen seen(n);
        Model model(n);
        for (int i = 0; i < 3000; ++i) {
            // Every third text repeats an earlier one.
            const std::string text = Name(i % 3 == 2 ? i / 2 : i);
            uint32_t h1, h2;
            StringSeen::HashValues(text.data(), text.size(), &h1, &h2);
            const bool new1 = model.Insert(h1);
            const bool new2 = model.Insert(h2);
            ASSERT_EQ(seen.Add(StringBuffer(text.c_str())), new1 && new2) << n << " " << i;
        }
        size_t inArrays = 0;
        for (uint32_t b = 0; b < n; ++b) {
            ASSERT_EQ(seen.BucketValueCount(b), model.Size(b));
            if (model.Size(b) >= 2)
                inArrays += model.Size(b);
        }
        EXPECT_EQ(seen.BytesHeld(), 8u * n + 4 * inArrays);
        for (int i = 0; i < 4000; ++i) {
            const std::string text = Name(i);
            uint32_t h1, h2;
            StringSeen::HashValues(text.data(), text.size(), &h1, &h2);
            ASSERT_EQ(seen.Contains(StringBuffer(text.c_str())), model.Has(h1) && model.Has(h2));
        }
    }
}

TEST(StringSeen, SecondValueIsEnteredEvenWhenTheFirstWasPresent) {
    // Two texts whose first values collide (found by a birthday search).
    std::unordered_map<uint32_t, int> firstValues;
    int a = -1, b = -1;
    for (int i = 0; i < 2000000 && b < 0; ++i) {
        const std::string text = Name(i);
        uint32_t h1, h2;
        StringSeen::HashValues(text.data(), text.size(), &h1, &h2);
        auto [it, inserted] = firstValues.emplace(h1, i);
        if (!inserted) {
            a = it->second;
            b = i;
        }
    }
    ASSERT_GE(b, 0);
    StringSeen seen(531001);
    EXPECT_TRUE(seen.Add(StringBuffer(Name(a).c_str())));
    EXPECT_FALSE(seen.Contains(StringBuffer(Name(b).c_str())));
    EXPECT_FALSE(seen.Add(StringBuffer(Name(b).c_str()))); // first value already present
    EXPECT_TRUE(seen.Contains(StringBuffer(Name(b).c_str())));
}

TEST(StringSeen, ZeroBucketsIsTakenAsOne) {
    StringSeen seen(0);
    EXPECT_EQ(seen.BucketCount(), 1u);
    EXPECT_TRUE(seen.Add(StringBuffer("x")));
    EXPECT_TRUE(seen.Contains(StringBuffer("x")));
}

TEST(StringSeen, MemoryStartsAtEightBytesABucket) {
    StringSeen seen(531001);
    EXPECT_EQ(seen.BytesHeld(), 8u * 531001);
    EXPECT_EQ(seen.BytesReserved(), 8u * 531001);
}

} // namespace
