#include "modCommon.h"

#include "AppError.h"
#include "Messages.h"

namespace brevita {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool MyIsNumber(const std::string &text, int32_t lower, int32_t upper) {
    bool overflow = false;
    const std::optional<int32_t> value = ParseWholeNumber(text, overflow);
    if (!value) {
        // A number that does not fit is not within any range.
        if (overflow) {
            ErrorHandler(ErrorReport::HeadedMessage,
                         QT_TRANSLATE_NOOP("Brevita", "Error in MyIsNumber function:%1"), {})
                .Report(AppError(ErrOverflow, QT_TRANSLATE_NOOP("Brevita", "Overflow")));
        }
        return false;
    }
    if (lower == 0 && upper == 0) {
        return true;
    }
    return *value >= lower && *value <= upper;
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

std::string AsciiLower(std::string text) {
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::optional<int32_t> ParseWholeNumber(const std::string &text, bool &overflow) {
    overflow = false;
    const std::string t = TrimBlanks(text);
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        ++i;
    }
    if (i == t.size()) {
        return std::nullopt;
    }
    int64_t n = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') {
            return std::nullopt;
        }
        // Past 2^31 no sign can bring it back; the digits that follow
        // still decide whether it was a number at all.
        if (n <= 2147483648LL) {
            n = n * 10 + (t[i] - '0');
        }
    }
    n = negative ? -n : n;
    if (n > INT32_MAX || n < INT32_MIN) {
        overflow = true;
        return std::nullopt;
    }
    return static_cast<int32_t>(n);
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
