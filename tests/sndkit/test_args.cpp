#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sndkit/args.h"
#include "sndkit/levels.h"
#include "sndkit/strex.h"

namespace {

struct Argv {
    std::vector<std::wstring> text;
    std::vector<wchar_t *> ptr;
    explicit Argv(std::initializer_list<const wchar_t *> args) : text(args.begin(), args.end()) {
        for (auto &t : text)
            ptr.push_back(t.data());
    }
    int32_t count() const { return int32_t(ptr.size()); }
    wchar_t **argv() { return ptr.data(); }
};

std::wstring Take(wchar_t *p) {
    std::wstring s = p ? p : L"(null)";
    StrRelease(p);
    return s;
}

TEST(Args, OptionLookupMatchesNameCaseAndPosition) {
    Argv a{L"prog", L"-silencex", L"/SILENCE:-30dB", L"/home/a.wav", L"-a:1", L"file", L"-a:2"};
    wchar_t value[ARG_VALUE_CHARS];
    EXPECT_EQ(GetArgOption(1, a.count(), a.argv(), L"silence", value, ARG_VALUE_CHARS), 2);
    EXPECT_STREQ(value, L"-30dB");
    EXPECT_EQ(GetArgOption(0, a.count(), a.argv(), L"a", nullptr, 0), 4);
    EXPECT_EQ(GetArgOption(5, a.count(), a.argv(), L"a", value, ARG_VALUE_CHARS), 6);
    EXPECT_STREQ(value, L"2");
    // An absolute path is a plain argument, not an option named "home/a.wav".
    EXPECT_EQ(GetArgOption(1, a.count(), a.argv(), nullptr, value, ARG_VALUE_CHARS), 3);
    EXPECT_STREQ(value, L"/home/a.wav");
    EXPECT_EQ(GetArgOption(7, a.count(), a.argv(), L"a", nullptr, 0), -1);
}

TEST(Args, TypedLookupsAndDefaults) {
    Argv a{L"prog", L"-block", L"-gap:", L"-strip:file.wav,3", L"-x:0", L"-f:2.5", L"-s:a\\tb"};
    EXPECT_EQ(GetArgInt(1, a.count(), a.argv(), L"block", 1000), 1000);
    EXPECT_EQ(GetArgBool(1, a.count(), a.argv(), L"strip", 0), 1);
    EXPECT_EQ(GetArgBool(1, a.count(), a.argv(), L"x", 1), 0);
    EXPECT_EQ(GetArgBool(1, a.count(), a.argv(), L"absent", 9), 9);
    EXPECT_DOUBLE_EQ(GetArgFloat(1, a.count(), a.argv(), L"f", 0), 2.5);
    EXPECT_EQ(GetArgString(1, a.count(), a.argv(), L"gap", nullptr, 0), nullptr);
    EXPECT_EQ(Take(GetArgString(1, a.count(), a.argv(), L"s", nullptr, ARGF_UNESCAPE)), L"a\tb");
    EXPECT_EQ(Take(GetArgString(1, a.count(), a.argv(), L"s", nullptr, 0)), L"a\\tb");
    // A value longer than the lookup's buffer is cut, not overrun.
    std::wstring longArg = L"-v:";
    longArg.append(600, L'x');
    Argv b{L"prog", longArg.c_str()};
    EXPECT_EQ(Take(GetArgString(1, b.count(), b.argv(), L"v", nullptr, 0)).size(), 511u);
}

TEST(Args, TokensKeepEmptyFields) {
    wchar_t list[] = L"5,,7";
    wchar_t *cursor = list;
    EXPECT_EQ(NextTokenInt(&cursor, L",", -1), 5);
    EXPECT_EQ(NextTokenInt(&cursor, L",", -1), -1);
    EXPECT_EQ(NextTokenInt(&cursor, L",", -1), 7);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(NextTokenInt(&cursor, L",", -1), -1);
    wchar_t list2[] = L",x";
    cursor = list2;
    EXPECT_EQ(NextTokenString(&cursor, L",", nullptr, 0), nullptr);
    EXPECT_EQ(Take(NextTokenString(&cursor, L",", nullptr, 0)), L"x");
}

TEST(Args, LevelsInEveryUnit) {
    EXPECT_NEAR(ParseLevel(L"-40dB"), 0.01, 1e-12);
    EXPECT_NEAR(ParseLevel(L"40DB"), 0.01, 1e-12);
    EXPECT_NEAR(ParseLevel(L"-130dB"), 1e-6, 1e-15);
    EXPECT_NEAR(ParseLevel(L"50%"), 0.5, 1e-12);
    EXPECT_NEAR(ParseLevel(L"0.5"), 0.5, 1e-12);
    EXPECT_EQ(ParseLevel(L"1"), 1.0);
    EXPECT_NEAR(ParseLevel(L"16384"), 16384.0 / 32767, 1e-9);
    // A PCM value counts by its low 16 bits.
    EXPECT_NEAR(ParseLevel(L"65864"), 328.0 / 32767, 1e-9);
    EXPECT_EQ(PcmValueToLinear(98304.5), -1.0);
    EXPECT_EQ(LinearToPcm(-0.01), -328);
    EXPECT_EQ(LinearToDb(0), -120.0);
    EXPECT_DOUBLE_EQ(StrToDouble(L" -2.75dB"), -2.75);
    EXPECT_TRUE(IsLevelText(L"12.5 %"));
}

TEST(Strex, UnescapeAndSearch) {
    wchar_t out[16];
    StrUnescape(L"\\x41\\u00e9\\101\\q\\", out, 16);
    EXPECT_STREQ(out, L"A\u00e9Aq\\");
    StrUnescape(L"abcdef", out, 4);
    EXPECT_STREQ(out, L"abc");
    const wchar_t *text = L"level -45DB";
    EXPECT_EQ(StrFindNoCase(text, L"db"), text + 9);
    EXPECT_EQ(StrFindNoCase(text, L"%"), nullptr);
}

} // namespace
