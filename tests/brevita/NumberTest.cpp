#include "brevita/UserPrompt.h"
#include "brevita/modCommon.h"

#include <gtest/gtest.h>

using brevita::MyIsNumber;

TEST(MyIsNumber, WholeNumbersWithinTheRange) {
    brevita::RecordingPrompt prompt;
    brevita::ScopedUserPrompt installed(prompt);
    EXPECT_TRUE(MyIsNumber("-40", -80, 0));
    EXPECT_TRUE(MyIsNumber(" -40 ", -80, 0));
    EXPECT_TRUE(MyIsNumber("-80", -80, 0));
    EXPECT_TRUE(MyIsNumber("0", -80, 0));
    EXPECT_FALSE(MyIsNumber("-81", -80, 0));
    EXPECT_FALSE(MyIsNumber("5", -80, 0));
    EXPECT_FALSE(MyIsNumber("-40.0", -80, 0));
    EXPECT_TRUE(MyIsNumber("1000", 0, 1000));
    EXPECT_TRUE(MyIsNumber("+0012", 0, 1000));
    EXPECT_FALSE(MyIsNumber("1001", 0, 1000));
    for (const char *bad : {"", "  ", "abc", "12.5", "12a", "- 5", "1e3", "--1", "+", "0x10",
                            "1,000", "\xef\xbc\x91"}) {
        EXPECT_FALSE(MyIsNumber(bad, 0, 1000)) << bad;
    }
    EXPECT_TRUE(MyIsNumber("-2147483648", 0, 0));
    EXPECT_TRUE(MyIsNumber("-300", 0, 0));
    EXPECT_TRUE(prompt.questions.empty());
}

TEST(MyIsNumber, TooLargeIsReportedAndFails) {
    brevita::RecordingPrompt prompt;
    brevita::ScopedUserPrompt installed(prompt);
    EXPECT_FALSE(MyIsNumber("99999999999", 0, 1000));
    EXPECT_FALSE(MyIsNumber("2147483648", 0, 0));
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{"Error in MyIsNumber function:Overflow",
                                        "Error in MyIsNumber function:Overflow"}));
    EXPECT_TRUE(MyIsNumber("2147483647", 0, 0));
}
