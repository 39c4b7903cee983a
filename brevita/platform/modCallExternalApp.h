#pragma once
// Starting a helper program without a window and waiting for it.

#include <cstdint>
#include <string>
#include <vector>

namespace brevita {

// Starts argv[0] (a path, or a name looked up on PATH) with the given
// arguments: no shell, standard input, output and error on /dev/null, in
// workingDir when one is given; with keepOpen >= 0 that descriptor is open
// in the program as its descriptor 3. Returns the process id; raises 53
// "File not found" (or the matching error) when the program cannot be
// started.
int32_t StartHiddenProgram(const std::vector<std::string> &argv, const std::string &workingDir = {},
                           int keepOpen = -1);

// Waits at most timeoutMs (a negative time-out waits without limit) for the
// process to end. True when it ended in time and also when the time-out
// passed first; false when there was nothing to wait for (id 0, no such
// process, a process that had already ended).
bool WaitForProcessExit(int32_t processId, int32_t timeoutMs);

// Settles a child started here once the caller has waited for it: its exit
// status (0-255) when it ended by itself, -1 when it was ended by a signal.
// A child still running is killed and reaped first, so nothing it does can
// reach a later run. -1 also for a process that is not our child.
int32_t FinishProcess(int32_t processId);

} // namespace brevita
