#pragma once

namespace brevita {

// The whole program: the window, or with --batch the run without one.
int RunBrevita(int argc, char **argv);

// Names the application the window shows: message boxes take the name as
// their title. Only the name: a display name would be appended to every
// other window's title.
void NameApplication();

} // namespace brevita
