#pragma once
// The user-interface language: which one is chosen, its language resource
// file beside the program (a translation catalogue under the name
// <program>_<ABBR>.dll), the languages whose files are there, and the font
// each control needs for the chosen language.

#include <cstdint>
#include <string>
#include <vector>

class QTranslator;
class QWidget;

namespace brevita {

// A Windows language id; 0 until a language has been chosen.
extern int32_t CurrentLanguageId;
// The abbreviations of the language resource files found by the last scan,
// in the folder's listing order; one empty entry when none was found.
extern std::vector<std::string> AvailableLanguages;

// The catalogue of the loaded language resource file, installed in the
// application; null when none is loaded.
const QTranslator *LanguageResourceHandle();

// The pseudo-language of the program's own: English for TDD/TTY users.
inline constexpr int32_t kTddLanguageId = 33801;
// Where a control keeps its font's character set (Qt fonts have none).
inline constexpr char kFontCharSetProperty[] = "FontCharSet";

// Chooses the user's language if none is chosen, loads its resource file,
// rescans the available languages and switches the fonts of every window.
void InitalizeLanguages();
void LocalizeForm(QWidget *form);
void LocalizeControl(QWidget *control);

// The abbreviation table, exact and case-sensitive; 1033 for anything else.
int32_t LanguageIdFromAbbreviation(const std::string &abbreviation);
// "ERR" for an id that names no language.
std::string AbbreviationFromLanguageId(int32_t id);
// The language's name as the user's locale spells it; "(error)" for an id
// that names no language.
std::string LanguageNameFromId(int32_t id);
std::string LanguageNameFromAbbreviation(const std::string &abbreviation);

// The program's windows that exist, shown or hidden (no pop-up menus).
std::vector<QWidget *> LoadedWindows();
// Calls each loaded window's "<name>_Auto_Init" hook where it has one, so
// that it re-reads its texts, and repaints its controls.
void ReinitializeWindows();

} // namespace brevita
