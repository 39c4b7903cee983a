#pragma once
// Voice names whose recording a run replaced, or was about to, and whose
// directory synchronisation the server has not yet taken: kept in
// "Brevita.pending" in the state folder, one object id a line, so that a run
// that died or lost its database in between leaves them to the next run.
// Only the run holding the trim lock uses it.

#include <filesystem>
#include <string>
#include <vector>

namespace brevita {

std::filesystem::path PendingSyncPath();

// The ids still pending, oldest first; raises as NotePendingSync does.
std::vector<std::string> PendingSyncs();
// Adds objectId (once), or removes it; the file is replaced whole and
// durably, and goes when nothing is pending. Raise the AppError of a file
// that cannot be read or written, and refuse (75, naming the file) a link
// or other non-file in its place, which they leave as it is: the ids such a
// file holds are neither sent nor replaced.
void NotePendingSync(const std::string &objectId);
void ClearPendingSync(const std::string &objectId);
// Both at once, in one replace of the file (none when nothing changes).
void UpdatePendingSyncs(const std::vector<std::string> &noted,
                        const std::vector<std::string> &cleared);

} // namespace brevita
