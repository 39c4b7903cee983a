#include "BackupRestore.h"

#include "Messages.h"
#include "AppError.h"
#include "RunScope.h"
#include "SafeFiles.h"
#include "TrimLock.h"
#include "UserPrompt.h"

#include <algorithm>
#include <filesystem>

namespace brevita {

namespace fs = std::filesystem;

namespace {

bool IsInside(const fs::path &inner, const fs::path &outer) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec), b = fs::weakly_canonical(outer, ec);
    auto [end, _] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    return end == b.end();
}

// A backup inside the live folder would copy itself, and a live folder
// inside the backup would go with the old backup; links are followed, as
// the copy follows them.
bool Nested(const std::string &backup, const std::string &live) {
    if (!IsInside(backup, live) && !IsInside(live, backup)) {
        return false;
    }
    MsgBox(NestedFoldersText(backup, live));
    return true;
}

} // namespace

std::string BackupFolderOf(const std::string &destination) {
    return JoinPath(destination, "Stream Files");
}

std::string NestedFoldersText(const std::string &backup, const std::string &live) {
    return FillMessage(QT_TRANSLATE_NOOP("Brevita",
                                         "The backup folder %1 and the stream files folder %2 lie "
                                         "one inside the other. Choose a backup destination "
                                         "outside the stream files folder, and a stream files "
                                         "folder outside it."),
                       {backup, live});
}

BackupResult BackupFiles(TrimView &view) {
    ErrorHandler onError(ErrorReport::FormMessage, "BackupFiles", "frmMain");
    const std::string backup = BackupFolderOf(view.CurrentSettings().backupDestination);
    if (Nested(backup, LiveFolder())) {
        return BackupResult::Failed;
    }
    bool replace = false;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(backup, ec))) {
        if (MsgBox(QT_TRANSLATE_NOOP(
                       "Brevita",
                       "There are greetings and voice names already in that directory - write over "
                       "them?"),
                   Buttons::YesNo) != Answer::Yes) {
            return BackupResult::Declined;
        }
        replace = true;
    }
    const bool copied = onError.Step(
        [&] { view.CopyWithNotice([&] { CopyFolderAtomically(LiveFolder(), backup, replace); }); });
    return copied ? BackupResult::Copied : BackupResult::Failed;
}

void RestoreFiles(TrimView &view) {
    ErrorHandler onError(ErrorReport::FormMessage, "RestoreFiles", "frmMain");
    const std::string destination = view.CurrentSettings().backupDestination;
    std::error_code ec;
    if (destination.empty()) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita", "You must select a backup folder to restore from"));
        return;
    }
    if (!fs::is_directory(destination, ec)) {
        MsgBox(QT_TRANSLATE_NOOP(
            "Brevita", "The backup folder selected does not contain any files to restore"));
        return;
    }
    const std::string backup = BackupFolderOf(destination);
    if (!fs::is_directory(backup, ec)) {
        MsgBox(QT_TRANSLATE_NOOP(
            "Brevita", "The selected backup folder does not contain the Stream Files directory to "
                       "restore"));
        return;
    }
    if (Nested(backup, LiveFolder())) {
        return;
    }
    if (MsgBox(QT_TRANSLATE_NOOP(
                   "Brevita",
                   "Are you sure you want to restore the greetings and voice names from the backup "
                   "directory onto the live system?"),
               Buttons::YesNo) != Answer::Yes) {
        return;
    }
    TrimLock lock;
    if (!TakeTrimLock(lock, onError)) {
        return;
    }
    {
        BusyScope busy(view);
        onError.Step(
            [&] { view.CopyWithNotice([&] { CopyFolderContentsOnto(backup, LiveFolder()); }); });
    }
    lock.Release();
    MsgBox(QT_TRANSLATE_NOOP(
        "Brevita",
        "Restore complete.  A full directory synch has been requested - it may take a while "
        "to run."));
}

} // namespace brevita
