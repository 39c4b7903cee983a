#pragma once
// What the modules need from the running program: where it lives, its name
// and version, the clock, and the hooks that the GUI installs.

#include <QDateTime>

#include <filesystem>
#include <functional>
#include <string>

namespace brevita {

struct ProgramVersion {
    int major;
    int minor;
    int revision;
};
// The build passes the project's version.
inline constexpr ProgramVersion kProgramVersion{BREVITA_VERSION_MAJOR, BREVITA_VERSION_MINOR,
                                                BREVITA_VERSION_PATCH};

// The folder that holds the executable, and its name without extension.
// Both come from /proc/self/exe unless set (tests point them elsewhere).
std::filesystem::path ProgramFolder();
std::string ExecutableName();
void SetProgramLocation(const std::filesystem::path &folder, const std::string &executableName);
void ResetProgramLocation();

// Where the program writes what it keeps between runs (the lock, the
// temporary recording, the pending requests) and its logs: beside itself,
// unless a file "Brevita.paths" there names other folders ("state=DIR" and
// "logs=DIR" lines), as an installed package does.
std::filesystem::path StateFolder();
std::filesystem::path LogsFolderPath();
// True when Brevita.paths moved the folders away from the program.
bool StateFoldersConfigured();

// Local time now; tests may fix the clock (an empty function restores it).
QDateTime Now();
void SetClock(std::function<QDateTime()> clock);

// "Let the GUI process pending events": installed by the program, called
// after every log line. Does nothing until installed.
void SetProcessEventsHook(std::function<void()> hook);
void ProcessPendingEvents();

// Ends the program at once. The default leaves through std::exit(0); tests
// install a hook that records the request instead.
void SetExitHook(std::function<void()> hook);
void EndProgram();

} // namespace brevita
