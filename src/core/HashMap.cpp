// HashMap: string-keyed owning map over CK_List buckets; bucket = CRC-32 of the key's MD5 digest
// mod the bucket count. Keys compare byte for byte.
#include "core/HashMap.h"

#include <cstring>

#include "core/Crc32.h"
#include "core/Md5.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {
bool KeyEquals(const StringBuffer &stored, const char *key, uint32_t length) {
    return static_cast<uint32_t>(stored.Length()) == length &&
           (length == 0 || std::memcmp(stored.Text(), key, length) == 0);
}
} // namespace

// A bucket count of 0 would leave no bucket to choose; it is taken as 1.
HashMap::HashMap(uint32_t bucketCount)
    : m_bucketCount(bucketCount == 0 ? 1 : bucketCount), m_buckets(new CK_List[m_bucketCount]) {}

HashMap::~HashMap() {
    delete[] m_buckets;
}

uint32_t HashMap::BucketFor(const char *key, uint32_t length) const {
    uint8_t digest[16];
    Md5::Digest(key, length, digest);
    return Crc32::Compute(digest, sizeof digest) % m_bucketCount;
}

NamedObject *HashMap::Find(const char *key, uint32_t length, uint32_t *bucket) const {
    const uint32_t b = BucketFor(key, length);
    if (bucket != nullptr)
        *bucket = b;
    for (CK_ListItem *item = m_buckets[b].Head(); item != nullptr; item = item->next)
        if (KeyEquals(item->object->key, key, length))
            return item->object;
    return nullptr;
}

VantryObject *HashMap::Lookup(const StringBuffer &key) const {
    NamedObject *entry = Find(key.Text(), static_cast<uint32_t>(key.Length()), nullptr);
    return entry != nullptr ? entry->value : nullptr;
}

VantryObject *HashMap::Lookup(const char *key) const {
    if (key == nullptr)
        return nullptr;
    NamedObject *entry = Find(key, static_cast<uint32_t>(std::strlen(key)), nullptr);
    return entry != nullptr ? entry->value : nullptr;
}

bool HashMap::Contains(const char *key) const {
    return key != nullptr && Find(key, static_cast<uint32_t>(std::strlen(key)), nullptr) != nullptr;
}

void HashMap::Put(const StringBuffer &key, VantryObject *value) {
    const uint32_t length = static_cast<uint32_t>(key.Length());
    uint32_t bucket = 0;
    NamedObject *entry = Find(key.Text(), length, &bucket);
    if (entry != nullptr) {
        if (entry->value != value) {
            delete entry->value;
            entry->value = value;
        }
        return;
    }
    m_buckets[bucket].AppendTail(new NamedObject(key.Text(), length, value));
}

void HashMap::AddKey(const char *key) {
    if (key == nullptr)
        return;
    StringBuffer k(key);
    Put(k, new VantryObject());
}

void HashMap::Remove(const StringBuffer &key) {
    const uint32_t length = static_cast<uint32_t>(key.Length());
    const uint32_t b = BucketFor(key.Text(), length);
    CK_List &list = m_buckets[b];
    for (CK_ListItem *item = list.Head(); item != nullptr; item = item->next) {
        if (KeyEquals(item->object->key, key.Text(), length)) {
            delete list.Unlink(item);
            return;
        }
    }
}

} // namespace vantry
