#include "brevita/modStartup.h"

#include "brevita/AppError.h"
#include "brevita/CorvoxVersion.h"
#include "brevita/RegistryAPI.h"
#include "brevita/UserPrompt.h"
#include "brevita/VoicemailDb.h"
#include "brevita/modCommon.h"
#include "brevita/modLogging.h"

#include <cstdlib>
#include <filesystem>

namespace brevita {

std::string StreamFilesPath;

bool IsRemoteSession() {
    const char *xrdp = std::getenv("XRDP_SESSION");
    return xrdp != nullptr;
}

namespace {

bool Refuse(const std::string &message) {
    MsgBox(message);
    ExitProgram();
    return false;
}

} // namespace

bool StartProgram(BrevitaSettings &settings, const std::string &procedure) {
    ErrorHandler onError(ErrorReport::FormMessage, procedure, "frmMain");
    onError.Step([] { LocalCorvoxVersion = getVersion(); });
    if (!bIsVersionGreaterThanOrEqualTo(4, 0, 2, 0)) {
        return Refuse("This tool only works with Corvox 4.0(2) or later");
    }
    if (IsRemoteSession()) {
        return Refuse("This tool cannot be run via a Terminal Services session since it accesses "
                      "a WAV driver.  You will need to run it locally.");
    }
    std::string root;
    onError.Step([&] {
        root = RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kServerInstallKey, "Root Path",
                                             REG_SZ, std::string()));
    });
    if (root.empty()) {
        return Refuse("Could not find install path for local Corvox install.");
    }
    // Nothing goes between: a root path without its final "/" names a
    // folder that does not exist, and the next check says so.
    StreamFilesPath = root + "Stream Files/";
    std::error_code ec;
    if (!std::filesystem::is_directory(StreamFilesPath, ec)) {
        return Refuse("could not find stream files folder: " + StreamFilesPath);
    }
    ErrorHandler onLoadError(ErrorReport::FormMessage, "LoadSettings", "frmMain");
    LoadSettings(settings, onLoadError);
    onError.Step([&] {
        if (Val(settings.silenceLevel) > 0) {
            settings.silenceLevel = "-43";
        }
    });
    DbConnectionString = kCorvoxConnectionString;
    return true;
}

} // namespace brevita
