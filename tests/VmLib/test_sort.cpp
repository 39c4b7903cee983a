#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
#include "VmLib/vmlib.h"

namespace {

// A key that decides the order and a tag that shows where equal keys went.
struct Item {
    int32_t key;
    char tag;
    bool operator==(const Item &) const = default;
};

int32_t ByKey(const void *a, const void *b) {
    return static_cast<const Item *>(a)->key - static_cast<const Item *>(b)->key;
}

std::string Tags(const std::vector<Item> &v) {
    std::string s;
    for (const auto &i : v)
        s += i.tag;
    return s;
}

std::string Sorted(std::vector<Item> v, uint8_t flags) {
    EXPECT_EQ(Sort(v.data(), static_cast<int32_t>(v.size()), sizeof(Item), ByKey, flags), 0);
    return Tags(v);
}

const std::vector<Item> kFive = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};

TEST(Sort, EachAlgorithmPlacesEqualKeysAsItsProcedureDoes) {
    // Worked by hand through the build and sort phases of the heap (root 0
    // with the single child 1, children 2k and 2k+1).
    EXPECT_EQ(Sorted(kFive, 0), "dbeca");
    EXPECT_EQ(Sorted(kFive, SORT_HEAP | 0x80), "dbeca");
    EXPECT_EQ(Sorted(kFive, 0xC0), "dbeca"); // no algorithm bit: heap
    EXPECT_EQ(Sorted(kFive, SORT_QUICK), "dbcae");
    EXPECT_EQ(Sorted(kFive, SORT_SELECTION), "bdcae");
    EXPECT_EQ(Sorted({{2, 'a'}, {1, 'b'}, {1, 'c'}, {2, 'd'}}, SORT_SHELL), "cbad");
    // The stable ones, and the lowest flag winning.
    EXPECT_EQ(Sorted(kFive, SORT_INSERTION), "bdace");
    EXPECT_EQ(Sorted(kFive, SORT_BUBBLE), "bdace");
    EXPECT_EQ(Sorted(kFive, SORT_INSERTION | SORT_BUBBLE), "bdace");
    EXPECT_EQ(Sorted({{2, 'a'}, {1, 'b'}, {1, 'c'}, {2, 'd'}}, SORT_SHELL | SORT_INSERTION),
              "bcad");
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
    for (uint8_t flags : {0, 1, 2, 4, 8, 16, 32}) {
        std::vector<Item> v = input;
        ASSERT_EQ(Sort(v.data(), static_cast<int32_t>(v.size()), sizeof(Item), ByKey, flags), 0);
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), byKey)) << int(flags);
        EXPECT_TRUE(std::is_permutation(v.begin(), v.end(), input.begin())) << int(flags);
        if (flags == SORT_INSERTION || flags == SORT_BUBBLE) {
            EXPECT_EQ(v, stable) << int(flags);
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
    EXPECT_NE(capture.Text().find(L"SORT("), std::wstring::npos);
    EXPECT_EQ(capture.Text().substr(capture.Text().size() - 9), L") (0, 0)\n");
    capture.Clear();
    EXPECT_EQ(Sort(one, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(Sort(one, -1, 4, nullptr, 0), -1);
    EXPECT_EQ(Sort(nullptr, 1, 4, nullptr, 0), -1);
    EXPECT_EQ(capture.Positions(L"SORT"), 3u);
    EXPECT_EQ(capture.Lines().size(), 3u);

    int32_t three[] = {3, 1, 2};
    ASSERT_EQ(Sort(three, 3, 4, SortCompareLong, 0), 0);
    EXPECT_EQ(std::vector<int32_t>(three, three + 3), (std::vector<int32_t>{1, 2, 3}));

    // Without a comparator the bytes decide: little-endian 16-bit values go
    // by their low byte first.
    uint16_t words[] = {0x0102, 0x0201, 0x0001};
    ASSERT_EQ(Sort(words, 3, 2, nullptr, SORT_INSERTION), 0);
    EXPECT_EQ(std::vector<uint16_t>(words, words + 3),
              (std::vector<uint16_t>{0x0001, 0x0201, 0x0102}));
}

TEST(Sort, ComparatorExtremes) {
    auto cmp = [](PFNSORTCOMPARE f, auto a, auto b) { return f(&a, &b); };
    EXPECT_GT(cmp(SortCompareLong, int32_t{INT32_MAX}, int32_t{-1}), 0);
    EXPECT_LT(cmp(SortCompareLong, int32_t{INT32_MIN}, int32_t{1}), 0);
    EXPECT_EQ(cmp(SortCompareLong, int32_t{INT32_MIN}, int32_t{INT32_MAX}), INT32_MIN);
    EXPECT_EQ(cmp(SortCompareLong, int32_t{INT32_MAX}, int32_t{INT32_MIN}), INT32_MAX);
    EXPECT_EQ(cmp(SortCompareShort, int16_t{INT16_MIN}, int16_t{INT16_MAX}), -65535);
    EXPECT_EQ(cmp(SortCompareBool, int32_t{-5}, int32_t{0}), -1);
    EXPECT_EQ(cmp(SortCompareBool, int32_t{0}, int32_t{1}), 1);
    EXPECT_EQ(cmp(SortCompareBool, int32_t{2}, int32_t{INT32_MIN}), 0);
    EXPECT_EQ(cmp(SortCompareNull, int32_t{1}, int32_t{2}), 0);

    int32_t flags[] = {0, 3, 0, -1, 0, 7};
    ASSERT_EQ(Sort(flags, 6, 4, SortCompareBool, SORT_INSERTION), 0);
    EXPECT_EQ(std::vector<int32_t>(flags, flags + 6), (std::vector<int32_t>{3, -1, 7, 0, 0, 0}));

    const wchar_t *abc = L"abc", *ABC = L"ABC", *abd = L"ABD", *empty = L"", *none = nullptr;
    EXPECT_EQ(SortCompareString(&abc, &ABC), 0);
    EXPECT_LT(SortCompareString(&abc, &abd), 0);
    EXPECT_LT(SortCompareString(&empty, &abc), 0);
    EXPECT_LT(SortCompareString(&none, &empty), 0);
    EXPECT_EQ(SortCompareString(&none, &none), 0);
    // Case folding beyond ASCII, under a UTF-8 locale when there is one.
    if (setlocale(LC_ALL, "C.UTF-8") != nullptr) {
        const wchar_t *upper = L"\u00c9T\u00c9", *lower = L"\u00e9t\u00e9";
        EXPECT_EQ(SortCompareString(&upper, &lower), 0);
        setlocale(LC_ALL, "C");
    }
}

} // namespace
