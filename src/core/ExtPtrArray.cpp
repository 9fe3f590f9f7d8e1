// ExtPtrArray: growable owning array of VantryObject pointers (core collections).
// Growth: capacity + increment; the increment then becomes the new capacity, capped at 100000.
#include "core/ExtPtrArray.h"

#include <cstdlib>
#include <cstring>

namespace vantry {

namespace {
constexpr int32_t kDefaultIncrement = 5;
constexpr int32_t kIncrementCap = 100000;

VantryObject **AllocateZeroedSlots(int32_t n) {
    return static_cast<VantryObject **>(std::calloc(static_cast<size_t>(n), sizeof(VantryObject *)));
}
} // namespace

ExtPtrArray::ExtPtrArray() : m_increment(kDefaultIncrement), m_capacity(0), m_count(0), m_slots(nullptr) {}

ExtPtrArray::ExtPtrArray(int32_t initialCapacity, int32_t increment)
    : m_increment(increment > 0 ? increment : kDefaultIncrement),
      m_capacity(initialCapacity > 0 ? initialCapacity : kDefaultIncrement), m_count(0),
      m_slots(AllocateZeroedSlots(m_capacity)) {}

ExtPtrArray::~ExtPtrArray() {
    RemoveAllAndDelete();
    std::free(m_slots);
}

int32_t ExtPtrArray::Append(VantryObject *obj) {
    const int32_t newCount = m_count + 1;
    if (newCount > m_capacity) {
        int32_t newCapacity = m_capacity + m_increment;
        if (newCapacity <= newCount)
            newCapacity = newCount + 1;
        VantryObject **grown = AllocateZeroedSlots(newCapacity);
        if (m_slots != nullptr && m_count > 0)
            std::memcpy(grown, m_slots, static_cast<size_t>(m_count) * sizeof(VantryObject *));
        std::free(m_slots);
        m_slots = grown;
        m_capacity = newCapacity;
        if (m_increment <= kIncrementCap - 1)
            m_increment = newCapacity < kIncrementCap ? newCapacity : kIncrementCap;
    }
    m_slots[m_count] = obj;
    m_count = newCount;
    return m_count;
}

VantryObject *ExtPtrArray::ElementAt(int32_t index) const {
    if (index < 0 || index >= m_count)
        return nullptr;
    return m_slots[index];
}

VantryObject *ExtPtrArray::Last() const {
    return m_count > 0 ? m_slots[m_count - 1] : nullptr;
}

VantryObject *ExtPtrArray::RemoveAt(int32_t index) {
    if (index < 0 || index >= m_count)
        return nullptr;
    VantryObject *obj = m_slots[index];
    const int32_t after = m_count - index - 1;
    if (after > 0)
        std::memmove(m_slots + index, m_slots + index + 1,
                     static_cast<size_t>(after) * sizeof(VantryObject *));
    --m_count;
    m_slots[m_count] = nullptr;
    return obj;
}

int32_t ExtPtrArray::DiscardAt(int32_t index) {
    if (index < 0 || index >= m_count)
        return 0;
    RemoveAt(index);
    return m_count;
}

VantryObject *ExtPtrArray::Pop() {
    return m_count > 0 ? RemoveAt(m_count - 1) : nullptr;
}

void ExtPtrArray::RemoveAllAndDelete() {
    // Each slot is cleared before its object is deleted, so a destructor that looks back at this
    // array never sees a dangling pointer.
    for (int32_t i = 0; i < m_count; ++i) {
        VantryObject *obj = m_slots[i];
        m_slots[i] = nullptr;
        delete obj;
    }
    m_count = 0;
}

} // namespace vantry
