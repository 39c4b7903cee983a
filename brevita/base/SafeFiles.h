#pragma once
// File operations that never leave half a file where the server looks: a
// recording is either its old content or its complete new one, and a copied
// folder appears under its name only when it is complete.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace brevita {

// Tells one version of a file from another: replacing, rewriting or
// truncating it changes at least one of these.
struct FileIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileIdentity &) const = default;
};

// The identity of what is at path (a link itself, not its target), or
// nothing when there is nothing.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path &path);

// Writes source's content to target through a hidden sibling file that is
// flushed to disk and renamed over target. The target keeps its mode, owner
// and group; a new target takes the source's mode. Raises the AppError of
// the failing system call (61 "Disk full", 70 "Permission denied", ...);
// target is then unchanged and no sibling file is left. With expected, a
// target that is no longer that version of the file (someone replaced or
// rewrote it meanwhile) is left as it is and 75 is raised.
void ReplaceFileAtomically(const std::filesystem::path &source, const std::filesystem::path &target,
                           const FileIdentity *expected = nullptr);

// The same for content held in memory; a new target gets newMode.
void WriteFileAtomically(const std::filesystem::path &target, const std::string &content,
                         mode_t newMode = 0644);

// Copies the folder source with everything below it to target, which must
// not exist: the copy is made in a hidden sibling of target and renamed to
// it when complete. When replaceExisting is true an existing target is
// swapped for the new copy and removed afterwards, with what earlier copies
// left beside it. Read-only folders, links and named pipes are copied as
// they are. Raises on failure, with the partial copy removed and an
// existing target left as it was.
void CopyFolderAtomically(const std::filesystem::path &source, const std::filesystem::path &target,
                          bool replaceExisting);

// Removes what a copy of ours that was cut short (a killed run) left in dir,
// and with recursive in the folders below it: the hidden files and folders
// that ReplaceFileAtomically and CopyFolderAtomically write before they
// rename them into place. Only while holding the trim lock, when none of
// ours is in progress. Failures are ignored; what stays goes next time.
void RemoveLeftovers(const std::filesystem::path &dir, bool recursive);

// Copies every file below source onto the same place below target,
// creating folders as needed, each file through ReplaceFileAtomically.
// Files in target that source does not hold are left alone. Raises on the
// first failure; files already copied stay copied.
void CopyFolderContentsOnto(const std::filesystem::path &source,
                            const std::filesystem::path &target);

// "dir" + "/" + "name" with exactly one "/" between them.
// Makes the renames done in folder last through a power cut.
void FlushFolder(const std::filesystem::path &folder);

std::string JoinPath(const std::string &dir, const std::string &name);

} // namespace brevita
