#include <gtest/gtest.h>

#include <string>

#include "VmLib/wideprintf.h"

namespace {

std::wstring F(const wchar_t *fmt, ...) {
    wchar_t buf[256];
    va_list args;
    va_start(args, fmt);
    WidePrintfV(buf, 256, fmt, args);
    va_end(args);
    return buf;
}

TEST(WidePrintf, ConversionsWidthsAndFlags) {
    EXPECT_EQ(F(L"%d|%i|%ld|%u|%lu", -12, 7, INT32_MIN, 4000000000u, 0u),
              L"-12|7|-2147483648|4000000000|0");
    EXPECT_EQ(F(L"%x|%lx|%08X|%02X", 0xBEEFu, 0xFFFFFFFFu, 0xABCu, 7u),
              L"beef|ffffffff|00000ABC|07");
    EXPECT_EQ(F(L"[%5d][%-5d][%05d]", -42, -42, -42), L"[  -42][-42  ][-0042]");
    EXPECT_EQ(F(L"[%s][%6s][%-6s][%.2s][%c][%3c]", L"ab", L"ab", L"ab", L"xyz", L'\u00e9', L'z'),
              L"[ab][    ab][ab    ][xy][\u00e9][  z]");
    EXPECT_EQ(F(L"%hs|%S|%s", "narrow", "too", static_cast<const wchar_t *>(nullptr)),
              L"narrow|too|(null)");
    EXPECT_EQ(F(L"100%% %q %d", 5), L"100% %q 5");
}

TEST(WidePrintf, CutsAtTheBufferAndAlwaysTerminates) {
    wchar_t buf[8];
    wmemset(buf, L'#', 8);
    EXPECT_EQ(WidePrintf(buf, 6, L"%s-%d", L"abcdef", 12345), 5);
    EXPECT_EQ(std::wstring(buf), L"abcde");
    EXPECT_EQ(buf[6], L'#'); // nothing written past the given size
    EXPECT_EQ(WidePrintf(buf, 1, L"xyz"), 0);
    EXPECT_EQ(buf[0], L'\0');
    EXPECT_EQ(WidePrintf(buf, 4, L"%8d", 1), 3);
    EXPECT_EQ(std::wstring(buf), L"   ");
    EXPECT_EQ(WidePrintf(buf, 8, L"trail%"), 6);
    EXPECT_EQ(std::wstring(buf), L"trail%");
}

} // namespace
