#pragma once
// One trim at a time on a machine: every trim shares the temporary file in
// the program folder, so a run holds an exclusive lock on Brevita.lock there
// from its start to its end. The lock ends with the process, however it
// ends.

#include <filesystem>
#include <string>

namespace brevita {

inline constexpr const char kAnotherTrimRunning[] =
    "Another trim is already running on this server.";

std::filesystem::path LockFilePath();

class TrimLock {
  public:
    TrimLock() = default;
    ~TrimLock() { Release(); }
    TrimLock(const TrimLock &) = delete;
    TrimLock &operator=(const TrimLock &) = delete;

    // Takes the lock without waiting. False when another run holds it
    // (another process, or another run of this one); raises the AppError of
    // a lock file that cannot be opened.
    bool TryAcquire();
    void Release();
    bool Held() const { return fd_ >= 0; }
    // The open lock file of the run holding the lock in this process, or
    // -1. A program started with it open holds the lock along with us, and
    // on after us if we die first.
    static int HeldFd();

  private:
    int fd_ = -1;
};

} // namespace brevita
