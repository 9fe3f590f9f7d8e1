// The ".caf" file directory: head {capacity, count} and ten slots {offset, URL CRC-32}.
#include "http/CacheFileDir.h"

#include "http/CacheBytes.h"

namespace vantry {

bool CacheFileDir::Decode(const uint8_t *file, uint32_t fileSize) {
    if (!file || fileSize < kSize)
        return false;
    uint32_t capacity = LoadLe32(file);
    uint32_t count = LoadLe32(file + 4);
    if (capacity != kCapacity || count > kCapacity)
        return false;
    Capacity = capacity;
    Count = count;
    for (uint32_t i = 0; i < kCapacity; ++i) {
        Slots[i].Offset = LoadLe32(file + 8 + 8 * i);
        Slots[i].UrlCrc = LoadLe32(file + 12 + 8 * i);
    }
    return true;
}

void CacheFileDir::Encode(uint8_t out[kSize]) const {
    StoreLe32(out, kCapacity);
    StoreLe32(out + 4, Count);
    for (uint32_t i = 0; i < kCapacity; ++i) {
        StoreLe32(out + 8 + 8 * i, Slots[i].Offset);
        StoreLe32(out + 12 + 8 * i, Slots[i].UrlCrc);
    }
}

int32_t CacheFileDir::FindSlot(uint32_t crc, uint32_t from) const {
    for (uint32_t i = from; i < Count; ++i)
        if (Slots[i].UrlCrc == crc)
            return static_cast<int32_t>(i);
    return -1;
}

} // namespace vantry
