// ExtIntArray: growable array of signed 32-bit integers.
#pragma once
#include <cstdint>

namespace vantry {

class ExtIntArray {
public:
    ExtIntArray();                                           // capacity 80, increment 200
    ExtIntArray(int32_t initialCapacity, int32_t increment); // capacity <= 0 becomes 2
    ExtIntArray(const ExtIntArray &) = delete;
    ExtIntArray &operator=(const ExtIntArray &) = delete;
    virtual ~ExtIntArray();

    bool Append(int32_t value);
    int32_t ElementAt(int32_t index) const; // 0 outside the range
    int32_t Count() const { return m_count; }
    int32_t Capacity() const { return m_capacity; }
    int32_t GrowthIncrement() const { return m_increment; }

private:
    int32_t m_increment;
    int32_t m_capacity;
    int32_t m_count;
    int32_t *m_slots;
};

} // namespace vantry
