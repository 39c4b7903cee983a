#include "brevita/modCommon.h"

#include "brevita/AppError.h"
#include "brevita/UserPrompt.h"

namespace brevita {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks, an optional sign, at least one digit, blanks: nothing else.
bool LooksLikeWholeNumber(const std::string &text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return digits > 0 && i == text.size();
}

int32_t ToLong(const std::string &text) {
    size_t i = 0;
    while (IsBlank(text[i])) {
        ++i;
    }
    bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > 2147483648LL) {
            RaiseError(ErrOverflow, "Overflow");
        }
    }
    n = negative ? -n : n;
    if (n > INT32_MAX) {
        RaiseError(ErrOverflow, "Overflow");
    }
    return static_cast<int32_t>(n);
}

} // namespace

bool MyIsNumber(const std::string &text, int32_t lower, int32_t upper) {
    if (text.empty() || !LooksLikeWholeNumber(text) || text.find('.') != std::string::npos) {
        return false;
    }
    int32_t value = 0;
    try {
        value = ToLong(text);
    } catch (const AppError &e) {
        MsgBox("Error in MyIsNumber function:" + e.Description());
        // A number that does not fit is not within any range.
        return false;
    }
    if (lower == 0 && upper == 0) {
        return true;
    }
    return value >= lower && value <= upper;
}

double Val(const std::string &text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    double sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        sign = text[i] == '-' ? -1 : 1;
        ++i;
    }
    double value = 0;
    double scale = 0; // 0 before the decimal point, then the next digit's weight
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    return sign * value;
}

std::string TrimBlanks(const std::string &text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

} // namespace brevita
