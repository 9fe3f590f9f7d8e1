// Little-endian stores for the cache file layouts (the loads are core/ByteOrder.h's).
#pragma once
#include <cstdint>
#include <cstring>

#include "core/ByteOrder.h"

namespace vantry {

inline void StoreLe16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreLe32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t LoadLe16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void StoreLeDouble(uint8_t *p, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline double LoadLeDouble(const uint8_t *p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

} // namespace vantry
