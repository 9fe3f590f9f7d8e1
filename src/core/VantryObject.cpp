// VantryObject: the process-wide serial counter (single-threaded, unlocked by design).
#include "core/VantryObject.h"

namespace vantry {

namespace {
uint32_t g_nextSerial = 0;
}

VantryObject::VantryObject() : SerialNumber(g_nextSerial++) {}
VantryObject::VantryObject(const VantryObject &) : SerialNumber(g_nextSerial++) {}

} // namespace vantry
