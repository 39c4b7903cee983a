#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
#include "VmLib/vmlib.h"

namespace {

using ::testing::ElementsAre;

// A key that decides the order and a tag that shows where equal keys went.
struct Item {
    int32_t key;
    char tag;
    bool operator==(const Item &) const = default;
};

int32_t ByKey(const void *a, const void *b) {
    return static_cast<const Item *>(a)->key - static_cast<const Item *>(b)->key;
}

std::string Sorted(std::vector<Item> v, uint8_t flags) {
    EXPECT_EQ(Sort(v.data(), static_cast<int32_t>(v.size()), sizeof(Item), ByKey, flags), 0);
    std::string tags;
    for (const auto &i : v)
        tags += i.tag;
    return tags;
}

// Where equal keys go is each procedure's own; the stable ones are checked
// on larger input below.
TEST(Sort, EachAlgorithmPlacesEqualKeysAsItsProcedureDoes) {
    const std::vector<Item> five = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};
    const std::vector<Item> four = {{2, 'a'}, {1, 'b'}, {1, 'c'}, {2, 'd'}};
    // Worked by hand through the build and sort phases of the heap (root 0
    // with the single child 1, children 2k and 2k+1).
    EXPECT_EQ(Sorted(five, 0xC0), "dbeca"); // no algorithm bit: heap
    EXPECT_EQ(Sorted(five, SORT_QUICK), "dbcae");
    EXPECT_EQ(Sorted(five, SORT_SELECTION), "bdcae");
    EXPECT_EQ(Sorted(four, SORT_SHELL), "cbad");
    EXPECT_EQ(Sorted(four, SORT_SHELL | SORT_INSERTION), "bcad"); // the lowest flag wins
}

TEST(Sort, EveryAlgorithmSortsLargerInputs) {
    std::vector<Item> input;
    uint32_t x = 12345;
    for (int i = 0; i < 300; ++i) {
        x = x * 1103515245u + 12345u;
        input.push_back({static_cast<int32_t>((x >> 16) % 23), static_cast<char>('!' + i % 90)});
    }
    auto byKey = [](const Item &l, const Item &r) { return l.key < r.key; };
    std::vector<Item> stable = input;
    std::stable_sort(stable.begin(), stable.end(), byKey);
    for (int flags : {0, 1, 2, 4, 8, 16, 32}) {
        std::vector<Item> v = input;
        ASSERT_EQ(Sort(v.data(), int32_t(v.size()), sizeof(Item), ByKey, uint8_t(flags)), 0);
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), byKey)) << flags;
        EXPECT_TRUE(std::is_permutation(v.begin(), v.end(), input.begin())) << flags;
        if (flags == SORT_INSERTION || flags == SORT_BUBBLE) {
            EXPECT_EQ(v, stable) << flags;
        }
    }
}

TEST(Sort, ArgumentsAndScratch) {
    TraceCapture capture(9);
    EXPECT_EQ(Sort(nullptr, 0, 4, nullptr, 0), 0);
    EXPECT_EQ(capture.Text(), L""); // nothing allocated for nothing
    int32_t one[1] = {5};
    EXPECT_EQ(Sort(one, 1, 4, SortCompareLong, 0), 0);
    EXPECT_EQ(one[0], 5);
    EXPECT_TRUE(capture.Text().starts_with(L"SORT(")) << capture.Text();
    EXPECT_TRUE(capture.Text().ends_with(L") (0, 0)\n")) << capture.Text();
    capture.Clear();
    EXPECT_EQ(Sort(one, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(Sort(one, -1, 4, nullptr, 0), -1);
    EXPECT_EQ(Sort(nullptr, 1, 4, nullptr, 0), -1);
    EXPECT_EQ(capture.Positions(L"SORT"), 3u);
    EXPECT_EQ(capture.Lines().size(), 3u);

    // Without a comparator the bytes decide: little-endian 16-bit values go
    // by their low byte first.
    uint16_t words[] = {0x0102, 0x0201, 0x0001};
    ASSERT_EQ(Sort(words, 3, 2, nullptr, SORT_INSERTION), 0);
    EXPECT_THAT(words, ElementsAre(0x0001, 0x0201, 0x0102));
}

TEST(Sort, ComparatorExtremes) {
    auto cmp = [](PFNSORTCOMPARE f, auto a, auto b) { return f(&a, &b); };
    // Non-zero values sort before zero values.
    EXPECT_EQ(
        (std::vector<int32_t>{cmp(SortCompareBool, -5, 0), cmp(SortCompareBool, 0, 1),
                              cmp(SortCompareBool, 2, INT32_MIN), cmp(SortCompareNull, 1, 2)}),
        (std::vector<int32_t>{-1, 1, 0, 0}));
    EXPECT_EQ(cmp(SortCompareLong, INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_EQ(cmp(SortCompareLong, INT32_MAX, INT32_MIN), INT32_MAX);
    EXPECT_EQ(cmp(SortCompareShort, int16_t{INT16_MIN}, int16_t{INT16_MAX}), -65535);

    const wchar_t *abc = L"abc", *ABC = L"ABC", *abd = L"ABD", *empty = L"", *none = nullptr;
    EXPECT_EQ(SortCompareString(&abc, &ABC), 0);
    EXPECT_LT(SortCompareString(&abc, &abd), 0);
    EXPECT_LT(SortCompareString(&empty, &abc), 0);
    EXPECT_LT(SortCompareString(&none, &empty), 0);
    EXPECT_EQ(SortCompareString(&none, &none), 0);
}

} // namespace
