#include "RunScope.h"

#include "AppEnv.h"
#include "AppError.h"
#include "SafeFiles.h"
#include "Startup.h"
#include "TrimLock.h"
#include "UserPrompt.h"

namespace brevita {

std::string LiveFolder() {
    std::string live = StreamFilesPath;
    if (live.size() > 1 && live.back() == '/') {
        live.pop_back();
    }
    return live;
}

bool TakeTrimLock(TrimLock &lock, ErrorHandler &onError) {
    bool taken = false;
    if (!onError.Step([&] { taken = lock.TryAcquire(LiveFolder()); })) {
        return false;
    }
    if (!taken) {
        MsgBox(kAnotherTrimRunning);
        return false;
    }
    RemoveLeftovers(LiveFolder(), true);
    // A pending list whose save was cut short leaves its hidden copy here.
    RemoveLeftovers(StateFolder(), false);
    return true;
}

} // namespace brevita
