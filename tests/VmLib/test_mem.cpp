#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "VmLib/trace_capture.h"
#include "VmLib/vmlib.h"

namespace {

uint32_t Tag(const void *p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

template <class... Args> std::wstring Line(const wchar_t *fmt, Args... args) {
    wchar_t buf[256];
    swprintf(buf, 256, fmt, args...);
    return buf;
}

bool AllZero(const void *p, size_t n) {
    const auto *b = static_cast<const unsigned char *>(p);
    return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

// Every test releases what it allocates, so the counters start from 0.
TEST(Mem, CountersAndAllocationLines) {
    TraceCapture capture(9);
    auto *p = static_cast<unsigned char *>(MemAllocEx(nullptr, 16, 0, L"unit", 10));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, 16));
    void *q = MemAllocEx(nullptr, 5, 0x12, L"other", 11);
    ASSERT_NE(q, nullptr);
    memset(p, 0xAB, 16);
    auto *r = static_cast<unsigned char *>(MemReAllocEx(nullptr, p, 40, 0, L"unit", 12));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(MemSize(nullptr, r), 40u);
    EXPECT_EQ(r[15], 0xAB);
    EXPECT_TRUE(AllZero(r + 16, 24));
    auto *s = static_cast<unsigned char *>(MemReAllocEx(nullptr, r, 8, MEM_NOZERO, L"unit", 13));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(MemSize(nullptr, s), 8u);
    EXPECT_EQ(MemFreeEx(nullptr, q, L"other", 14), nullptr);
    EXPECT_EQ(MemFreeEx(nullptr, s, L"unit", 15), nullptr);

    std::vector<std::wstring> expected = {
        Line(L"unit(10) : %08X = MemAllocEx(16, 00000000) (1, 16)\n", Tag(p)),
        Line(L"other(11) : %08X = MemAllocEx(5, 00000012) (2, 21)\n", Tag(q)),
        Line(L"unit(12) : %08X = MemReAllocEx(%08X, 40, 00000000) (2, 45)\n", Tag(r), Tag(p)),
        Line(L"unit(13) : %08X = MemReAllocEx(%08X, 8, 00000001) (2, 13)\n", Tag(s), Tag(r)),
        Line(L"other(14) : MemFreeEx(%08X) (1, 8)\n", Tag(q)),
        Line(L"unit(15) : MemFreeEx(%08X) (0, 0)\n", Tag(s)),
    };
    EXPECT_EQ(capture.Lines(), expected);
}

TEST(Mem, RefusalsHandTheBlockBack) {
    TraceCapture capture(9);
    int local = 0;
    EXPECT_EQ(MemFreeEx(nullptr, &local, L"unit", 1), &local);
    EXPECT_EQ(MemSize(nullptr, &local), 0u);
    EXPECT_EQ(MemReAllocEx(nullptr, &local, 8, 0, L"unit", 2), nullptr);
    void *p = MemAllocEx(nullptr, 8, 0, L"unit", 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemFreeEx(nullptr, p, L"unit", 4), nullptr);
    // A second release of the same block is refused, not a double free.
    EXPECT_EQ(MemFreeEx(nullptr, p, L"unit", 5), p);
    EXPECT_EQ(MemSize(nullptr, p), 0u);
    EXPECT_EQ(MemFreeEx(nullptr, nullptr, L"unit", 6), nullptr);
    EXPECT_EQ(capture.Positions(L"MEM"), 3u);
    // Only the real allocation and release were counted.
    EXPECT_NE(capture.Text().find(L"unit(4) : MemFreeEx"), std::wstring::npos);
    EXPECT_NE(capture.Text().find(L") (0, 0)\n"), std::wstring::npos);
    EXPECT_EQ(capture.Text().find(L"unit(5) : MemFreeEx"), std::wstring::npos);

    // A zero-byte block is still a block: it can be resized and released.
    void *z = MemAllocEx(nullptr, 0, 0, L"unit", 7);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(MemSize(nullptr, z), 0u);
    void *z2 = MemReAllocEx(nullptr, z, 3, 0, L"unit", 8);
    ASSERT_NE(z2, nullptr);
    EXPECT_TRUE(AllZero(z2, 3));
    EXPECT_EQ(MemFreeEx(nullptr, z2, L"unit", 9), nullptr);
    EXPECT_NE(capture.Text().find(L"unit(9) : MemFreeEx(" + Line(L"%08X", Tag(z2)) + L") (0, 0)\n"),
              std::wstring::npos);
}

TEST(Mem, InitTermReferencesAndBadHandles) {
    TraceCapture capture(3);
    EXPECT_EQ(MemInit(0x105, VmModuleHandle()), nullptr);
    EXPECT_EQ(MemInit(MEM_VERSION, nullptr), nullptr);
    HVMMEM a = MemInit(MEM_VERSION, VmModuleHandle());
    HVMMEM b = MemInit(MEM_VERSION, VmModuleHandle());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(MemTerm(a), 0);
    // Still alive after the first release: its handle is accepted.
    void *p = MemAllocEx(a, 4, 0, L"unit", 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemSize(a, p), 4u);
    EXPECT_EQ(MemFreeEx(a, p, L"unit", 2), nullptr);
    EXPECT_EQ(MemTerm(a), 0);
    // Below level 9 the allocation lines stay out.
    EXPECT_EQ(capture.Positions(L"MEM"), 2u);
    EXPECT_EQ(capture.Lines().size(), 2u);

    auto *bogus = reinterpret_cast<HVMMEM>(&capture);
    EXPECT_EQ(MemAllocEx(bogus, 4, 0, L"unit", 3), nullptr);
    EXPECT_EQ(capture.Lines().back(), L"unit(3) : MemAllocEx(4, 00000000) (0, 0) failed\n");
    int local = 0;
    EXPECT_EQ(MemFreeEx(bogus, &local, L"unit", 4), &local);
    EXPECT_EQ(MemReAllocEx(bogus, &local, 4, 0, L"unit", 5), nullptr);
    EXPECT_EQ(MemSize(bogus, &local), 0u);
    EXPECT_EQ(MemTerm(bogus), -1);
    EXPECT_EQ(capture.Positions(L"MEM"), 5u);
}

} // namespace
