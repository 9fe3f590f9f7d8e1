// StringSeen: fixed-size seen-set that keeps two MD5-derived 32-bit values per text, never the text.
// N buckets of 8 bytes (a slot word and a count word, side by side so one cache line serves both); a
// bucket holding two or more values keeps them in an array of exactly that many words, stored in a
// pool and named by its word offset.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class StringBuffer;

class StringSeen {
public:
    explicit StringSeen(uint32_t bucketCount); // a count of 0 is taken as 1
    ~StringSeen();
    StringSeen(const StringSeen &) = delete;
    StringSeen &operator=(const StringSeen &) = delete;

    bool Add(const StringBuffer &text);            // true only if neither value was present
    bool Contains(const StringBuffer &text) const; // true only if both values are present
    bool Add(const char *bytes, size_t length);
    bool Contains(const char *bytes, size_t length) const;
    uint32_t BucketCount() const { return m_n; }
    // Bytes held: 8 per bucket plus 4 per value in buckets that hold two or more (the formula).
    size_t BytesHeld() const;
    // Bytes actually reserved: the bucket table, the whole pool and its free lists.
    size_t BytesReserved() const;
    uint32_t BucketValueCount(uint32_t bucket) const { return bucket < m_n ? m_buckets[bucket].count : 0; }

    // The two values of a text: MD5 digest bytes 0..3 and 4..7, little-endian.
    static void HashValues(const char *bytes, size_t length, uint32_t *h1, uint32_t *h2);

private:
    struct Bucket {
        uint32_t slot;  // the value itself when the count is 1, else the pool offset of its array
        uint32_t count; // values held
    };

    bool Insert(uint32_t value); // true when the value was new to its bucket
    bool Has(uint32_t value) const;
    void Prefetch(uint32_t h1, uint32_t h2) const;
    uint32_t AllocateArray(uint32_t words); // word offset into the pool
    void FreeArray(uint32_t offset, uint32_t words);

    uint32_t m_n;
    Bucket *m_buckets;

    // Pool of value arrays. Freed arrays go on a free list per exact size for reuse.
    uint32_t *m_pool = nullptr;
    size_t m_poolUsed = 0;           // words handed out at the end of the pool
    size_t m_poolCapacity = 0;       // words allocated
    uint32_t *m_freeHeads = nullptr; // per array size: offset of the first free array, or kNone
    uint32_t m_freeHeadCount = 0;
    size_t m_valuesInArrays = 0;
};

} // namespace vantry
