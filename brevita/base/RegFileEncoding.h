#pragma once
// The store file's bytes as text and back: UTF-8 or UTF-16LE, told apart by
// their byte order mark, so that a file is written in the form it came in.

#include <optional>
#include <string>
#include <string_view>

namespace brevita::regfile {

enum class Encoding { Plain, Utf8Mark, Utf16LeMark };

struct DecodedText {
    Encoding encoding;
    std::string text; // UTF-8, the mark left out
};

// The file's text and the form it was in; nothing when the bytes after a
// UTF-16LE mark are no text (an odd length, a lone surrogate).
std::optional<DecodedText> DecodeStoreBytes(std::string_view bytes);

// The text's bytes in the form given, its mark first. In UTF-16LE, bytes
// that are no UTF-8 (a value may hold any) stand for the characters of the
// same number.
std::string EncodeStoreText(Encoding encoding, const std::string &text);

} // namespace brevita::regfile
