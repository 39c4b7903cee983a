#include "StateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace brevita {

AppError RefusedLink(const std::filesystem::path &path) {
    return AppError(ErrPathFileAccess, "Link not followed: " + path.string());
}

AppError RefusedNonFile(const std::filesystem::path &path) {
    return AppError(ErrPathFileAccess, "Not a plain file: " + path.string());
}

UniqueFd OpenFolderNoFollow(const std::filesystem::path &dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        return UniqueFd(fd);
    }
    const int err = errno;
    // A link to a folder fails as "not a folder", so look at what is there.
    struct stat st;
    if (::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        throw RefusedLink(dir);
    }
    errno = err;
    return UniqueFd();
}

bool IsLinkAt(int dirFd, const std::string &name) {
    struct stat st;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

} // namespace brevita
