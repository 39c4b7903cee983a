#pragma once
// The user's settings: the main window's control values, kept in the
// registry under the program's own key.

#include <cstdint>
#include <string>

namespace brevita {

inline constexpr const char kSettingsKey[] = "Software\\Velmora\\Brevita";

// The values as the window holds them; the numbers stay the typed text.
struct BrevitaSettings {
    bool trimVoiceNames = true;
    bool trimGreetings = false;
    bool backupFiles = true;
    std::string backupDestination;
    std::string maxVoiceNames = "200";
    std::string silenceToTrim = "300";
    std::string silencePadding = "250";
    std::string silenceLevel = "-45";
    // Off, a stored configuration trims as it did before these existed.
    bool followLineNoise = false;
    bool cutClosingKey = false;
};

// The range each number box takes, the message shown when its text is not
// a whole number in that range, and the text the box is reset to. The reset
// texts are not all the defaults: the level resets to -43, the padding to
// 120.
struct NumberRule {
    std::string BrevitaSettings::*field;
    int32_t lower;
    int32_t upper;
    const char *reset;
    // "You must enter a number between <lower> and <upper>"
    std::string Message() const;
};

inline const NumberRule kNumberRules[] = {
    {&BrevitaSettings::maxVoiceNames, 0, 1000, "200"},
    {&BrevitaSettings::silenceLevel, -80, 0, "-43"},
    {&BrevitaSettings::silencePadding, 0, 400, "120"},
    {&BrevitaSettings::silenceToTrim, 100, 2000, "300"},
};

class ErrorHandler;

// Reads every stored value over the one in settings (a missing value keeps
// it), creating the key when it is missing. Failures are reported through
// onError and the next value is read.
void LoadSettings(BrevitaSettings &settings, ErrorHandler &onError);

// Writes every value, creating the key when it is missing.
void SaveSettings(const BrevitaSettings &settings, ErrorHandler &onError);

} // namespace brevita
