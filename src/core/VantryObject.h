// VantryObject: root of the library's heap objects (virtual destructor, serial number), and VantryInt.
// Everything held in an ExtPtrArray or HashMap derives from it.
#pragma once
#include <cstdint>

namespace vantry {

class VantryObject {
public:
    VantryObject();
    VantryObject(const VantryObject &);
    VantryObject &operator=(const VantryObject &) { return *this; }
    virtual ~VantryObject() = default;

    // Taken from a process-wide counter (starting at 0) at construction.
    uint32_t SerialNumber;
};

// A VantryObject holding one signed 32-bit value.
class VantryInt : public VantryObject {
public:
    explicit VantryInt(int32_t v = 0) : value(v) {}
    int32_t value;
};

} // namespace vantry
