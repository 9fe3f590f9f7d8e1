// Tests of VantryObject's serial numbers and VantryInt.
#include <gtest/gtest.h>

#include "core/VantryObject.h"

using namespace vantry;

namespace {

TEST(VantryObject, EveryConstructionTakesTheNextSerialNumber) {
    VantryObject a;
    VantryInt b(-7);
    VantryObject c(a); // a copy is a new object with a serial of its own
    EXPECT_EQ(b.SerialNumber, a.SerialNumber + 1);
    EXPECT_EQ(c.SerialNumber, a.SerialNumber + 2);
    c = a; // assignment keeps the target's serial
    EXPECT_EQ(c.SerialNumber, a.SerialNumber + 2);
    EXPECT_EQ(b.value, -7);
    EXPECT_EQ(VantryInt().value, 0);
}

} // namespace
