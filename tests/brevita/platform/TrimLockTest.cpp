// A program started during a trim holds the trim lock with it: if Brevita
// dies first, no new run starts until that program has ended too.
#include "modCallExternalApp.h"
#include "TrimLock.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include "AppError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brevita;
using namespace brevita_test;

namespace {

// Whether another process could take the lock now.
bool FreeForOthers() {
    const std::string cmd = "flock -n '" + LockFilePath().string() + "' true";
    return std::system(cmd.c_str()) == 0;
}

// What a run of another user than the lock file's owner gets, in a child
// process: "acquired" (and a second run refused meanwhile), "busy" or
// "error N: description". As root the child is nobody, who gets the folder.
std::string TryAsAnotherUser(const std::filesystem::path &folder) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && ::chown(folder.c_str(), kNobody, kNobody) != 0)
        return "chown failed";
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(3);
        std::string said;
        try {
            TrimLock lock, second;
            said = !lock.TryAcquire()    ? "busy"
                   : second.TryAcquire() ? "acquired twice"
                                         : "acquired";
        } catch (const AppError &e) {
            said = "error " + std::to_string(e.Number()) + ": " + e.Description();
        }
        const ssize_t written = ::write(out[1], said.data(), said.size());
        ::_exit(written == static_cast<ssize_t>(said.size()) ? 0 : 4);
    }
    ::close(out[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        said.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : "child failed";
}

ino_t InodeOf(const std::filesystem::path &p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_ino;
}

} // namespace

TEST(TrimLock, AChildStartedWithItHoldsTheLockUntilItEnds) {
    TempDir tmp;
    SetProgramLocation(tmp.path(), "Brevita");
    int32_t child = 0;
    {
        TrimLock lock;
        ASSERT_TRUE(lock.TryAcquire());
        EXPECT_EQ(TrimLock::HeldFd() >= 0, true);
        child = StartHiddenProgram({"/bin/sleep", "2"}, {}, TrimLock::HeldFd());
        // Without it, a child does not hold the lock.
        const int32_t plain = StartHiddenProgram({"/bin/sleep", "2"});
        lock.Release();
        EXPECT_EQ(TrimLock::HeldFd(), -1);
        EXPECT_FALSE(FreeForOthers());
        FinishProcess(plain);
    }
    // As when Brevita has died: only the child holds it now.
    TrimLock again;
    EXPECT_FALSE(again.TryAcquire());
    WaitForProcessExit(child, 5000);
    FinishProcess(child);
    EXPECT_TRUE(FreeForOthers());
    EXPECT_TRUE(again.TryAcquire());
    ResetProgramLocation();
}

TEST(TrimLock, ALockFileNoOneCanOpenIsTakenOverOnlyWhenNoOneHoldsIt) {
    TempDir tmp;
    SetProgramLocation(tmp.path(), "Brevita");
    const std::filesystem::path lockFile = LockFilePath();

    // Held by a live run, whatever its mode: that run goes on alone.
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0664);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    ::chmod(lockFile.c_str(), 0);
    const ino_t inode = InodeOf(lockFile);
    EXPECT_EQ(TryAsAnotherUser(tmp.path()), "busy");
    EXPECT_EQ(InodeOf(lockFile), inode);

    // Its run is gone: the next one takes over, and leaves only the lock file.
    ::close(held);
    EXPECT_EQ(TryAsAnotherUser(tmp.path()), "acquired");
    EXPECT_NE(InodeOf(lockFile), inode);
    auto files = std::filesystem::directory_iterator(tmp.path());
    EXPECT_EQ(std::distance(files, {}), 1);
    EXPECT_TRUE(FreeForOthers());

    // A link in its place is refused, naming it.
    std::filesystem::remove(lockFile);
    std::filesystem::create_symlink(tmp / "elsewhere", lockFile);
    const std::string said = TryAsAnotherUser(tmp.path());
    EXPECT_EQ(
        said.rfind("error 75: Cannot lock " + lockFile.string() + ": it is a symbolic link", 0), 0u)
        << said;
    EXPECT_FALSE(std::filesystem::exists(tmp / "elsewhere"));
    ResetProgramLocation();
}
