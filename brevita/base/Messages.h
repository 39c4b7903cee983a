#pragma once
// The messages the program shows are English literals where they are
// raised, marked there with QT_TRANSLATE_NOOP("Brevita", ...) so that the
// catalogue tools find them; the English text is the key under which the
// language catalogue in force holds the translation, looked up when the
// message is shown.

#include <QtGlobal>

#include <string>
#include <vector>

namespace brevita {

// The catalogue context of the messages, the progress captions and the
// dialog titles shown through the prompt.
inline constexpr char kMessageContext[] = "Brevita";

// The message in the chosen language: the catalogue's entry for the whole
// text, or for the pattern of a message with variable parts (numbers,
// paths, error descriptions), whose parts are themselves translated where
// the catalogue knows them. Text without an entry comes back unchanged.
std::string TranslateMessage(const std::string &text);

// A message with variable parts (numbers, paths, error descriptions): the
// marked English pattern with %1, %2, ... filled in one pass, so that a part
// holding "%2" stays as it is. The pattern is remembered: TranslateMessage
// then finds the message's translation and translates its parts.
std::string FillMessage(const char *pattern, const std::vector<std::string> &parts);

// A fixed text (caption, title) of the messages' context.
std::string TranslateText(const std::string &text);

} // namespace brevita
