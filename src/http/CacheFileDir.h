// CacheFileDir: the directory at the head of a ".caf" file: capacity, entry count and the slots
// {entry offset, CRC-32 of the entry's URL}; the entries follow from offset 88.
#pragma once
#include <cstdint>

namespace vantry {

class DataBuffer;

class CacheFileDir {
public:
    static constexpr uint32_t kCapacity = 10;
    static constexpr uint32_t kSize = 8 + 8 * kCapacity; // 88: where the first entry starts

    struct Slot {
        uint32_t Offset = 0;
        uint32_t UrlCrc = 0;
    };

    CacheFileDir() = default;
    virtual ~CacheFileDir() = default;

    // Reads the head and slots of a file; false when the file is shorter than the directory, or its
    // capacity is not 10 or its count is above the capacity.
    bool Decode(const uint8_t *file, uint32_t fileSize);
    void Encode(uint8_t out[kSize]) const;
    // The first used slot at or after from, in slot order, whose CRC equals crc; -1 when none.
    int32_t FindSlot(uint32_t crc, uint32_t from = 0) const;

    uint32_t Capacity = kCapacity;
    uint32_t Count = 0;
    Slot Slots[kCapacity];
};

} // namespace vantry
