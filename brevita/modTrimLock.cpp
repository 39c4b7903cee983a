#include "brevita/modTrimLock.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace brevita {

namespace {
int heldFd = -1;
}

std::filesystem::path LockFilePath() {
    return StateFolder() / "Brevita.lock";
}

namespace {

// An exclusive lock on a new open of path without waiting: the descriptor,
// -1 when another holder has it, or -2 when there is nothing at path.
// Raises the AppError of anything else.
int LockOpen(const std::filesystem::path &path, int flags, bool mayBeMissing) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0664);
    // A lock file that another administrator left, read-only to us, locks
    // just as well: flock needs no write access.
    if (fd < 0 && (errno == EACCES || errno == EPERM) && (flags & O_ACCMODE) != O_RDONLY) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0) {
        if (mayBeMissing && errno == ENOENT) {
            return -2;
        }
        throw ErrorFromErrno(errno);
    }
    // Each open is its own lock holder, so a second run inside this process
    // is refused just like one in another process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            return -1;
        }
        throw ErrorFromErrno(err);
    }
    return fd;
}

} // namespace

bool TrimLock::TryAcquire(const std::filesystem::path &serverFolder) {
    if (Held()) {
        return true;
    }
    const int fd = LockOpen(LockFilePath(), O_RDWR | O_CREAT, false);
    if (fd < 0) {
        return false;
    }
    // Another copy of the program, with a lock file of its own, may trim the
    // same server: the server's folder itself is locked too. A folder that
    // is not there holds nothing to protect.
    int folderFd = -2;
    if (!serverFolder.empty()) {
        try {
            folderFd = LockOpen(serverFolder, O_RDONLY | O_DIRECTORY, true);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (folderFd == -1) {
            ::close(fd);
            return false;
        }
    }
    fd_ = fd;
    folderFd_ = folderFd;
    heldFd = fd;
    return true;
}

int TrimLock::HeldFd() {
    return heldFd;
}

void TrimLock::Release() {
    if (fd_ >= 0) {
        if (heldFd == fd_) {
            heldFd = -1;
        }
        ::close(fd_);
        fd_ = -1;
    }
    if (folderFd_ >= 0) {
        ::close(folderFd_);
    }
    folderFd_ = -1;
}

} // namespace brevita
