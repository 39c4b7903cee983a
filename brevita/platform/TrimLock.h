#pragma once
// One trim at a time on a machine: every trim shares the temporary file in
// the state folder, so a run holds an exclusive lock on Brevita.lock there
// from its start to its end; a run that changes the server's recordings
// also locks the server's stream files folder, which every copy of the
// program on the machine shares. The locks end with the process, however it
// ends.

#include "Messages.h"

#include <filesystem>
#include <string>

namespace brevita {

inline constexpr const char kAnotherTrimRunning[] =
    QT_TRANSLATE_NOOP("Brevita", "Another trim is already running on this server.");

std::filesystem::path LockFilePath();

class TrimLock {
  public:
    TrimLock() = default;
    ~TrimLock() { Release(); }
    TrimLock(const TrimLock &) = delete;
    TrimLock &operator=(const TrimLock &) = delete;

    // Takes the lock without waiting, with serverFolder's when one is
    // given (a folder that does not exist is not locked). False when
    // another run holds either (another process, or another run of this
    // one); raises the AppError of a lock that cannot be opened.
    bool TryAcquire(const std::filesystem::path &serverFolder = {});
    void Release();
    bool Held() const { return fd_ >= 0; }
    // The open lock file of the run holding the lock in this process, or
    // -1. A program started with it open holds the lock along with us, and
    // on after us if we die first.
    static int HeldFd();

  private:
    int fd_ = -1;
    int folderFd_ = -1;
};

} // namespace brevita
