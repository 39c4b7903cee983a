// Copying file content and whole folders at the disk's pace.
#pragma once

#include <filesystem>

namespace brevita {

// Copies the rest of the open file from to the open file to, in the kernel
// where it can (a reflink where the file system offers one); raises the
// AppError of errno on failure, a full disk included.
void CopyContent(int from, int to);

// Copies everything below source into the existing, empty folder target:
// regular files (different folders' on different processors at once), links
// as links, named pipes as named pipes; sockets and devices are left out. Every folder gets its
// mode once it is filled. The first failure stops the copy and is the one raised; what was copied
// stays for the caller to remove.
void CopyTree(const std::filesystem::path &source, const std::filesystem::path &target);

} // namespace brevita
