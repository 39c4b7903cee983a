#include "brevita/AppEnv.h"

#include <cstdlib>
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

} // namespace

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
