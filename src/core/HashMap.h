// HashMap: string-keyed map whose buckets are CK_List lists of NamedObject entries; the bucket is
// CRC-32 of the key's MD5 digest mod the bucket count. The map owns its values.
#pragma once
#include <cstdint>

#include "core/CK_List.h"

namespace vantry {

class StringBuffer;
class VantryObject;

class HashMap {
public:
    explicit HashMap(uint32_t bucketCount);
    ~HashMap();
    HashMap(const HashMap &) = delete;
    HashMap &operator=(const HashMap &) = delete;

    VantryObject *Lookup(const StringBuffer &key) const;
    VantryObject *Lookup(const char *key) const;
    bool Contains(const char *key) const;
    void Put(const StringBuffer &key, VantryObject *value);
    void AddKey(const char *key);
    void Remove(const StringBuffer &key);
    uint32_t BucketCount() const { return m_bucketCount; }
    uint32_t BucketFor(const char *key, uint32_t length) const;
    const CK_List &Bucket(uint32_t index) const { return m_buckets[index]; }

private:
    NamedObject *Find(const char *key, uint32_t length, uint32_t *bucket) const;

    uint32_t m_bucketCount;
    CK_List *m_buckets;
};

} // namespace vantry
