#include "Startup.h"

#include "Messages.h"
#include "AppEnv.h"
#include "AppError.h"
#include "CorvoxVersion.h"
#include "RegistryAPI.h"
#include "UserPrompt.h"
#include "ConnectionString.h"
#include "modCommon.h"
#include "modLogging.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Without the store every value reads as missing, and the version check
// would blame the server for what is a missing, unreadable or broken file.
std::string RegistryFileProblem() {
    const std::filesystem::path store = RegistryStorePath();
    std::error_code ec;
    if (!std::filesystem::exists(store, ec)) {
        return FillMessage(QT_TRANSLATE_NOOP("Brevita", "The registry file %1 does not exist. "
                                                        "Install it (the package puts one in "
                                                        "/etc/brevita) or name the server's "
                                                        "registry file in BREVITA_REGISTRY."),
                           {store.string()});
    }
    errno = 0;
    const bool readable = std::ifstream(store, std::ios::binary).good();
    const int err = errno ? errno : EACCES;
    if (!readable || std::filesystem::is_directory(store, ec)) {
        return FillMessage(QT_TRANSLATE_NOOP("Brevita", "The registry file %1 cannot be read "
                                                        "(%2). Make it readable to the "
                                                        "administrators who run Brevita."),
                           {store.string(), std::strerror(err)});
    }
    const auto fault = RegistryStoreFault();
    if (!fault || (fault->line == 0 && fault->reason != kNoRegistryFile)) {
        return {};
    }
    if (fault->line == 0) {
        return FillMessage(QT_TRANSLATE_NOOP("Brevita", "The file %1 is not a registry file: it "
                                                        "does not begin with \"Windows Registry "
                                                        "Editor Version 5.00\" or \"REGEDIT4\". "
                                                        "Name the server's registry file in "
                                                        "BREVITA_REGISTRY."),
                           {store.string()});
    }
    return FillMessage(QT_TRANSLATE_NOOP("Brevita", "Line %1 of the registry file %2 cannot be "
                                                    "read: %3. Brevita reads nothing of the file "
                                                    "until the line is corrected."),
                       {std::to_string(fault->line), store.string(), fault->reason});
}

// An installed program keeps its files in folders that the group of its
// administrators may write.
std::string StateFolderProblem() {
    if (!StateFoldersConfigured()) {
        return {};
    }
    for (const std::filesystem::path &folder : {StateFolder(), LogsFolderPath()}) {
        if (::access(folder.c_str(), W_OK | X_OK) == 0) {
            continue;
        }
        struct stat st;
        const struct group *g = ::stat(folder.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
        const std::string group = g ? g->gr_name : "brevita";
        return FillMessage(QT_TRANSLATE_NOOP("Brevita", "Brevita keeps its files in %1, which "
                                                        "only members of the group %2 may write: "
                                                        "ask an administrator to add you to that "
                                                        "group, then log in again."),
                           {folder.string(), group});
    }
    return {};
}

// Whatever this user's umask, the next administrator of the group must be
// able to replace what this run leaves.
void KeepNewFilesGroupWritable() {
    const mode_t mask = ::umask(0);
    ::umask(mask & ~mode_t{070});
}

} // namespace

bool StartProgram(BrevitaSettings &settings, const std::string &procedure) {
    ErrorHandler onError(ErrorReport::FormMessage, procedure, "frmMain");
    for (auto problem : {RegistryFileProblem, StateFolderProblem}) {
        if (const std::string text = problem(); !text.empty()) {
            return Refuse(text);
        }
    }
    if (StateFoldersConfigured()) {
        KeepNewFilesGroupWritable();
    }
    onError.Step([] { LocalCorvoxVersion = getVersion(); });
    if (!bIsVersionGreaterThanOrEqualTo(4, 0, 2, 0)) {
        return Refuse(
            QT_TRANSLATE_NOOP("Brevita", "This tool only works with Corvox 4.0(2) or later"));
    }
    if (IsRemoteSession()) {
        return Refuse(QT_TRANSLATE_NOOP(
            "Brevita", "This tool cannot be run via a Terminal Services session since it accesses "
                       "a WAV driver.  You will need to run it locally."));
    }
    std::string root;
    onError.Step([&] {
        root = RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kServerInstallKey, "Root Path",
                                             REG_SZ, std::string()));
    });
    if (root.empty()) {
        return Refuse(
            QT_TRANSLATE_NOOP("Brevita", "Could not find install path for local Corvox install."));
    }
    // Nothing goes between: a root path without its final "/" names a
    // folder that does not exist, and the next check says so.
    StreamFilesPath = root + "Stream Files/";
    std::error_code ec;
    if (!std::filesystem::is_directory(StreamFilesPath, ec)) {
        return Refuse(
            FillMessage(QT_TRANSLATE_NOOP("Brevita", "could not find stream files folder: %1"),
                        {StreamFilesPath}));
    }
    ErrorHandler onLoadError(ErrorReport::FormMessage, "LoadSettings", "frmMain");
    LoadSettings(settings, onLoadError);
    onError.Step([&] {
        if (Val(settings.silenceLevel) > 0) {
            settings.silenceLevel = "-43";
        }
    });
    std::string connection, server;
    onError.Step([&] {
        connection = RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey,
                                                   "ConnectionString", REG_SZ, std::string()));
        server = RegValueText(GetRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKey, "DatabaseServer",
                                               REG_SZ, std::string()));
    });
    DbConnectionString = ConnectionStringFor(TrimBlanks(connection), TrimBlanks(server));
    return true;
}

bool StartWithoutWindow(BrevitaSettings &settings) {
    SetExitHook([] {});
    const bool started = StartProgram(settings);
    SetExitHook({});
    return started;
}

} // namespace brevita
