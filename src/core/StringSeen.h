// StringSeen: fixed-size seen-set that keeps two MD5-derived 32-bit values per text, never the text.
#pragma once
#include <cstddef>
#include <cstdint>

class StringBuffer;

class StringSeen {
public:
    explicit StringSeen(uint32_t bucketCount);
    ~StringSeen();
    StringSeen(const StringSeen&) = delete;
    StringSeen& operator=(const StringSeen&) = delete;

    bool Add(const StringBuffer& text);            // true only if neither value was present
    bool Contains(const StringBuffer& text) const; // true only if both values are present
    uint32_t BucketCount() const { return m_n; }
    // Bytes held: 8 per bucket plus 4 per value in buckets that hold two or more.
    size_t BytesHeld() const;

private:
    uint32_t m_n;
    uint32_t* m_slots;  // value itself when count is 1, else index of its array in m_arrays
    uint32_t* m_counts;
    uint32_t** m_arrays; // per bucket: the separately allocated array when count >= 2
};
