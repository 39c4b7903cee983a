#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brevita {

// True when text is a whole number (blanks around it, an optional sign,
// decimal digits) within lower..upper, both included; the range applies
// unless both bounds are 0. A number beyond 32 bits shows
// "Error in MyIsNumber function:" with the description and fails.
bool MyIsNumber(const std::string &text, int32_t lower = 0, int32_t upper = 0);

// The number a text starts with: blanks skipped, an optional sign, digits
// with at most one decimal point; reading stops at the first character that
// cannot continue it. 0 when the text starts with no number.
double Val(const std::string &text);

// The text without its leading and trailing blanks.
std::string TrimBlanks(const std::string &text);

// ASCII letters in lower case; other bytes (UTF-8 included) unchanged.
std::string AsciiLower(std::string text);

// A whole number (blanks around it, an optional sign, decimal digits) as a
// 32-bit integer; nothing for any other text, and then overflow tells
// whether it was a whole number too large for 32 bits.
std::optional<int32_t> ParseWholeNumber(const std::string &text, bool &overflow);

} // namespace brevita
