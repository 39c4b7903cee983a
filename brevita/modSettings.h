#pragma once
// The user's settings: the main window's control values, kept in the
// registry under the program's own key.

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
};

class ErrorHandler;

// Reads every stored value over the one in settings (a missing value keeps
// it), creating the key when it is missing. Failures are reported through
// onError and the next value is read.
void LoadSettings(BrevitaSettings &settings, ErrorHandler &onError);

// Writes every value, creating the key when it is missing.
void SaveSettings(const BrevitaSettings &settings, ErrorHandler &onError);

} // namespace brevita
