#pragma once
// What a run holds while it works: the machine-wide trim lock, and its
// view busy.

#include "TrimView.h"

#include <string>

namespace brevita {

class ErrorHandler;
class TrimLock;

// The stream files folder without its final "/".
std::string LiveFolder();

// Takes lock for the live folder, or says why not (a failure to take it
// through onError, another run holding it in a message). With it taken no
// other run is writing, so what a killed one left in the live folder goes.
bool TakeTrimLock(TrimLock &lock, ErrorHandler &onError);

// The view busy from construction until End or destruction, whichever way
// the run leaves.
class BusyScope {
  public:
    explicit BusyScope(TrimView &view) : view_(view) { view_.SetBusy(true); }
    ~BusyScope() { End(); }
    // The view no longer busy, before the scope ends; once only.
    void End() {
        if (busy_) {
            busy_ = false;
            view_.SetBusy(false);
        }
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

  private:
    TrimView &view_;
    bool busy_ = true;
};

} // namespace brevita
