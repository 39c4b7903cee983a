#include "RegFileEncoding.h"

#include <cstdint>

namespace brevita::regfile {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

void AppendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE bytes as UTF-8; nothing for an odd length or a lone surrogate.
std::optional<std::string> FromUtf16Le(std::string_view in) {
    if (in.size() % 2) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(in.size() / 2);
    const auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(in[i]) | static_cast<uint8_t>(in[i + 1])
                                                                       << 8);
    };
    for (size_t i = 0; i < in.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00) {
            const uint32_t low = i + 3 < in.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c < 0xE000) {
            return std::nullopt;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string ToUtf16Le(const std::string &in) {
    std::string out;
    out.reserve(in.size() * 2);
    const auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<uint8_t>(in[i]);
        const size_t n = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        uint32_t c = n == 4 ? b & 0x07 : n == 3 ? b & 0x0F : n == 2 ? b & 0x1F : b;
        bool valid = b < 0x80 || n > 1;
        for (size_t k = 1; valid && k < n; ++k) {
            const auto t = i + k < in.size() ? static_cast<uint8_t>(in[i + k]) : 0;
            valid = (t & 0xC0) == 0x80;
            c = c << 6 | (t & 0x3F);
        }
        valid = valid && !(n == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) &&
                !(n == 4 && (c < 0x10000 || c > 0x10FFFF));
        if (!valid) {
            put(b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
        i += n;
    }
    return out;
}

} // namespace

std::optional<DecodedText> DecodeStoreBytes(std::string_view bytes) {
    if (bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
        auto decoded = FromUtf16Le(bytes.substr(kUtf16LeMark.size()));
        if (!decoded) {
            return std::nullopt;
        }
        return DecodedText{Encoding::Utf16LeMark, std::move(*decoded)};
    }
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        return DecodedText{Encoding::Utf8Mark, std::string(bytes.substr(kUtf8Mark.size()))};
    }
    return DecodedText{Encoding::Plain, std::string(bytes)};
}

std::string EncodeStoreText(Encoding encoding, const std::string &text) {
    switch (encoding) {
    case Encoding::Utf16LeMark:
        return std::string(kUtf16LeMark) + ToUtf16Le(text);
    case Encoding::Utf8Mark:
        return std::string(kUtf8Mark) + text;
    default:
        return text;
    }
}

} // namespace brevita::regfile
