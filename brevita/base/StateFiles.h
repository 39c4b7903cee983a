#pragma once
// The files Brevita keeps in its own folders (the logs, the pending
// synchronisations) are opened without following links: anyone who may
// write in those folders could otherwise plant a link that makes a run
// write, read or delete somewhere else.

#include "AppError.h"
#include "UniqueFd.h"

#include <filesystem>

namespace brevita {

// 75, naming the file that was not opened because it is a link.
AppError RefusedLink(const std::filesystem::path &path);
// 75, naming the file that was not opened because it is no plain file.
AppError RefusedNonFile(const std::filesystem::path &path);

// The folder, opened for the *at calls. A link in its place is refused
// (raised); on any other failure the descriptor is -1, with errno set.
UniqueFd OpenFolderNoFollow(const std::filesystem::path &dir);

// Whether name in the folder dirFd is a symbolic link.
bool IsLinkAt(int dirFd, const std::string &name);

} // namespace brevita
