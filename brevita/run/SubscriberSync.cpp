#include "SubscriberSync.h"

#include "AppError.h"
#include "CurrentDatabase.h"
#include "PendingSync.h"
#include "modLogging.h"

#include <vector>

namespace brevita {

void SubscriberSync::Start(bool dryRun) {
    dryRun_ = dryRun;
    directoryUnavailable_ = false;
}

bool SubscriberSync::SynchVoiceMailUser(const std::string &objectId) {
    if (dryRun_) {
        WriteToLog("    Dry run: no directory synch requested for objectID=" + objectId);
        return false;
    }
    if (directoryUnavailable_) {
        WriteToLog("    Directory synch kept pending for objectID=" + objectId);
        return false;
    }
    ErrorHandler onError(ErrorReport::FormMessage, "SynchVoiceMailUser", "frmMain");
    onError.About("objectID=" + objectId);
    VoicemailDatabase &db = CurrentDatabase();
    bool taken = false;
    try {
        db.RequestSubscriberSync(objectId);
        taken = true;
    } catch (...) {
        const AppError e = CurrentError(std::current_exception());
        onError.Report(e);
        // One time-out is enough to know: waiting out another for every
        // later name would stall the run for minutes.
        if (db.IsTimeout(e)) {
            directoryUnavailable_ = true;
            WriteToLog("    The directory synch request was not answered in time: the requests "
                       "still to come in this run are kept pending for the next run.");
        }
    }
    WriteToLog("    Directory synch requested for objectID=" + objectId);
    return taken;
}

void SubscriberSync::SynchPendingUsers() {
    ErrorHandler onError(ErrorReport::FormLog, "SynchPendingUsers", "frmMain");
    std::vector<std::string> ids;
    onError.Step([&] { ids = PendingSyncs(); });
    for (const std::string &id : ids) {
        WriteToLog("Directory synch left pending by an earlier run for objectID=" + id);
        if (SynchVoiceMailUser(id)) {
            onError.Step([&] { ClearPendingSync(id); });
        }
    }
}

} // namespace brevita
