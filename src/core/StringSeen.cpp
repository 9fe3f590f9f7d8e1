// StringSeen: the two-value MD5 seen-set. Buckets never grow or rehash; a bucket's values live in
// its slot (one value) or in an exactly sized array in a word pool (two or more).
#include "core/StringSeen.h"
#include "core/ByteOrder.h"

#include <cstdlib>
#include <cstring>

#include "core/Md5.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {
constexpr uint32_t kNone = 0xFFFFFFFFu;

template <class T> T *Reallocate(T *block, size_t count) {
    void *p = std::realloc(block, count * sizeof(T));
    if (p == nullptr)
        std::abort(); // allocation failure is not handled by the library
    return static_cast<T *>(p);
}

} // namespace

StringSeen::StringSeen(uint32_t bucketCount)
    : m_n(bucketCount == 0 ? 1 : bucketCount),
      m_buckets(static_cast<Bucket *>(std::calloc(m_n, sizeof(Bucket)))) {
    if (m_buckets == nullptr)
        std::abort();
}

StringSeen::~StringSeen() {
    std::free(m_buckets);
    std::free(m_pool);
    std::free(m_freeHeads);
}

void StringSeen::HashValues(const char *bytes, size_t length, uint32_t *h1, uint32_t *h2) {
    uint8_t digest[16];
    Md5::Digest(bytes, length, digest);
    *h1 = LoadLe32(digest);
    *h2 = LoadLe32(digest + 4);
}

bool StringSeen::Add(const StringBuffer &text) {
    return Add(text.Text(), static_cast<size_t>(text.Length()));
}

bool StringSeen::Contains(const StringBuffer &text) const {
    return Contains(text.Text(), static_cast<size_t>(text.Length()));
}

bool StringSeen::Add(const char *bytes, size_t length) {
    uint32_t h1, h2;
    HashValues(length == 0 ? "" : bytes, length, &h1, &h2);
    Prefetch(h1, h2);
    const bool new1 = Insert(h1);
    const bool new2 = Insert(h2); // always, even when h1 was present
    return new1 && new2;
}

bool StringSeen::Contains(const char *bytes, size_t length) const {
    uint32_t h1, h2;
    HashValues(length == 0 ? "" : bytes, length, &h1, &h2);
    Prefetch(h1, h2);
    return Has(h1) && Has(h2);
}

// Starts the loads for both values' buckets, then for the arrays they name, so the cache misses of
// the two values overlap instead of following one another.
void StringSeen::Prefetch(uint32_t h1, uint32_t h2) const {
    const Bucket *b1 = m_buckets + h1 % m_n;
    const Bucket *b2 = m_buckets + h2 % m_n;
    __builtin_prefetch(b1);
    __builtin_prefetch(b2);
    if (b1->count >= 2)
        __builtin_prefetch(m_pool + b1->slot);
    if (b2->count >= 2)
        __builtin_prefetch(m_pool + b2->slot);
}

bool StringSeen::Has(uint32_t value) const {
    const uint32_t b = value % m_n;
    const Bucket &bucket = m_buckets[b];
    const uint32_t count = bucket.count;
    if (count == 0)
        return false;
    if (count == 1)
        return bucket.slot == value;
    const uint32_t *values = m_pool + bucket.slot;
    for (uint32_t i = 0; i < count; ++i)
        if (values[i] == value)
            return true;
    return false;
}

bool StringSeen::Insert(uint32_t value) {
    const uint32_t b = value % m_n;
    Bucket &bucket = m_buckets[b];
    const uint32_t count = bucket.count;
    if (count == 0) {
        bucket.slot = value;
        bucket.count = 1;
        return true;
    }
    if (count == 1) {
        if (bucket.slot == value)
            return false;
        const uint32_t off = AllocateArray(2);
        m_pool[off] = bucket.slot;
        m_pool[off + 1] = value;
        bucket.slot = off;
        bucket.count = 2;
        m_valuesInArrays += 2;
        return true;
    }
    if (Has(value))
        return false;
    // A new array of count + 1 words: the new value first, then the old ones in their order.
    const uint32_t oldOff = bucket.slot;
    uint32_t newOff;
    if (oldOff + static_cast<size_t>(count) == m_poolUsed) {
        // The old array ends the pool: grow it in place by one word and shift the old values up.
        AllocateArray(1);
        newOff = oldOff;
        std::memmove(m_pool + newOff + 1, m_pool + oldOff, count * sizeof(uint32_t));
    } else {
        newOff = AllocateArray(count + 1);
        std::memcpy(m_pool + newOff + 1, m_pool + oldOff, count * sizeof(uint32_t));
        FreeArray(oldOff, count);
    }
    m_pool[newOff] = value;
    bucket.slot = newOff;
    bucket.count = count + 1;
    ++m_valuesInArrays;
    return true;
}

uint32_t StringSeen::AllocateArray(uint32_t words) {
    if (words >= 2 && words < m_freeHeadCount && m_freeHeads[words] != kNone) {
        const uint32_t off = m_freeHeads[words];
        m_freeHeads[words] = m_pool[off];
        return off;
    }
    if (m_poolUsed + words > m_poolCapacity) {
        size_t capacity = m_poolCapacity < 1024 ? 1024 : m_poolCapacity + m_poolCapacity / 2;
        while (capacity < m_poolUsed + words)
            capacity += capacity / 2;
        if (capacity > kNone)
            capacity = kNone; // offsets are 32-bit words
        if (m_poolUsed + words > capacity)
            std::abort();
        m_pool = Reallocate(m_pool, capacity);
        m_poolCapacity = capacity;
    }
    const uint32_t off = static_cast<uint32_t>(m_poolUsed);
    m_poolUsed += words;
    return off;
}

void StringSeen::FreeArray(uint32_t offset, uint32_t words) {
    if (words >= m_freeHeadCount) {
        uint32_t n = m_freeHeadCount < 16 ? 16 : m_freeHeadCount;
        while (n <= words)
            n *= 2;
        m_freeHeads = Reallocate(m_freeHeads, n);
        for (uint32_t i = m_freeHeadCount; i < n; ++i)
            m_freeHeads[i] = kNone;
        m_freeHeadCount = n;
    }
    m_pool[offset] = m_freeHeads[words];
    m_freeHeads[words] = offset;
}

size_t StringSeen::BytesHeld() const {
    return static_cast<size_t>(m_n) * 8 + m_valuesInArrays * 4;
}

size_t StringSeen::BytesReserved() const {
    return static_cast<size_t>(m_n) * 8 + m_poolCapacity * 4 + static_cast<size_t>(m_freeHeadCount) * 4;
}

} // namespace vantry
