#pragma once
// The messages the program shows are English literals where they are
// raised; the English text is the key under which the language catalogue in
// force holds the translation, looked up when the message is shown.

#include <string>

namespace brevita {

// The catalogue context of the messages, the progress captions and the
// dialog titles shown through the prompt.
inline constexpr char kMessageContext[] = "Brevita";

// The message in the chosen language: the catalogue's entry for the whole
// text, or for the pattern of a message with variable parts (numbers,
// paths, error descriptions), whose parts are themselves translated where
// the catalogue knows them. Text without an entry comes back unchanged.
std::string TranslateMessage(const std::string &text);

// A fixed text (caption, title) of the messages' context.
std::string TranslateText(const std::string &text);

} // namespace brevita
