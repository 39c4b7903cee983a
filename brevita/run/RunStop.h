#pragma once
// A batch asked to stop (the window closed, SIGTERM or SIGINT) starts no
// further trim: the running ones finish or roll back, and the run ends
// with its log complete.

namespace brevita {

// Asks the running batch to stop; safe in a signal handler.
void RequestStop();
bool StopRequested();

// For a batch's lifetime: SIGTERM and SIGINT ask it to stop (a second one
// ends the program as before), and no request of an earlier run is left.
class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals &) = delete;
    StopOnSignals &operator=(const StopOnSignals &) = delete;
};

} // namespace brevita
