// VantryObject: the process-wide serial counter. It is atomic, so objects made on many threads at once
// still get distinct serial numbers.
#include "core/VantryObject.h"

#include <atomic>

namespace vantry {

namespace {
std::atomic<uint32_t> g_nextSerial{0};

uint32_t NextSerial() {
    // Only distinctness matters, not ordering against other memory.
    return g_nextSerial.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

VantryObject::VantryObject() : SerialNumber(NextSerial()) {}
VantryObject::VantryObject(const VantryObject &) : SerialNumber(NextSerial()) {}

} // namespace vantry
