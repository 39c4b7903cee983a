// The other runs on a database in memory: backup and restore of the stream
// files folder, the trim lock that keeps runs apart, and the test of one
// file.
#include "BatchFixture.h"
#include "SafeFiles.h"
#include "TrimBatch.h"
#include "TrimLock.h"
#include "modCallExternalApp.h"

#include <signal.h>

#include <set>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

struct BackupAndLockTest : BatchFixture {};

} // namespace

TEST_F(BackupAndLockTest, TheTestOfOneFileWritesTheTestOutputOnly) {
    ScopedEnv home("HOME", tmp.path().string());
    const std::string vn = Make("vn.wav", 800, 800), flat = Make("flat.wav", 0, 0);
    const std::string out = (tmp / "TrimTest.WAV").string();
    prompt.paths = {vn, flat, (tmp / "nothing.wav").string(), ""};
    TrimBatch batch(view);
    for (int i = 0; i < 4; ++i)
        batch.TestOneFile();
    EXPECT_EQ(prompt.fileRequests.at(0).startFolder, tmp.path().string());
    EXPECT_TRUE(ReadFile(out) == original[flat]);
    EXPECT_TRUE(Untouched(vn));
    // A run that fails leaves no stale output to report on.
    FakeSndprobe("exit 1\n");
    prompt.paths = {vn};
    batch.TestOneFile();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  "File silence trimmed - the resulting trimmed WAV file can be found at " + out,
                  "No silence detected on file - the resulting WAV file can be found at " + out,
                  "Error, file could not be opened",
                  "There was an error encountered during the file trim process"}));
}

TEST_F(BackupAndLockTest, ALockHeldByAnotherProcessRefusesTheRun) {
    const std::string vn = Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    // util-linux flock holds the same kind of lock, from another process.
    int32_t holder = StartHiddenProgram({"flock", "-o", LockFilePath().string(), "sleep", "30"});
    for (int i = 0; i < 100 && !fs::exists(LockFilePath()); ++i)
        ::usleep(20000);
    ::usleep(100000);
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    EXPECT_EQ(batch.TrimAll(), RunResult::NotStarted);
    EXPECT_EQ(prompt.Messages().back(), kAnotherTrimRunning);
    EXPECT_TRUE(Untouched(vn));
    EXPECT_EQ(view.busyChanges, 0);
    ::kill(holder, SIGKILL);
    FinishProcess(holder);
    prompt.answers = {Answer::Yes};
    EXPECT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_FALSE(Untouched(vn));
}

TEST_F(BackupAndLockTest, BackupThenRestoreGivesBackTheSameFiles) {
    const std::string vn = Make("vn.wav", 800, 800), gr = Make("sub/gr.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    AddGreeting(gr, "alice");
    view.settings.backupFiles = true;
    view.settings.backupDestination = (tmp / "backup").string(); // no final "/"
    TrimBatch batch(view);

    // A backup that cannot be made stops the batch before anything is trimmed.
    WriteFile(tmp / "backup", "a file where the folder should be");
    ASSERT_EQ(batch.TrimAll(), RunResult::NotStarted);
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_EQ(prompt.Messages()[0].rfind("Error ", 0), 0u);
    EXPECT_PRED2(Contains, prompt.Messages()[0], ") in procedure BackupFiles of Form frmMain");
    EXPECT_TRUE(Untouched(vn));
    fs::remove(tmp / "backup");

    // An old backup is replaced whole on Yes: its stale file goes.
    fs::create_directories(tmp / "backup" / "Stream Files");
    WriteFile(tmp / "backup" / "Stream Files" / "stale.wav", "old");
    prompt.answers = {Answer::Yes, Answer::No};
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    const fs::path backup = tmp / "backup" / "Stream Files";
    EXPECT_FALSE(fs::exists(backup / "stale.wav"));
    EXPECT_TRUE(ReadFile(backup / "vn.wav") == original[vn]);
    EXPECT_TRUE(ReadFile(backup / "sub" / "gr.wav") == original[gr]);
    EXPECT_FALSE(Untouched(vn));

    // The restore puts the recordings back and keeps what came since.
    WriteFile(live / "new.wav", "new since the backup");
    prompt.questions.clear();
    prompt.answers = {Answer::Yes};
    batch.RestoreFromBackup();
    EXPECT_TRUE(Untouched(vn));
    EXPECT_TRUE(Untouched(gr));
    EXPECT_EQ(ReadFile(live / "new.wav"), "new since the backup");
    EXPECT_EQ(prompt.Messages().back(), "Restore complete.  A full directory synch has been "
                                        "requested - it may take a while to run.");
    EXPECT_TRUE(Requests().ends_with("\nsp_SqlDirectorySync\n")) << Requests();
}

TEST_F(BackupAndLockTest, ABackupNestedWithTheLiveFolderIsRefused) {
    const std::string vn = Make("vn.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    view.settings.backupFiles = true;
    fs::create_directories(tmp / "linked");
    fs::create_symlink(tmp / "server", tmp / "linked" / "Stream Files");
    // The backup would be the live folder, lie inside it, or (through a
    // link) hold it.
    for (const fs::path &destination : {tmp / "server", live, tmp / "linked"}) {
        prompt.questions.clear();
        view.settings.backupDestination = destination.string();
        prompt.answers = {Answer::Yes, Answer::Yes};
        TrimBatch batch(view);
        EXPECT_EQ(batch.TrimAll(), RunResult::NotStarted) << destination;
        ASSERT_FALSE(prompt.Messages().empty());
        const std::string said = prompt.Messages().back();
        EXPECT_PRED2(Contains, said, "The backup folder " + JoinPath(destination, "Stream Files"));
        EXPECT_PRED2(Contains, said, "the stream files folder " + live.string());
        EXPECT_TRUE(Untouched(vn)) << destination;
        batch.RestoreFromBackup();
        EXPECT_TRUE(Untouched(vn)) << destination;
    }
    EXPECT_EQ(Names(live), (std::set<std::string>{"vn.wav", "sub"}));
}

TEST_F(BackupAndLockTest, TwoProgramFoldersShareTheServersLock) {
    const std::string vn = Make("vn.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    TrimLock other;
    ASSERT_TRUE(other.TryAcquire(live));
    const fs::path second = tmp / "second";
    fs::create_directories(second);
    fs::create_symlink(std::string(BREVITA_BIN_DIR) + "/sndprobe", second / "sndprobe");
    SetProgramLocation(second, "Brevita");
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    EXPECT_EQ(batch.TrimAll(), RunResult::NotStarted);
    EXPECT_EQ(prompt.Messages().back(), kAnotherTrimRunning);
    EXPECT_TRUE(Untouched(vn));
    other.Release();
    prompt.answers = {Answer::Yes, Answer::No};
    EXPECT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_FALSE(Untouched(vn));
}
