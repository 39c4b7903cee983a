#pragma once
// Starting the program: the checks that it may run here, the program-wide
// paths, and the stored settings. The window and the batch without a window
// start through the same steps.

#include "Settings.h"

#include <string>

namespace brevita {

inline constexpr const char kServerInstallKey[] = "SOFTWARE\\Velmora\\Ostrel\\1.0";

// The server's "Stream Files" folder, ending in "/"; set at start-up.
extern std::string StreamFilesPath;

// True in a remote-desktop session, where the program refuses to run.
bool IsRemoteSession();

// The start-up in order: server version, remote session, install folder,
// stream files folder, LoadSettings into settings, the level's sign, the
// connection string. A failed check shows its message and calls
// ExitProgram; the result is then false and nothing was loaded. Unexpected
// errors are reported as from procedure `procedure` of frmMain and the
// start-up goes on.
bool StartProgram(BrevitaSettings &settings, const std::string &procedure = "Form_Load");

// StartProgram for a run without a window: a failed check does not end the
// program; the false result leaves the ending to the caller.
bool StartWithoutWindow(BrevitaSettings &settings);

} // namespace brevita
