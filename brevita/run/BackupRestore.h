#pragma once
// The whole "Stream Files" folder copied aside before a batch, and copied
// back onto the live one from the File menu. Both take the backup
// destination from the view's settings and copy with its notice shown.

#include "TrimView.h"

#include <string>

namespace brevita {

enum class BackupResult { Copied, Declined, Failed };

// The backup of destination: its "Stream Files" folder.
std::string BackupFolderOf(const std::string &destination);

// The refusal of a backup folder and a live folder that lie one inside the
// other.
std::string NestedFoldersText(const std::string &backup, const std::string &live);

// Copies the live folder to the backup folder, replacing an old backup whole
// when the user agrees to. Declined: an old backup was there and the user
// said No; Failed: refused or the copy failed (reported), so the batch must
// not trim without it.
BackupResult BackupFiles(TrimView &view);

// After its checks and the user's Yes, copies the backup onto the live
// folder under the trim lock; what came since the backup stays. Every
// refusal and failure has been shown when it returns.
void RestoreFiles(TrimView &view);

} // namespace brevita
