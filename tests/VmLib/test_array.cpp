#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
#include "VmLib/vmlib.h"

namespace {

using Slots = std::vector<uintptr_t>;

// Slot counts of the storage blocks the array allocated, from the level-9 lines.
std::vector<uint32_t> StorageAllocations(const TraceCapture &capture) {
    std::vector<uint32_t> slots;
    for (const auto &line : capture.Lines()) {
        unsigned nLine, tag, cb, flags;
        if (swscanf(line.c_str(), L"ARRAY(%u) : %X = MemAllocEx(%u, %X)", &nLine, &tag, &cb,
                    &flags) == 4)
            slots.push_back(static_cast<uint32_t>(cb / sizeof(uintptr_t)));
    }
    return slots;
}

struct ArrayTest : ::testing::Test {
    HVMARRAY h = ArrayCreate(MEM_VERSION, VmModuleHandle());
    void TearDown() override { EXPECT_EQ(ArrayDestroy(h), 0); }
    Slots Items() const {
        Slots v;
        for (int32_t i = 0; i < ArrayGetSize(h); ++i)
            v.push_back(ArrayGetAt(h, i));
        return v;
    }
    void Fill(const Slots &values) {
        ASSERT_EQ(ArrayRemoveAll(h), 0);
        for (uintptr_t v : values)
            ASSERT_GE(ArrayAdd(h, v), 0);
    }
};

TEST_F(ArrayTest, GrowthSteps) {
    TraceCapture capture(9);
    for (uintptr_t i = 0; i < 100; ++i)
        ASSERT_EQ(ArrayAdd(h, i + 1), static_cast<int32_t>(i));
    // From empty: exactly one slot, then at least 4, then an eighth of the size.
    EXPECT_EQ(StorageAllocations(capture),
              (std::vector<uint32_t>{1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 46, 51, 57, 64, 72,
                                     81, 91, 102}));
    EXPECT_EQ(ArrayGetAt(h, 99), 100u);

    capture.Clear();
    const int32_t resizes[][2] = {{0, 0}, {10, 0}, {11, -1}, {9000, -1}, {9001, -1}, {9002, 3}};
    for (const auto &r : resizes)
        ASSERT_EQ(ArraySetSize(h, r[0], r[1]), 0) << r[0];
    EXPECT_EQ(StorageAllocations(capture), (std::vector<uint32_t>{10, 14, 9000, 10024}));
    ASSERT_EQ(ArraySetSize(h, 10025, -1), 0); // the explicit step of 3 holds
    EXPECT_EQ(StorageAllocations(capture).back(), 10027u);
}

TEST_F(ArrayTest, ContentsMoveAndNewSlotsAreZero) {
    Fill({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(ArraySetSize(h, 2, -1), 0);
    ASSERT_EQ(ArraySetSize(h, 4, -1), 0);
    EXPECT_EQ(Items(), (Slots{1, 2, 0, 0}));
    ASSERT_EQ(ArraySetSize(h, 1, -1), 0);
    ASSERT_EQ(ArraySetAtGrow(h, 5, 9), 0);
    EXPECT_EQ(Items(), (Slots{1, 0, 0, 0, 0, 9}));
    EXPECT_EQ(ArrayGetUpperBound(h), 5);

    const uintptr_t a = 0xA, b = 0xB, c = 0xC, d = 0xD, v = 0x77;
    Fill({a, b, c});
    ASSERT_EQ(ArrayInsertAt(h, 1, v, 2), 0);
    EXPECT_EQ(Items(), (Slots{a, v, v, b, c}));
    Fill({a});
    ASSERT_EQ(ArrayInsertAt(h, 3, v, 2), 0);
    EXPECT_EQ(Items(), (Slots{a, 0, 0, v, v}));

    Fill({a, b, c, d});
    TraceCapture capture(3);
    EXPECT_EQ(ArrayRemoveAt(h, 1, 3 + 1), -1);
    EXPECT_EQ(ArrayRemoveAt(h, -1, 1), -1);
    EXPECT_EQ(ArrayRemoveAt(h, 0, -1), -1);
    EXPECT_EQ(ArrayInsertAt(h, 0, v, 0), -1);
    EXPECT_EQ(ArrayInsertAt(h, -1, v, 1), -1);
    EXPECT_EQ(capture.Positions(L"ARRAY"), 5u);
    EXPECT_EQ(Items(), (Slots{a, b, c, d}));
    ASSERT_EQ(ArrayRemoveAt(h, 1, 0), 0);
    ASSERT_EQ(ArrayRemoveAt(h, 1, 2), 0);
    EXPECT_EQ(Items(), (Slots{a, d}));
}

TEST_F(ArrayTest, BoundsAndSearch) {
    TraceCapture capture(3);
    EXPECT_EQ(ArraySearch(h, 1, -1, 0, nullptr), -2); // empty
    Fill({5, 7, 5, 9});
    EXPECT_EQ(ArrayGetAt(h, -1), 0u);
    EXPECT_EQ(ArrayGetAt(h, 4), 0u);
    EXPECT_EQ(ArraySetAt(h, -1, 1), -1);
    EXPECT_EQ(ArraySetAt(h, 4, 1), -1);
    EXPECT_EQ(ArraySetAtGrow(h, -1, 1), -1);
    EXPECT_EQ(Items(), (Slots{5, 7, 5, 9}));
    EXPECT_EQ(capture.Positions(L"ARRAY"), 6u);

    // {key, nAfter, result}
    const int32_t searches[][3] = {{5, -1, 0}, {5, 0, 2},   {5, 2, -1},
                                   {9, 3, -2}, {9, -2, -2}, {4, -1, -1}};
    for (const auto &s : searches)
        EXPECT_EQ(ArraySearch(h, uintptr_t(s[0]), s[1], 0, nullptr), s[2]) << s[0] << " " << s[1];
    // The comparator gets the slot first and the key second: the first slot
    // that the key divides.
    auto divides = [](const void *slot, const void *key) -> int32_t {
        return *static_cast<const uintptr_t *>(slot) % *static_cast<const uintptr_t *>(key) != 0;
    };
    EXPECT_EQ(ArraySearch(h, 3, -1, 0, divides), 3);
    ASSERT_EQ(ArraySort(h, SortCompareLong), 0);
    EXPECT_EQ(Items(), (Slots{5, 5, 7, 9}));
}

TEST_F(ArrayTest, FreeExtraTrimsAndReleasesEmptyStorage) {
    TraceCapture capture(9);
    Fill({1, 2, 3, 4, 5, 6}); // capacity 9
    capture.Clear();
    ASSERT_EQ(ArrayFreeExtra(h), 0);
    EXPECT_EQ(StorageAllocations(capture), (std::vector<uint32_t>{6}));
    EXPECT_EQ(Items(), (Slots{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(ArrayRemoveAt(h, 0, 6), 0);
    capture.Clear();
    ASSERT_EQ(ArrayFreeExtra(h), 0);
    EXPECT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Count(L"MemFreeEx("), 1u);
    ASSERT_EQ(ArrayAdd(h, 8), 0); // storage starts again from one slot
    EXPECT_EQ(StorageAllocations(capture), (std::vector<uint32_t>{1}));
}

TEST(Array, BadHandlesAndVersions) {
    TraceCapture capture(9);
    EXPECT_EQ(ArrayCreate(256, VmModuleHandle()), nullptr);
    EXPECT_EQ(ArrayCreate(MEM_VERSION, nullptr), nullptr);
    HVMARRAY h = ArrayCreate(MEM_VERSION, VmModuleHandle());
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(ArrayAdd(h, 1), 0);
    ASSERT_EQ(ArrayDestroy(h), 0);
    // The record and its storage are gone and everything is counted back.
    EXPECT_TRUE(capture.Text().ends_with(L") (0, 0)\n"));
    capture.Clear();
    uintptr_t bogusStorage[8] = {};
    for (HVMARRAY bad : {h, reinterpret_cast<HVMARRAY>(bogusStorage), HVMARRAY{}}) {
        EXPECT_EQ(ArrayGetSize(bad), -1);
        EXPECT_EQ(ArrayGetUpperBound(bad), -2);
        EXPECT_EQ(ArraySetSize(bad, 1, 0), -1);
        EXPECT_EQ(ArrayFreeExtra(bad), -1);
        EXPECT_EQ(ArrayRemoveAll(bad), -1);
        EXPECT_EQ(ArrayGetAt(bad, 0), 0u);
        EXPECT_EQ(ArraySetAt(bad, 0, 1), -1);
        EXPECT_EQ(ArraySetAtGrow(bad, 0, 1), -1);
        EXPECT_EQ(ArrayAdd(bad, 1), -1);
        EXPECT_EQ(ArrayInsertAt(bad, 0, 1, 1), -1);
        EXPECT_EQ(ArrayRemoveAt(bad, 0, 0), -1);
        EXPECT_EQ(ArraySort(bad, nullptr), -1);
        EXPECT_EQ(ArraySearch(bad, 0, -1, 0, nullptr), -2);
        EXPECT_EQ(ArrayDestroy(bad), -1);
    }
    EXPECT_EQ(capture.Positions(L"ARRAY"), 3u * 14u);
    EXPECT_EQ(capture.Text().find(L"Mem"), std::wstring::npos); // nothing was touched
}

} // namespace
