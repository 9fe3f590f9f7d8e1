// Helpers of the cache and cookie tests: a fixed clock, payloads and byte views of files.
#pragma once
#include <cstdint>
#include <string>

#include "core/DataBuffer.h"
#include "http/CacheClock.h"
#include "http/DateParser.h"

namespace cachetest {

// 2024-03-01 12:00:00 as a day count; the clock is UTC (bias 0) so local and UTC agree.
inline double FixedNow() {
    vantry::CalendarTime t;
    t.Year = 2024;
    t.Month = 3;
    t.Day = 1;
    t.Hour = 12;
    return vantry::DateParser().TimeToDays(t);
}

// Fixes the cache clock for the life of the object.
class FixedClock {
public:
    FixedClock() { vantry::SetCacheClock(&FixedNow, 0); }
    ~FixedClock() { vantry::SetCacheClock(nullptr, 0); }
};

inline void SetBytes(vantry::DataBuffer &buffer, const std::string &bytes) {
    buffer.Clear();
    buffer.Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

inline std::string Bytes(const vantry::DataBuffer &buffer) {
    return std::string(reinterpret_cast<const char *>(buffer.Data()), buffer.Length());
}

inline uint32_t Le32(const std::string &s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

inline std::string Le32Bytes(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

} // namespace cachetest
