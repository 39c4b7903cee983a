#pragma once

#include <cstdint>
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

} // namespace brevita
