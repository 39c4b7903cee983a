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
    return ProgramFolder() / "Brevita.lock";
}

bool TrimLock::TryAcquire() {
    if (Held()) {
        return true;
    }
    int fd = ::open(LockFilePath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        throw ErrorFromErrno(errno);
    }
    // Each open is its own lock holder, so a second run inside this process
    // is refused just like one in another process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            return false;
        }
        throw ErrorFromErrno(err);
    }
    fd_ = fd;
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
}

} // namespace brevita
