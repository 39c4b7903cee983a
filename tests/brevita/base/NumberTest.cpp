#include "RecordingPrompt.h"
#include "modCommon.h"

#include <gtest/gtest.h>

using brevita::MyIsNumber;

TEST(MyIsNumber, WholeNumbersWithinTheRangeAndOverflow) {
    brevita::RecordingPrompt prompt;
    brevita::ScopedUserPrompt installed(prompt);
    // A range of 0 to 0 takes any number.
    const struct {
        const char *text;
        int lo, hi;
        bool ok;
    } cases[] = {{" -40 ", -80, 0, true},     {"-80", -80, 0, true},     {"0", -80, 0, true},
                 {"-81", -80, 0, false},      {"1", -80, 0, false},      {"+0012", 0, 1000, true},
                 {"-2147483648", 0, 0, true}, {"2147483647", 0, 0, true}};
    for (const auto &c : cases)
        EXPECT_EQ(MyIsNumber(c.text, c.lo, c.hi), c.ok) << c.text;
    for (const char *bad :
         {"", "  ", "12.5", "12a", "- 5", "1e3", "--1", "+", "0x10", "1,000", "\xef\xbc\x91"})
        EXPECT_FALSE(MyIsNumber(bad, 0, 1000)) << bad;
    EXPECT_TRUE(prompt.questions.empty());

    // Too large is reported, and fails.
    EXPECT_FALSE(MyIsNumber("99999999999", 0, 1000));
    EXPECT_FALSE(MyIsNumber("2147483648", 0, 0));
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{"Error in MyIsNumber function:Overflow",
                                        "Error in MyIsNumber function:Overflow"}));
}
