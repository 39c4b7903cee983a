#include "TrimLock.h"

#include "Messages.h"
#include "AppEnv.h"
#include "AppError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace brevita {

namespace {
int heldFd = -1;
}

std::filesystem::path LockFilePath() {
    return StateFolder() / "Brevita.lock";
}

namespace {

// What went wrong, and where: the number of the system error, and a text
// that names the file.
[[noreturn]] void LockFailure(const std::filesystem::path &path, int err) {
    const AppError e = ErrorFromErrno(err);
    if (err == ELOOP) {
        RaiseError(e.Number(),
                   FillMessage(QT_TRANSLATE_NOOP("Brevita", "Cannot lock %1: it is a symbolic "
                                                            "link, which Brevita does not follow. "
                                                            "Remove it; the next run makes a new "
                                                            "one."),
                               {path.string()}));
    }
    RaiseError(e.Number(), FillMessage(QT_TRANSLATE_NOOP("Brevita", "Cannot lock %1: %2"),
                                       {path.string(), e.Description()}));
}

bool SameFile(int fd, const std::filesystem::path &path) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Whether any process holds a lock on the file at path now; nothing when
// that cannot be told.
std::optional<bool> LockedByAnyone(const std::filesystem::path &path) {
    struct stat st;
    std::FILE *locks = ::lstat(path.c_str(), &st) == 0 ? std::fopen("/proc/locks", "re") : nullptr;
    if (!locks) {
        return std::nullopt;
    }
    bool locked = false;
    char line[256];
    while (!locked && std::fgets(line, sizeof line, locks)) {
        // "1: FLOCK  ADVISORY  WRITE 9136 fe:00:10952825 0 EOF"; a line with
        // "->" is a waiter, which holds nothing.
        if (std::strstr(line, "->")) {
            continue;
        }
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        char *rest = nullptr;
        for (char *field = ::strtok_r(line, " \t\n", &rest); field;
             field = ::strtok_r(nullptr, " \t\n", &rest)) {
            if (std::sscanf(field, "%x:%x:%lu", &major, &minor, &inode) == 3) {
                locked =
                    major == major(st.st_dev) && minor == minor(st.st_dev) && inode == st.st_ino;
                break;
            }
        }
    }
    std::fclose(locks);
    return locked;
}

// A lock file that this user cannot open, and that no one holds, was left
// by a run that is gone: a new one, locked before anyone can see it, takes
// its place. The descriptor, or -1 when it is held after all.
int ReplaceStaleLockFile(const std::filesystem::path &path, int openError) {
    const auto locked = LockedByAnyone(path);
    if (!locked) {
        LockFailure(path, openError);
    }
    if (*locked) {
        return -1;
    }
    std::string name = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        LockFailure(path, openError);
    }
    ::fchmod(fd, 0664);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(name.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(name.c_str());
        ::close(fd);
        LockFailure(path, err);
    }
    return fd;
}

// An exclusive lock on a new open of path without waiting: the descriptor,
// -1 when another holder has it, or -2 when there is nothing at path.
// Raises the AppError of anything else.
int LockOpen(const std::filesystem::path &path, int flags, bool mayBeMissing) {
    // A lock file replaced while this run opened it is tried again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0664);
        // A lock file that another administrator left, read-only to us,
        // locks just as well: flock needs no write access.
        if (fd < 0 && (errno == EACCES || errno == EPERM) && (flags & O_ACCMODE) != O_RDONLY) {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (fd < 0 && (errno == EACCES || errno == EPERM) && (flags & O_CREAT)) {
            fd = ReplaceStaleLockFile(path, errno);
            if (fd < 0) {
                return -1;
            }
        }
        if (fd < 0) {
            if (mayBeMissing && errno == ENOENT) {
                return -2;
            }
            LockFailure(path, errno);
        }
        // Each open is its own lock holder, so a second run inside this
        // process is refused just like one in another process.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) {
                return -1;
            }
            LockFailure(path, err);
        }
        if (!(flags & O_CREAT) || SameFile(fd, path)) {
            return fd;
        }
        ::close(fd);
    }
    LockFailure(path, EAGAIN);
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
