#include "AppEnv.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace brevita {

namespace {

std::filesystem::path folderOverride;
std::string nameOverride;
bool locationSet = false;
std::function<QDateTime()> clockHook;
std::function<void()> eventsHook;
std::function<void()> exitHook;

// The executable does not move while it runs; a batch asks for its folder
// several times per file.
const std::filesystem::path &SelfExe() {
    static const std::filesystem::path self = [] {
        std::error_code ec;
        auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
        return ec ? std::filesystem::path("Brevita") : p;
    }();
    return self;
}

struct StatePaths {
    std::filesystem::path programFolder; // what they were read for
    std::filesystem::path state, logs;
};

// Read once per program folder: tests move the folder, a run does not.
const StatePaths &Paths() {
    static StatePaths paths;
    static bool read = false;
    const std::filesystem::path folder = ProgramFolder();
    if (read && paths.programFolder == folder) {
        return paths;
    }
    paths = {folder, folder, folder / "logs"};
    read = true;
    std::ifstream in(folder / "Brevita.paths");
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Only absolute folders: a relative one would follow the current
        // folder of whoever starts the program.
        if (line.starts_with("state=/")) {
            paths.state = line.substr(6);
        } else if (line.starts_with("logs=/")) {
            paths.logs = line.substr(5);
        }
    }
    return paths;
}

} // namespace

std::filesystem::path StateFolder() {
    return Paths().state;
}

std::filesystem::path LogsFolderPath() {
    return Paths().logs;
}

bool StateFoldersConfigured() {
    const StatePaths &p = Paths();
    return p.state != p.programFolder || p.logs != p.programFolder / "logs";
}

std::filesystem::path ProgramFolder() {
    return locationSet ? folderOverride : SelfExe().parent_path();
}

std::string ExecutableName() {
    return locationSet ? nameOverride : SelfExe().stem().string();
}

void SetProgramLocation(const std::filesystem::path &folder, const std::string &executableName) {
    folderOverride = folder;
    nameOverride = executableName;
    locationSet = true;
}

void ResetProgramLocation() {
    locationSet = false;
}

QDateTime Now() {
    return clockHook ? clockHook() : QDateTime::currentDateTime();
}

void SetClock(std::function<QDateTime()> clock) {
    clockHook = std::move(clock);
}

void SetProcessEventsHook(std::function<void()> hook) {
    eventsHook = std::move(hook);
}

void ProcessPendingEvents() {
    if (eventsHook) {
        eventsHook();
    }
}

void SetExitHook(std::function<void()> hook) {
    exitHook = std::move(hook);
}

void EndProgram() {
    if (exitHook) {
        exitHook();
        return;
    }
    std::exit(0);
}

} // namespace brevita
