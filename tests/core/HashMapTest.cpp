// Tests of HashMap, CK_List and NamedObject: bucket choice, collisions, replacement, removal, ownership.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/CK_List.h"
#include "core/HashMap.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {

class Tracked : public VantryObject {
public:
    explicit Tracked(int *deaths) : m_deaths(deaths) {}
    ~Tracked() override { ++*m_deaths; }

private:
    int *m_deaths;
};

// The bucket rule computed with the reference digests: zlib crc32 of OpenSSL's MD5, mod the count.
uint32_t ReferenceBucket(const std::string &key, uint32_t buckets) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(key.data(), key.size(), digest, &n, EVP_md5(), nullptr);
    return static_cast<uint32_t>(crc32(0, digest, n)) % buckets;
}

TEST(HashMap, BucketIsCrc32OfTheMd5DigestModTheCount) {
    HashMap map(499);
    for (const std::string &key :
         std::vector<std::string>{"", "a", "example.com", "Example.com", std::string(300, 'x')})
        EXPECT_EQ(map.BucketFor(key.data(), static_cast<uint32_t>(key.size())), ReferenceBucket(key, 499))
            << key;
}

TEST(HashMap, PutLookupContainsAreExactAndCaseSensitive) {
    HashMap map(400);
    map.Put(StringBuffer("Key"), new VantryInt(1));
    map.Put(StringBuffer("key"), new VantryInt(2));
    EXPECT_EQ(static_cast<VantryInt *>(map.Lookup(StringBuffer("Key")))->value, 1);
    EXPECT_EQ(static_cast<VantryInt *>(map.Lookup("key"))->value, 2);
    EXPECT_TRUE(map.Contains("Key"));
    EXPECT_FALSE(map.Contains("KEY"));
    EXPECT_FALSE(map.Contains("Ke"));
    EXPECT_FALSE(map.Contains("Keys"));
    EXPECT_FALSE(map.Contains(nullptr));
    EXPECT_EQ(map.Lookup(static_cast<const char *>(nullptr)), nullptr);
}

TEST(HashMap, CollisionsInOneBucketKeepEveryEntryInInsertionOrder) {
    HashMap map(1);
    for (int i = 0; i < 50; ++i)
        map.Put(StringBuffer(("k" + std::to_string(i)).c_str()), new VantryInt(i));
    EXPECT_EQ(map.Bucket(0).Count(), 50);
    int i = 0;
    for (CK_ListItem *item = map.Bucket(0).Head(); item != nullptr; item = item->next, ++i)
        EXPECT_STREQ(item->object->key.Text(), ("k" + std::to_string(i)).c_str());
    for (int j = 0; j < 50; ++j)
        EXPECT_EQ(static_cast<VantryInt *>(map.Lookup(("k" + std::to_string(j)).c_str()))->value, j);

    // Removal from the head, the middle and the tail keeps the chain intact.
    map.Remove(StringBuffer("k0"));
    map.Remove(StringBuffer("k25"));
    map.Remove(StringBuffer("k49"));
    map.Remove(StringBuffer("absent"));
    EXPECT_EQ(map.Bucket(0).Count(), 47);
    EXPECT_STREQ(map.Bucket(0).Head()->object->key.Text(), "k1");
    EXPECT_STREQ(map.Bucket(0).Tail()->object->key.Text(), "k48");
    EXPECT_EQ(map.Bucket(0).Tail()->next, nullptr);
    EXPECT_EQ(map.Bucket(0).Head()->prev, nullptr);
    EXPECT_FALSE(map.Contains("k25"));
    EXPECT_TRUE(map.Contains("k24"));
    EXPECT_TRUE(map.Contains("k26"));
    int walked = 0;
    for (CK_ListItem *item = map.Bucket(0).Tail(); item != nullptr; item = item->prev)
        ++walked;
    EXPECT_EQ(walked, 47);
}

TEST(HashMap, TwoBucketsSpreadKeysByTheRule) {
    HashMap map(2);
    int inBucket[2] = {0, 0};
    for (int i = 0; i < 40; ++i) {
        const std::string key = "name" + std::to_string(i);
        map.AddKey(key.c_str());
        ++inBucket[ReferenceBucket(key, 2)];
    }
    EXPECT_EQ(map.Bucket(0).Count(), inBucket[0]);
    EXPECT_EQ(map.Bucket(1).Count(), inBucket[1]);
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(map.Contains(("name" + std::to_string(i)).c_str()));
}

TEST(HashMap, PutReplacesTheValueAndDeletesTheOldOneUnlessItIsTheSame) {
    int deaths = 0;
    HashMap map(3);
    Tracked *first = new Tracked(&deaths);
    map.Put(StringBuffer("k"), first);
    map.Put(StringBuffer("k"), first);
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(map.Lookup("k"), first);
    Tracked *second = new Tracked(&deaths);
    map.Put(StringBuffer("k"), second);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(map.Lookup("k"), second);
    map.Remove(StringBuffer("k"));
    EXPECT_EQ(deaths, 2);
    EXPECT_FALSE(map.Contains("k"));
}

TEST(HashMap, NullValuesAndEmptyKeysAreEntries) {
    HashMap map(7);
    map.Put(StringBuffer(""), nullptr);
    EXPECT_TRUE(map.Contains(""));
    EXPECT_EQ(map.Lookup(""), nullptr);
    map.AddKey(nullptr); // ignored
    int total = 0;
    for (uint32_t b = 0; b < map.BucketCount(); ++b)
        total += map.Bucket(b).Count();
    EXPECT_EQ(total, 1);
}

TEST(HashMap, ZeroBucketsIsTakenAsOne) {
    HashMap map(0);
    EXPECT_EQ(map.BucketCount(), 1u);
    map.AddKey("a");
    EXPECT_TRUE(map.Contains("a"));
}

TEST(HashMap, DestructionDeletesEveryValue) {
    int deaths = 0;
    {
        HashMap map(2);
        for (int i = 0; i < 10; ++i)
            map.Put(StringBuffer(std::to_string(i).c_str()), new Tracked(&deaths));
    }
    EXPECT_EQ(deaths, 10);
}

TEST(NamedObject, CopiesTheKeyToFitAndOwnsTheValue) {
    int deaths = 0;
    char key[] = "abcdef";
    NamedObject *entry = new NamedObject(key, 3, new Tracked(&deaths));
    key[0] = 'z';
    EXPECT_STREQ(entry->key.Text(), "abc");
    EXPECT_EQ(entry->key.Capacity(), 4);
    delete entry;
    EXPECT_EQ(deaths, 1);
}

TEST(CK_List, UnlinkHandsBackTheObject) {
    CK_List list;
    NamedObject *a = new NamedObject("a", 1, nullptr);
    list.AppendTail(a);
    list.AppendTail(new NamedObject("b", 1, nullptr));
    NamedObject *got = list.Unlink(list.Head());
    EXPECT_EQ(got, a);
    delete got;
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Head(), list.Tail());
    EXPECT_EQ(list.Unlink(nullptr), nullptr);
}

} // namespace
