#pragma once
// A batch asked to stop (the window closed, SIGTERM or SIGINT) starts no
// further trim: the running ones finish or roll back, and the run ends
// with its log complete.

namespace brevita {

// Asks the running batch to stop; safe in a signal handler.
void RequestStop();
bool StopRequested();
// A new batch begins: no request of an earlier one is left.
void ClearStopRequest();
// The request came from SIGTERM or SIGINT: the program is to end.
bool StopSignalled();

// For a batch's trims: SIGTERM and SIGINT ask it to stop (a second one
// ends the program as before).
class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals &) = delete;
    StopOnSignals &operator=(const StopOnSignals &) = delete;
};

} // namespace brevita
