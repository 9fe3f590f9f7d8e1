// Tests of ExtPtrArray and ExtIntArray: growth rules, removal, bad indexes, ownership.
#include <gtest/gtest.h>

#include "core/ExtIntArray.h"
#include "core/ExtPtrArray.h"

using namespace vantry;

namespace {

// Counts its own destructions so ownership can be observed.
class Tracked : public VantryObject {
public:
    explicit Tracked(int *deaths, int id = 0) : id(id), m_deaths(deaths) {}
    ~Tracked() override { ++*m_deaths; }
    int id;

private:
    int *m_deaths;
};

TEST(ExtPtrArray, DefaultStartsEmptyAndFirstAppendAllocatesFiveSlots) {
    ExtPtrArray a;
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Capacity(), 0);
    EXPECT_EQ(a.GrowthIncrement(), 5);
    EXPECT_EQ(a.Append(nullptr), 1);
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.ElementAt(0), nullptr);
}

TEST(ExtPtrArray, IncrementBecomesTheNewCapacityUntilTheCap) {
    ExtPtrArray a;
    std::vector<int32_t> capacities;
    for (int i = 0; i < 300000; ++i) {
        const int32_t before = a.Capacity();
        a.Append(nullptr);
        if (a.Capacity() != before)
            capacities.push_back(a.Capacity());
    }
    const std::vector<int32_t> expected = {5,    10,   20,    40,    80,    160,   320,    640,    1280,
                                           2560, 5120, 10240, 20480, 40960, 81920, 163840, 263840, 363840};
    EXPECT_EQ(capacities, expected);
    EXPECT_EQ(a.GrowthIncrement(), 100000);
    EXPECT_EQ(a.Count(), 300000);
}

TEST(ExtPtrArray, SecondConstructorReplacesNonPositiveValuesByFive) {
    ExtPtrArray a(0, -3);
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.GrowthIncrement(), 5);
    ExtPtrArray b(3, 7);
    EXPECT_EQ(b.Capacity(), 3);
    for (int i = 0; i < 4; ++i)
        b.Append(nullptr);
    EXPECT_EQ(b.Capacity(), 10);
    EXPECT_EQ(b.GrowthIncrement(), 10);
}

TEST(ExtPtrArray, RemoveAtMovesLaterSlotsDownAndHandsOverTheObject) {
    int deaths = 0;
    ExtPtrArray a;
    for (int i = 0; i < 4; ++i)
        a.Append(new Tracked(&deaths, i));
    VantryObject *taken = a.RemoveAt(1);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(static_cast<Tracked *>(taken)->id, 1);
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(a.Count(), 3);
    EXPECT_EQ(a.ElementAs<Tracked>(0)->id, 0);
    EXPECT_EQ(a.ElementAs<Tracked>(1)->id, 2);
    EXPECT_EQ(a.ElementAs<Tracked>(2)->id, 3);
    EXPECT_EQ(a.ElementAt(3), nullptr);
    delete taken;

    // Removing the last element moves nothing.
    VantryObject *last = a.RemoveAt(2);
    EXPECT_EQ(static_cast<Tracked *>(last)->id, 3);
    EXPECT_EQ(a.ElementAs<Tracked>(1)->id, 2);
    delete last;
    EXPECT_EQ(a.Capacity(), 5); // removal never shrinks
}

TEST(ExtPtrArray, BadIndexesAndEmptyArrayGiveNullOrZero) {
    ExtPtrArray a;
    EXPECT_EQ(a.RemoveAt(0), nullptr);
    EXPECT_EQ(a.Pop(), nullptr);
    EXPECT_EQ(a.Last(), nullptr);
    EXPECT_EQ(a.DiscardAt(0), 0);
    int deaths = 0;
    Tracked keep(&deaths);
    a.Append(&keep);
    EXPECT_EQ(a.ElementAt(-1), nullptr);
    EXPECT_EQ(a.ElementAt(1), nullptr);
    EXPECT_EQ(a.RemoveAt(-1), nullptr);
    EXPECT_EQ(a.RemoveAt(1), nullptr);
    EXPECT_EQ(a.DiscardAt(5), 0);
    EXPECT_EQ(a.Last(), &keep);
    EXPECT_EQ(a.Pop(), &keep);
    EXPECT_EQ(a.Count(), 0);
}

TEST(ExtPtrArray, DiscardAtReturnsTheNewCount) {
    ExtPtrArray a;
    int deaths = 0;
    Tracked t0(&deaths), t1(&deaths), t2(&deaths);
    a.Append(&t0);
    a.Append(&t1);
    a.Append(&t2);
    EXPECT_EQ(a.DiscardAt(0), 2);
    EXPECT_EQ(a.ElementAt(0), &t1);
    EXPECT_EQ(a.DiscardAt(1), 1);
    EXPECT_EQ(a.DiscardAt(0), 0);
    EXPECT_EQ(deaths, 0);
}

TEST(ExtPtrArray, RemoveAllAndDeleteDeletesEveryObjectAndKeepsTheSlots) {
    int deaths = 0;
    ExtPtrArray a;
    for (int i = 0; i < 7; ++i)
        a.Append(i == 3 ? nullptr : new Tracked(&deaths, i));
    a.RemoveAllAndDelete();
    EXPECT_EQ(deaths, 6);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Capacity(), 10);
}

TEST(ExtPtrArray, DestructorDeletesWhatIsStillHeld) {
    int deaths = 0;
    {
        ExtPtrArray a;
        a.Append(new Tracked(&deaths));
        a.Append(new Tracked(&deaths));
        delete a.Pop();
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
}

TEST(ExtIntArray, DefaultHoldsEightyAndGrowsByTwoHundredThenDoubles) {
    ExtIntArray a;
    EXPECT_EQ(a.Capacity(), 80);
    EXPECT_EQ(a.GrowthIncrement(), 200);
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 1200000; ++i) {
        const int32_t before = a.Capacity();
        ASSERT_TRUE(a.Append(i * 3));
        if (a.Capacity() != before)
            capacities.push_back(a.Capacity());
    }
    const std::vector<int32_t> expected = {280,   560,   1120,   2240,   4480,   8960,    17920,
                                           35840, 71680, 143360, 286720, 573440, 1073440, 1573440};
    EXPECT_EQ(capacities, expected);
    EXPECT_EQ(a.GrowthIncrement(), 500000);
    for (int32_t i : {0, 79, 80, 279, 280, 1199999})
        EXPECT_EQ(a.ElementAt(i), i * 3);
}

TEST(ExtIntArray, SecondConstructorAndBadIndexes) {
    ExtIntArray a(0, 3);
    EXPECT_EQ(a.Capacity(), 2);
    a.Append(-1);
    a.Append(-2);
    a.Append(-3);
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.GrowthIncrement(), 5);
    EXPECT_EQ(a.ElementAt(2), -3);
    EXPECT_EQ(a.ElementAt(3), 0);
    EXPECT_EQ(a.ElementAt(-1), 0);
}

TEST(ExtIntArray, NonPositiveIncrementStillGrows) {
    ExtIntArray a(1, 0);
    for (int32_t i = 0; i < 1000; ++i)
        ASSERT_TRUE(a.Append(i));
    EXPECT_EQ(a.Count(), 1000);
    EXPECT_EQ(a.ElementAt(999), 999);
}

} // namespace
