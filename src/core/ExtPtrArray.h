// ExtPtrArray: growable array of VantryObject pointers. It owns its objects: RemoveAllAndDelete
// deletes them, and so does the destructor for whatever is still held.
#pragma once
#include <cstdint>

#include "core/VantryObject.h"

namespace vantry {

class ExtPtrArray {
public:
    ExtPtrArray();                                           // increment 5, no slots until the first append
    ExtPtrArray(int32_t initialCapacity, int32_t increment); // values <= 0 become 5
    ExtPtrArray(const ExtPtrArray &) = delete;
    ExtPtrArray &operator=(const ExtPtrArray &) = delete;
    virtual ~ExtPtrArray();

    int32_t Append(VantryObject *obj); // returns the new count
    VantryObject *ElementAt(int32_t index) const;
    template <class T> T *ElementAs(int32_t index) const { return static_cast<T *>(ElementAt(index)); }
    VantryObject *Last() const;
    VantryObject *RemoveAt(int32_t index); // ownership passes to the caller
    int32_t DiscardAt(int32_t index);      // removes the slot (object not deleted); new count, 0 if bad
    VantryObject *Pop();
    void RemoveAllAndDelete();
    int32_t Count() const { return m_count; }
    int32_t Capacity() const { return m_capacity; }
    int32_t GrowthIncrement() const { return m_increment; }

private:
    int32_t m_increment;
    int32_t m_capacity;
    int32_t m_count;
    VantryObject **m_slots;
};

} // namespace vantry
