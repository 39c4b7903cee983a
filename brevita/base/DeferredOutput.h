#pragma once
// What a trim running beside the batch writes to the log and shows as
// messages is held back and replayed, in the list's order, on the batch's
// own thread; a run with parallel trims then logs as a serial one does.

#include "UserPrompt.h"

#include <string>
#include <vector>

namespace brevita {

struct DeferredEntry {
    bool message = false; // a message box; otherwise a log line
    std::string text;     // as given: a message is translated when shown
    bool timeStamp = true;
    Buttons buttons = Buttons::Ok;
};

using DeferredOutput = std::vector<DeferredEntry>;

// While one lives, the log lines and messages of this thread go to out
// instead (a held-back message box answers as one nobody saw: Ok or No).
class DeferOutputScope {
  public:
    explicit DeferOutputScope(DeferredOutput &out);
    ~DeferOutputScope();
    DeferOutputScope(const DeferOutputScope &) = delete;
    DeferOutputScope &operator=(const DeferOutputScope &) = delete;

  private:
    DeferredOutput *outer_;
};

// This thread's held-back output, or null when it goes out at once.
DeferredOutput *DeferredOutputOfThisThread();

} // namespace brevita
