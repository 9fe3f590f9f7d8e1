// Little-endian loads shared by the hash, seen-set and table code.
#pragma once
#include <cstdint>
#include <cstring>

namespace vantry {

inline uint32_t LoadLe32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

} // namespace vantry
