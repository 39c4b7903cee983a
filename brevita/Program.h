#pragma once

namespace brevita {

// The whole program: the window, or with --batch the run without one.
int RunBrevita(int argc, char **argv);

} // namespace brevita
