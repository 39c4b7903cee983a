#include "Settings.h"

#include "Messages.h"

#include "AppError.h"
#include "RegistryAPI.h"

namespace brevita {

namespace {

// One row per stored value, in the order they are read and written.
struct Row {
    const char *name;
    bool BrevitaSettings::*flag;
    std::string BrevitaSettings::*text;
};

const Row kRows[] = {
    {"TrimVoiceNames", &BrevitaSettings::trimVoiceNames, nullptr},
    {"TrimGreetings", &BrevitaSettings::trimGreetings, nullptr},
    {"BackupFiles", &BrevitaSettings::backupFiles, nullptr},
    {"BackupDestination", nullptr, &BrevitaSettings::backupDestination},
    {"MaxVoiceNames", nullptr, &BrevitaSettings::maxVoiceNames},
    {"SilenceToTrim", nullptr, &BrevitaSettings::silenceToTrim},
    {"SilencePadding", nullptr, &BrevitaSettings::silencePadding},
    {"SilenceLevel", nullptr, &BrevitaSettings::silenceLevel},
    {"FollowLineNoise", &BrevitaSettings::followLineNoise, nullptr},
    {"CutClosingKey", &BrevitaSettings::cutClosingKey, nullptr},
};

void EnsureKey(ErrorHandler &onError) {
    onError.Step([] {
        if (!KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey)) {
            CreateRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey);
        }
    });
}

} // namespace

void LoadSettings(BrevitaSettings &settings, ErrorHandler &onError) {
    EnsureKey(onError);
    for (const Row &row : kRows) {
        onError.Step([&] {
            if (row.flag) {
                bool &flag = settings.*row.flag;
                // A check box holds 0 or 1; any other stored number counts as
                // checked, as a non-zero value would.
                RegValue v = GetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, REG_DWORD,
                                              int32_t{flag ? 1 : 0});
                flag = static_cast<int16_t>(RegValueLong(v)) != 0;
            } else {
                std::string &text = settings.*row.text;
                text = RegValueText(
                    GetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, REG_SZ, text));
            }
        });
    }
}

void SaveSettings(const BrevitaSettings &settings, ErrorHandler &onError) {
    EnsureKey(onError);
    for (const Row &row : kRows) {
        onError.Step([&] {
            if (row.flag) {
                SetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, REG_DWORD,
                                 int32_t{settings.*row.flag ? 1 : 0});
            } else {
                SetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, row.name, REG_SZ,
                                 settings.*row.text);
            }
        });
    }
}

std::string NumberRule::Message() const {
    return FillMessage(QT_TRANSLATE_NOOP("Brevita", "You must enter a number between %1 and %2"),
                       {std::to_string(lower), std::to_string(upper)});
}

} // namespace brevita
