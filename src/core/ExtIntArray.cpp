// ExtIntArray: growable array of signed 32-bit integers (core collections).
// Growth: capacity + increment; the increment then becomes the new capacity, capped at 500000.
#include "core/ExtIntArray.h"

#include <cstdlib>
#include <cstring>

namespace vantry {

namespace {
constexpr int32_t kDefaultCapacity = 80;
constexpr int32_t kDefaultIncrement = 200;
constexpr int32_t kIncrementCap = 500000;

int32_t *AllocateSlots(int32_t n) {
    return static_cast<int32_t *>(std::calloc(static_cast<size_t>(n), sizeof(int32_t)));
}
} // namespace

ExtIntArray::ExtIntArray()
    : m_increment(kDefaultIncrement), m_capacity(kDefaultCapacity), m_count(0),
      m_slots(AllocateSlots(kDefaultCapacity)) {}

// A non-positive increment would never grow the array, so it falls back to the default one.
ExtIntArray::ExtIntArray(int32_t initialCapacity, int32_t increment)
    : m_increment(increment > 0 ? increment : kDefaultIncrement),
      m_capacity(initialCapacity > 0 ? initialCapacity : 2), m_count(0), m_slots(AllocateSlots(m_capacity)) {}

ExtIntArray::~ExtIntArray() {
    std::free(m_slots);
}

bool ExtIntArray::Append(int32_t value) {
    if (m_count >= m_capacity) {
        const int32_t newCapacity = m_capacity + m_increment;
        int32_t *grown =
            static_cast<int32_t *>(std::realloc(m_slots, static_cast<size_t>(newCapacity) * sizeof(int32_t)));
        if (grown == nullptr)
            return false;
        m_slots = grown;
        m_capacity = newCapacity;
        if (m_increment <= kIncrementCap - 1)
            m_increment = newCapacity < kIncrementCap ? newCapacity : kIncrementCap;
    }
    m_slots[m_count++] = value;
    return true;
}

int32_t ExtIntArray::ElementAt(int32_t index) const {
    if (index < 0 || index >= m_count)
        return 0;
    return m_slots[index];
}

} // namespace vantry
