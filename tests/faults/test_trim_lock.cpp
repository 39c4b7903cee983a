// A program started during a trim holds the trim lock with it: if Brevita
// dies first, no new run starts until that program has ended too.
#include "brevita/modCallExternalApp.h"
#include "brevita/modTrimLock.h"
#include "../brevita/TestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace brevita;
using namespace brevita_test;

namespace {

// Whether another process could take the lock now.
bool FreeForOthers() {
    const std::string cmd = "flock -n '" + LockFilePath().string() + "' true";
    return std::system(cmd.c_str()) == 0;
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
