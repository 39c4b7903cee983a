// Trimming a test server's recordings: the batch, the test of one file,
// backup and restore, the lock, a failing or hanging sndprobe, and the batch
// without a window. The database is the tests' PostgreSQL server; the
// recordings come from Recordings.h.
#include "TrimBatch.h"
#include "VoicemailDb.h"
#include "modCallExternalApp.h"
#include "modLogging.h"
#include "Startup.h"
#include "PendingSync.h"
#include "TrimLock.h"
#include "SafeFiles.h"
#include "PgServer.h"
#include "Recordings.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <set>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

const std::string kBinDir = BREVITA_BIN_DIR;

struct FakeView : TrimView {
    BrevitaSettings settings;
    int32_t max = 100, value = 0;
    std::vector<std::string> captions;
    int busyChanges = 0;
    BrevitaSettings CurrentSettings() override { return settings; }
    void SetProgressCaption(const std::string &t) override { captions.push_back(t); }
    void SetProgressMax(int32_t m) override { max = m; }
    int32_t ProgressMax() override { return max; }
    void SetProgressValue(int32_t v) override { value = v; }
    int32_t ProgressValue() override { return value; }
    void SetBusy(bool) override { ++busyChanges; }
    void CopyWithNotice(const std::function<void()> &copy) override { copy(); }
    bool viewerStarts = true;
    std::vector<std::string> viewed;
    bool OpenLogViewer(const std::string &path) override {
        viewed.push_back(path);
        return viewerStarts;
    }
};

struct TrimTest : ::testing::Test {
    TempDir tmp;
    fs::path program = tmp / "program";
    fs::path live = tmp / "server" / "Stream Files";
    RecordingPrompt prompt;
    ScopedUserPrompt installed{prompt};
    FakeView view;
    std::map<std::string, std::string> original; // path -> bytes

    void SetUp() override {
        Psql("TRUNCATE subscriber, messagingrule, request, sync_fault RESTART IDENTITY");
        fs::create_directories(program);
        fs::create_directories(live / "sub");
        fs::create_symlink(kBinDir + "/sndprobe", program / "sndprobe");
        SetProgramLocation(program, "Brevita");
        StreamFilesPath = live.string() + "/";
        DbConnectionString = kCorvoxConnectionString;
        view.settings.backupFiles = false;
        view.settings.trimGreetings = true;
        view.settings.maxVoiceNames = "0";
    }
    void TearDown() override {
        ResetProgramLocation();
        SetDbTimeouts({});
    }

    // A recording in the stream files folder, remembered with its bytes.
    std::string Make(const std::string &name, double leadMs, double tailMs) {
        const std::string path = (live / name).string();
        EXPECT_TRUE(WriteRecording(path, leadMs, tailMs));
        original[path] = ReadFile(path);
        return path;
    }
    void AddName(const std::string &streamPath, const std::string &alias, const std::string &id) {
        Psql("INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES ('" +
             streamPath + "', '" + alias + "', '" + id + "')");
    }
    void AddGreeting(const std::string &streamPath, const std::string &parent) {
        Psql("INSERT INTO messagingrule (streampath, alias, parentalias) VALUES ('" + streamPath +
             "', 'greeting', '" + parent + "')");
    }
    // What sndprobe itself makes of a file with the batch's settings.
    std::string DirectTrim(const std::string &path) {
        EXPECT_TRUE(SndprobeTrim(path, (tmp / "direct.wav").string()));
        return ReadFile(tmp / "direct.wav");
    }
    std::string Log() { return ReadFile(LogFilePath); }
    bool Untouched(const std::string &path) { return ReadFile(path) == original.at(path); }
    // A stand-in for sndprobe in the program folder.
    void FakeSndprobe(const std::string &script) {
        fs::remove(program / "sndprobe");
        WriteFile(program / "sndprobe", "#!/bin/sh\n" + script);
        fs::permissions(program / "sndprobe", fs::perms::owner_all);
    }
    // The requests made, one "proc id" line each.
    std::string Requests() {
        return Psql("SELECT proc || ' ' || coalesce(object_id::text, '') FROM request ORDER BY id");
    }
};

const std::string kId1 = "11111111-1111-1111-1111-111111111111";
const std::string kId2 = "22222222-2222-2222-2222-222222222222";
const std::string kId3 = "33333333-3333-3333-3333-333333333333";

} // namespace

TEST_F(TrimTest, TheBatchChangesExactlyTheFilesWithSilence) {
    const std::string vn1 = Make("vn0001.wav", 900, 1200);
    const std::string vn2 = Make("vn 0002 Zoë.wav", 0, 0); // nothing to cut
    const std::string vn3 = Make("sub/vn0003.wav", 700, 700);
    const std::string gr1 = Make("gr0001.wav", 1000, 600);
    const std::string sys = Make("gr-system.wav", 1000, 600);
    const std::string trimmed1 = DirectTrim(vn1), trimmed3 = DirectTrim(vn3),
                      trimmedG = DirectTrim(gr1);
    ASSERT_NE(trimmed1, original[vn1]);
    struct stat before;
    ASSERT_EQ(::stat(vn2.c_str(), &before), 0);
    ::chmod(vn1.c_str(), 0640);

    AddName("vn0001.wav", "alice", kId1);
    AddName("vn 0002 Zoë.wav", "bob", kId2);
    AddName(vn3, "carol", kId3); // a full path
    // An alias cannot make a line of its own in the log.
    AddName("missing.wav", "dave\r\n    Directory synch requested for objectID=" + kId2, kId2);
    AddGreeting("gr0001.wav", "alice");
    AddGreeting("gr-system.wav", "OPERATORCH");
    AddGreeting("gr-system.wav", "Goodbyech");
    prompt.answers = {Answer::Yes, Answer::No};

    TrimBatch batch(view);
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);

    EXPECT_TRUE(ReadFile(vn1) == trimmed1);
    EXPECT_TRUE(ReadFile(gr1) == trimmedG);
    EXPECT_TRUE(ReadFile(vn3) == trimmed3);
    EXPECT_TRUE(Untouched(vn2));
    EXPECT_TRUE(Untouched(sys));
    struct stat after;
    // A recording with nothing to cut is not even rewritten.
    ASSERT_EQ(::stat(vn2.c_str(), &after), 0);
    EXPECT_EQ(std::tie(after.st_mtim.tv_sec, after.st_mtim.tv_nsec),
              std::tie(before.st_mtim.tv_sec, before.st_mtim.tv_nsec));
    ASSERT_EQ(::stat(vn1.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0640u) << "the live file's mode is kept";
    // Nothing but the recordings is left in the folder.
    EXPECT_EQ(Names(live),
              (std::set<std::string>{"vn0001.wav", "vn 0002 Zoë.wav", "sub", "sub/vn0003.wav",
                                     "gr0001.wav", "gr-system.wav"}));

    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\nsp_ModifySubscriber " + kId3 + "\n");
    EXPECT_EQ(batch.VoiceNamesUpdated, 2);
    EXPECT_EQ(batch.GreetingsUpdated, 1);
    EXPECT_EQ(view.captions, (std::vector<std::string>{"Updating voice names",
                                                       "Updating greeting files", "Complete"}));

    const std::string log = Log();
    for (const std::string &line : std::vector<std::string>{
             ":     Directory synch requested for objectID=" + kId1 + "\r\n",
             ":     Full path to WAV file=" + vn3 + "\r\n",
             ": (error) file not found on hard drive - invalid path in SQL\r\n",
             ":     This call handler is a Corvox system created handler - skipping greeting "
             "trim\r\n",
             ": *** Updating voice names ****\r\n\r\n",
             ": Checking voice name for subscriber alias=dave\\r\\n    Directory synch "
             "requested for objectID=" +
                 kId2 + "\r\n"})
        EXPECT_PRED2(Contains, log, line);
    EXPECT_FALSE(Contains(log, "\n    Directory synch requested for objectID=" + kId2));
    EXPECT_EQ(LogErrorCount, 1);
    // Asked first; the summary; then the notice of the requested synchronisations.
    ASSERT_EQ(prompt.Messages().size(), 3u);
    EXPECT_EQ(prompt.Messages()[1], "Trim process complete.  2 voice names updated and 1 greetings "
                                    "updated.\r\n 1 error(s) encountered.\r\nView log file now?");
    EXPECT_PRED2(Contains, prompt.Messages()[2],
                 "synchronizations to the directory were requested");
}

TEST_F(TrimTest, AnErrorShownInABoxIsAlsoALogLineNamingTheFile) {
    // A recording that is a link is not replaced: the replace is refused.
    const std::string elsewhere = (tmp / "elsewhere.wav").string();
    ASSERT_TRUE(WriteRecording(elsewhere, 900, 900));
    fs::create_symlink(elsewhere, live / "vn.wav");
    const std::string gr = Make("gr.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    AddGreeting("gr.wav", "alice");
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    const std::string full = (live / "vn.wav").string();
    EXPECT_PRED2(Contains, Log(),
                 ": (error) 75 (Path/File access error) in procedure TrimWAVFile of Form frmMain "
                 "for file " +
                     full + "\r\n");
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_FALSE(Contains(Log(), "for file " + gr)) << "only the failed file is named";
    ASSERT_GE(prompt.Messages().size(), 3u);
    EXPECT_EQ(prompt.Messages()[1],
              "Error 75 (Path/File access error) in procedure TrimWAVFile of Form frmMain");
    EXPECT_EQ(prompt.Messages()[2], "Trim process complete.  0 voice names updated and 1 "
                                    "greetings updated.\r\n 1 error(s) encountered.\r\nView "
                                    "log file now?");
}

TEST_F(TrimTest, TheMaximumStopsTheVoiceNamesAfterTheLastAllowedChange) {
    for (const std::string &id : {kId1, kId2, kId3}) {
        const std::string name = "vn" + id.substr(0, 1) + ".wav";
        Make(name, 800, 800);
        AddName(name, "a" + id.substr(0, 1), id);
    }
    AddGreeting(fs::path(Make("gr.wav", 800, 800)).filename().string(), "a1");
    view.settings.maxVoiceNames = "2";
    view.settings.trimGreetings = false;
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\nsp_ModifySubscriber " + kId2 + "\n");
    EXPECT_TRUE(Untouched((live / "vn3.wav").string()));
    EXPECT_EQ(view.max, 2);
    EXPECT_EQ(view.value, 2);
    EXPECT_PRED2(Contains, Log(),
                 "    The maximum number of names to update has been reached - exiting "
                 "TrimVoiceNames routine.");
    EXPECT_TRUE(Untouched((live / "gr.wav").string()));
}

TEST_F(TrimTest, AFailedOrHangingSndprobeChangesNothing) {
    const std::string vn = Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    view.settings.trimGreetings = false;
    prompt.answers = {Answer::Yes, Answer::No, Answer::Yes, Answer::No};
    TrimBatch batch(view);

    // A complete, smaller output and exit status 1: a failure all the same.
    FakeSndprobe("head -c 1000 \"$1\" > tempWAVFile.wav; exit 1\n");
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_PRED2(Contains, Log(),
                 "(error) file trim function failed to run properly.  Skipping file");
    EXPECT_TRUE(Untouched(vn));
    EXPECT_TRUE(Requests().empty());

    // Still running after the wait: ended, so its late output never lands.
    FakeSndprobe("echo $$ > \"$PWD/pid\"; sleep 7; head -c 1000 \"$1\" > tempWAVFile.wav\n");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kSndprobeWaitMs));
    EXPECT_LT(took, std::chrono::milliseconds(kSndprobeWaitMs + 1500));
    EXPECT_NE(::kill(std::stoi(ReadFile(program / "pid")), 0), 0) << "the hung run was ended";
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_TRUE(Untouched(vn));
    EXPECT_FALSE(fs::exists(program / "tempWAVFile.wav"));
}

TEST_F(TrimTest, TheTestOfOneFileWritesTheTestOutputOnly) {
    ScopedEnv home("HOME", tmp.path().string());
    const std::string vn = Make("vn.wav", 800, 800), flat = Make("flat.wav", 0, 0);
    const std::string out = (tmp / "TrimTest.WAV").string();
    prompt.paths = {vn, flat, (tmp / "nothing.wav").string(), ""};
    TrimBatch batch(view);
    for (int i = 0; i < 4; ++i)
        batch.cmdTest_Click();
    EXPECT_EQ(prompt.fileRequests.at(0).startFolder, tmp.path().string());
    EXPECT_TRUE(ReadFile(out) == original[flat]);
    EXPECT_TRUE(Untouched(vn));
    // A run that fails leaves no stale output to report on.
    FakeSndprobe("exit 1\n");
    prompt.paths = {vn};
    batch.cmdTest_Click();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  "File silence trimmed - the resulting trimmed WAV file can be found at " + out,
                  "No silence detected on file - the resulting WAV file can be found at " + out,
                  "Error, file could not be opened",
                  "There was an error encountered during the file trim process"}));
}

TEST_F(TrimTest, ALockHeldByAnotherProcessRefusesTheRun) {
    const std::string vn = Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    // util-linux flock holds the same kind of lock, from another process.
    int32_t holder = StartHiddenProgram({"flock", "-o", LockFilePath().string(), "sleep", "30"});
    for (int i = 0; i < 100 && !fs::exists(LockFilePath()); ++i)
        ::usleep(20000);
    ::usleep(100000);
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    EXPECT_EQ(batch.cmdTrimSilence_Click(), RunResult::NotStarted);
    EXPECT_EQ(prompt.Messages().back(), kAnotherTrimRunning);
    EXPECT_TRUE(Untouched(vn));
    EXPECT_EQ(view.busyChanges, 0);
    ::kill(holder, SIGKILL);
    FinishProcess(holder);
    prompt.answers = {Answer::Yes};
    EXPECT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_FALSE(Untouched(vn));
}

TEST_F(TrimTest, BackupThenRestoreGivesBackTheSameFiles) {
    const std::string vn = Make("vn.wav", 800, 800), gr = Make("sub/gr.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    AddGreeting(gr, "alice");
    view.settings.backupFiles = true;
    view.settings.backupDestination = (tmp / "backup").string(); // no final "/"
    TrimBatch batch(view);

    // A backup that cannot be made stops the batch before anything is trimmed.
    WriteFile(tmp / "backup", "a file where the folder should be");
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::NotStarted);
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_EQ(prompt.Messages()[0].rfind("Error ", 0), 0u);
    EXPECT_PRED2(Contains, prompt.Messages()[0], ") in procedure BackupFiles of Form frmMain");
    EXPECT_TRUE(Untouched(vn));
    fs::remove(tmp / "backup");

    // An old backup is replaced whole on Yes: its stale file goes.
    fs::create_directories(tmp / "backup" / "Stream Files");
    WriteFile(tmp / "backup" / "Stream Files" / "stale.wav", "old");
    prompt.answers = {Answer::Yes, Answer::No};
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    const fs::path backup = tmp / "backup" / "Stream Files";
    EXPECT_FALSE(fs::exists(backup / "stale.wav"));
    EXPECT_TRUE(ReadFile(backup / "vn.wav") == original[vn]);
    EXPECT_TRUE(ReadFile(backup / "sub" / "gr.wav") == original[gr]);
    EXPECT_FALSE(Untouched(vn));

    // The restore puts the recordings back and keeps what came since.
    WriteFile(live / "new.wav", "new since the backup");
    prompt.questions.clear();
    prompt.answers = {Answer::Yes};
    batch.mnuRestore_Click();
    EXPECT_TRUE(Untouched(vn));
    EXPECT_TRUE(Untouched(gr));
    EXPECT_EQ(ReadFile(live / "new.wav"), "new since the backup");
    EXPECT_EQ(prompt.Messages().back(), "Restore complete.  A full directory synch has been "
                                        "requested - it may take a while to run.");
    EXPECT_TRUE(Requests().ends_with("\nsp_SqlDirectorySync \n")) << Requests();
}

TEST_F(TrimTest, TheBatchWithoutAWindowReportsThroughItsExitStatus) {
    const std::string vn = Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    AddName("gone.wav", "bob", kId2);
    fs::copy_file(kBinDir + "/Brevita", program / "Brevita");
    const std::string registry = (tmp / "registry.reg").string();
    WriteFile(registry, ServerRegistry((tmp / "server").string() + "/",
                                       "\"BackupFiles\"=dword:00000000\r\n"));
    auto run = [&](const std::string &args, std::string *out) {
        return RunCommand("BREVITA_REGISTRY='" + registry + "' '" + (program / "Brevita").string() +
                              "' " + args + " 2>&1",
                          out);
    };
    std::string out;
    // Without --yes the confirmation is answered No: nothing starts.
    EXPECT_EQ(run("--batch", &out), 2) << out;
    EXPECT_PRED2(Contains, out, "Are you sure you want to trim silence");
    EXPECT_TRUE(Untouched(vn));

    EXPECT_EQ(run("--batch --yes", &out), 1) << out; // the missing file is an error line
    EXPECT_PRED2(Contains, out,
                 "Trim process complete.  1 voice names updated and 0 greetings updated.\n"
                 " 1 error(s) encountered.\nView log file now?");
    EXPECT_PRED2(Contains, out, "Log file: " + (program / "logs").string());
    EXPECT_PRED2(Contains, out, "\nThe log file " + (program / "logs").string());
    EXPECT_PRED2(Contains, out, " could not be opened: no program to show it was found.");
    EXPECT_FALSE(Untouched(vn));
    Psql("DELETE FROM subscriber WHERE alias = 'bob'");
    EXPECT_EQ(run("--batch --yes", &out), 0) << out;

    // A stored number out of range, a bad option, a missing server.
    WriteFile(registry, ReadFile(registry) + "\"SilenceLevel\"=\"-90\"\r\n");
    EXPECT_EQ(run("--batch --yes", &out), 2);
    EXPECT_PRED2(Contains, out, "You must enter a number between -80 and 0");
    EXPECT_EQ(run("--batch --bogus", &out), 2);
    WriteFile(registry, "Windows Registry Editor Version 5.00\r\n");
    EXPECT_EQ(run("--batch --yes", &out), 2);
    EXPECT_PRED2(Contains, out, "This tool only works with Corvox 4.0(2) or later");
    // No registry file is not an old server; no display is needed to ask
    // the version.
    fs::remove(registry);
    EXPECT_EQ(run("--batch --yes", &out), 2);
    EXPECT_PRED2(Contains, out, "The registry file " + registry + " does not exist.");
    EXPECT_EQ(RunCommand("env -u DISPLAY QT_QPA_PLATFORM= '" + (program / "Brevita").string() +
                             "' --version",
                         &out),
              0);
    EXPECT_EQ(out, "Brevita 1.0.0\n");
}

TEST_F(TrimTest, ADryRunWithoutAWindowLeavesNoScratchFolder) {
    Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    fs::copy_file(kBinDir + "/Brevita", program / "Brevita");
    const std::string registry = (tmp / "registry.reg").string();
    WriteFile(registry, ServerRegistry((tmp / "server").string() + "/",
                                       "\"BackupFiles\"=dword:00000000\r\n"));
    const fs::path temp = tmp / "temp";
    fs::create_directories(temp);
    auto run = [&](std::string *out) {
        return RunCommand("TMPDIR='" + temp.string() + "' BREVITA_REGISTRY='" + registry + "' '" +
                              (program / "Brevita").string() + "' --batch --dry-run 2>&1",
                          out);
    };
    std::string out;
    // One that runs, and one that another trim keeps from starting.
    EXPECT_EQ(run(&out), 0) << out;
    EXPECT_PRED2(Contains, out, "Dry run: a real run would change 1 files");
    EXPECT_TRUE(Names(temp).empty()) << out;
    TrimLock other;
    ASSERT_TRUE(other.TryAcquire(live));
    EXPECT_EQ(run(&out), 2) << out;
    EXPECT_PRED2(Contains, out, kAnotherTrimRunning);
    EXPECT_TRUE(Names(temp).empty()) << out;
}

TEST_F(TrimTest, ARelativePathIsTheStreamFilesFileForEveryStep) {
    // The same name below Brevita's current folder and the program folder:
    // neither may be read, replaced or logged in place of the server's.
    const std::string vn = Make("sub/x.wav", 900, 900);
    const fs::path cwd = tmp / "cwd";
    for (const fs::path &decoy : {cwd / "sub" / "x.wav", program / "sub" / "x.wav"}) {
        fs::create_directories(decoy.parent_path());
        ASSERT_TRUE(WriteRecording(decoy.string(), 300, 1500));
    }
    const std::string decoy = ReadFile(cwd / "sub" / "x.wav");
    const std::string trimmed = DirectTrim(vn);
    AddName("sub/x.wav", "alice", kId1);
    view.settings.trimGreetings = false;
    prompt.answers = {Answer::Yes, Answer::No};
    const fs::path before = fs::current_path();
    fs::current_path(cwd);
    TrimBatch batch(view);
    const RunResult result = batch.cmdTrimSilence_Click();
    fs::current_path(before);
    ASSERT_EQ(result, RunResult::Completed);
    EXPECT_TRUE(ReadFile(vn) == trimmed);
    EXPECT_TRUE(ReadFile(cwd / "sub" / "x.wav") == decoy);
    EXPECT_TRUE(ReadFile(program / "sub" / "x.wav") == decoy);
    EXPECT_PRED2(Contains, Log(), ":     Full path to WAV file=" + vn + "\r\n");
}

TEST_F(TrimTest, ADryRunWritesOnlyBelowItsScratchFolder) {
    const std::string vn = Make("vn.wav", 900, 900);
    const std::string outside = (tmp / "server" / "outside.wav").string();
    ASSERT_TRUE(WriteRecording(outside, 900, 900));
    const std::string outsideBytes = ReadFile(outside);
    // Paths that climb out of the stream files folder, back into it or
    // out of it altogether.
    AddName("../outside.wav", "a", kId1);
    AddName("sub/../../Stream Files/vn.wav", "b", kId2);
    AddName(outside, "c", kId3);
    view.settings.trimGreetings = false;
    const fs::path scratch = tmp / "scratch";
    fs::create_directories(scratch);
    TrimBatch batch(view);
    batch.SetDryRun(scratch.string());
    prompt.answers = {Answer::Yes};
    view.viewerStarts = false;
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    // What would change, and that the log the user asked for was not shown.
    double seconds = 0;
    for (const DryRunChange &c : batch.DryRunChanges())
        seconds += c.secondsRemoved;
    EXPECT_GT(seconds, 3 * 1.2);
    char cut[32];
    std::snprintf(cut, sizeof cut, "%.1f", seconds);
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  "Dry run complete.  3 voice names would be updated and 0 greetings would be "
                  "updated, cutting " +
                      std::string(cut) +
                      " seconds of audio.\r\n 0 error(s) encountered.\r\nView log file now?",
                  "The log file " + LogFilePath +
                      " could not be opened: no program to show it was found. Open it with a "
                      "text editor."}));
    EXPECT_EQ(view.viewed, std::vector<std::string>{LogFilePath});
    EXPECT_TRUE(Untouched(vn));
    EXPECT_TRUE(ReadFile(outside) == outsideBytes);
    EXPECT_EQ(Names(live), (std::set<std::string>{"vn.wav", "sub"}));
    ASSERT_EQ(batch.DryRunChanges().size(), 3u);
    for (const DryRunChange &c : batch.DryRunChanges()) {
        const fs::path result = fs::weakly_canonical(c.resultPath);
        EXPECT_EQ(result.string().rfind(fs::weakly_canonical(scratch).string() + "/", 0), 0u)
            << c.resultPath;
        EXPECT_TRUE(fs::is_regular_file(result)) << c.resultPath;
    }
    EXPECT_TRUE(Requests().empty());
}

TEST_F(TrimTest, ABackupNestedWithTheLiveFolderIsRefused) {
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
        EXPECT_EQ(batch.cmdTrimSilence_Click(), RunResult::NotStarted) << destination;
        ASSERT_FALSE(prompt.Messages().empty());
        const std::string said = prompt.Messages().back();
        EXPECT_PRED2(Contains, said, "The backup folder " + JoinPath(destination, "Stream Files"));
        EXPECT_PRED2(Contains, said, "the stream files folder " + live.string());
        EXPECT_TRUE(Untouched(vn)) << destination;
        batch.mnuRestore_Click();
        EXPECT_TRUE(Untouched(vn)) << destination;
    }
    EXPECT_EQ(Names(live), (std::set<std::string>{"vn.wav", "sub"}));
}

TEST_F(TrimTest, RequestsTheServerCannotTakeStayPendingUntilItCan) {
    const std::string vn1 = Make("vn1.wav", 900, 900), vn2 = Make("vn2.wav", 900, 900);
    AddName("vn1.wav", "alice", kId1);
    AddName("vn2.wav", "bob", kId2);
    view.settings.trimGreetings = false;
    Psql("INSERT INTO sync_fault VALUES ('fail')");
    TrimBatch batch(view);
    // Two runs in a row that cannot send: the second finds both names
    // unchanged and must still keep what the first could not send.
    for (int run = 0; run < 2; ++run) {
        prompt.answers = {Answer::Yes, Answer::No};
        ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
        EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{kId1, kId2})) << "run " << run;
        EXPECT_EQ(LogErrorCount, 2) << Log();
    }
    EXPECT_PRED2(Contains, Log(),
                 "in procedure SynchVoiceMailUser of Form frmMain for objectID=" + kId2);
    Psql("TRUNCATE sync_fault");
    prompt.answers = {Answer::Yes, Answer::No};
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\nsp_ModifySubscriber " + kId2 + "\n");
    EXPECT_TRUE(PendingSyncs().empty());
    EXPECT_EQ(LogErrorCount, 0);
}

TEST_F(TrimTest, OneUnansweredRequestKeepsTheRestPendingWithoutWaiting) {
    for (const std::string &id : {kId1, kId2, kId3}) {
        const std::string name = "vn" + id.substr(0, 1) + ".wav";
        Make(name, 800, 800);
        AddName(name, "a" + id.substr(0, 1), id);
    }
    view.settings.trimGreetings = false;
    Psql("INSERT INTO sync_fault VALUES ('hang')");
    SetDbTimeouts({2, 1});
    prompt.answers = {Answer::Yes, Answer::No};
    TrimBatch batch(view);
    ASSERT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_EQ(batch.VoiceNamesUpdated, 3);
    EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{kId1, kId2, kId3}));
    const std::string log = Log();
    // One request was tried and the other two were not.
    const auto messages = prompt.Messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string &m) {
                                return Contains(m, "in procedure SynchVoiceMailUser");
                            }),
              1);
    EXPECT_PRED2(Contains, log, "Directory synch kept pending for objectID=" + kId2);
    EXPECT_PRED2(Contains, log, "Directory synch kept pending for objectID=" + kId3);
    EXPECT_FALSE(Contains(log, "Directory synch kept pending for objectID=" + kId1));
    EXPECT_EQ(LogErrorCount, 1);
}

TEST_F(TrimTest, TwoProgramFoldersShareTheServersLock) {
    const std::string vn = Make("vn.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    TrimLock other;
    ASSERT_TRUE(other.TryAcquire(live));
    const fs::path second = tmp / "second";
    fs::create_directories(second);
    fs::create_symlink(kBinDir + "/sndprobe", second / "sndprobe");
    SetProgramLocation(second, "Brevita");
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    EXPECT_EQ(batch.cmdTrimSilence_Click(), RunResult::NotStarted);
    EXPECT_EQ(prompt.Messages().back(), kAnotherTrimRunning);
    EXPECT_TRUE(Untouched(vn));
    other.Release();
    prompt.answers = {Answer::Yes, Answer::No};
    EXPECT_EQ(batch.cmdTrimSilence_Click(), RunResult::Completed);
    EXPECT_FALSE(Untouched(vn));
}

TEST_F(TrimTest, ALogOverTheFileSizeLimitIsReportedAndTheRunEnds) {
    fs::copy_file(kBinDir + "/Brevita", program / "Brevita");
    const std::string registry = (tmp / "registry.reg").string();
    WriteFile(registry, ServerRegistry((tmp / "server").string() + "/",
                                       "\"BackupFiles\"=dword:00000000\r\n"));
    // Nothing listed, so the log is the only file the run writes; the limit
    // falls in the middle of its header.
    std::string out;
    const int status = RunCommand("BREVITA_REGISTRY='" + registry + "' prlimit --fsize=100 '" +
                                      (program / "Brevita").string() + "' --batch --yes 2>&1",
                                  &out);
    EXPECT_EQ(status, 1) << out;
    EXPECT_PRED2(Contains, out,
                 "Trim process complete.  0 voice names updated and 0 greetings updated.");
    const auto logs = Names(program / "logs");
    ASSERT_EQ(logs.size(), 1u) << out;
    const fs::path log = program / "logs" / *logs.begin();
    EXPECT_EQ(fs::file_size(log), 100u);
    const std::string report = "(error):75 (File too large: " + log.string() +
                               ") in procedure WriteToLog of Module modLogging\n";
    EXPECT_PRED2(Contains, out, report);
    EXPECT_EQ(out.find(report), out.rfind(report)) << "reported once";
}
