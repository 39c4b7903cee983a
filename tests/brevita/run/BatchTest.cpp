// The batch on a database in memory: which files it trims and which it
// leaves, its log and summary, its directory synchronisation requests and
// what it does when the database fails them, the maximum, the system
// handlers, the dry run and a failing or hanging sndprobe. sndprobe is the
// real one, on recordings from Recordings.h.
#include "AppEnv.h"
#include "BatchFixture.h"
#include "PendingSync.h"
#include "RunStop.h"
#include "TrimBatch.h"

#include <signal.h>
#include <sys/stat.h>

#include <set>

#include <regex>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

struct BatchTest : BatchFixture {};

} // namespace

TEST_F(BatchTest, TheBatchChangesExactlyTheFilesWithSilence) {
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
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);

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

TEST_F(BatchTest, WhatTheDatabaseFailsIsReportedAndTheRunGoesOn) {
    const std::string vn = Make("vn.wav", 900, 900), gr = Make("gr.wav", 900, 900);
    // A null alias cannot make its log line, nor a null owner its own; the
    // recording is trimmed all the same.
    db.AddVoiceName("vn.wav", std::nullopt, kId1);
    db.AddGreeting("gr.wav", "standard", std::nullopt);
    prompt.answers = {Answer::Yes, Answer::No};
    TrimBatch batch(view);
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_FALSE(Untouched(vn));
    EXPECT_FALSE(Untouched(gr));
    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\n");
    EXPECT_PRED2(Contains, Log(),
                 ": (error) 94 (Invalid use of Null) in procedure TrimNames of Form frmMain for "
                 "file " +
                     vn + "\r\n");
    EXPECT_EQ(prompt.Messages().at(1),
              "Error 94 (Invalid use of Null) in procedure TrimGreetings of Form frmMain");

    // Lists that cannot be read: each reported as the list and as its count.
    db.listsFail = MemoryDatabase::Failure::Unreachable;
    prompt.questions.clear();
    prompt.answers = {Answer::Yes, Answer::No};
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    const std::string refused = "3001 (Unable to connect to the database: [08001] Connection "
                                "refused) in procedure ";
    const std::string unset = "91 (Object variable or With block variable not set) in procedure ";
    for (const std::string &line : {refused + "TrimNames", unset + "TrimNames"})
        EXPECT_PRED2(Contains, Log(), ": (error) " + line + " of Form frmMain\r\n");
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  prompt.Messages()[0], "No subscribers with voice names found on the local server",
                  "Error " + refused + "TrimGreetings of Form frmMain",
                  "Error " + unset + "TrimGreetings of Form frmMain",
                  "No greetings found on the local server",
                  "Trim process complete.  0 voice names updated and 0 greetings updated.\r\n 4 "
                  "error(s) encountered.\r\nView log file now?"}));

    // A database out of reach: the run does not start, and no log is made.
    fs::remove_all(program / "logs");
    db.describeFails = MemoryDatabase::Failure::Unreachable;
    prompt.questions.clear();
    prompt.answers = {Answer::Yes};
    EXPECT_EQ(batch.TrimAll(), RunResult::NotStarted);
    ASSERT_EQ(prompt.Messages().size(), 2u);
    EXPECT_EQ(prompt.Messages()[1].rfind("Brevita cannot reach the database on server memory: "
                                         "Unable to connect to the database: [08001] ",
                                         0),
              0u)
        << prompt.Messages()[1];
    EXPECT_FALSE(fs::exists(program / "logs"));
    EXPECT_EQ(db.requestsTried, 1);
}

TEST_F(BatchTest, AnErrorShownInABoxIsAlsoALogLineNamingTheFile) {
    // A recording that is a link is not replaced: the replace is refused.
    const std::string elsewhere = (tmp / "elsewhere.wav").string();
    ASSERT_TRUE(WriteRecording(elsewhere, 900, 900));
    fs::create_symlink(elsewhere, live / "vn.wav");
    const std::string gr = Make("gr.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    AddGreeting("gr.wav", "alice");
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
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

TEST_F(BatchTest, TheMaximumStopsTheVoiceNamesAfterTheLastAllowedChange) {
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
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\nsp_ModifySubscriber " + kId2 + "\n");
    EXPECT_TRUE(Untouched((live / "vn3.wav").string()));
    EXPECT_EQ(view.max, 2);
    EXPECT_EQ(view.value, 2);
    EXPECT_PRED2(Contains, Log(),
                 "    The maximum number of names to update has been reached - exiting "
                 "TrimVoiceNames routine.");
    EXPECT_TRUE(Untouched((live / "gr.wav").string()));
}

TEST_F(BatchTest, AStopRequestEndsTheRunOnceTheTrimsUnderWayAreDone) {
    // Two trim slots: at most eight trims are under way at a time.
    const fs::path store = tmp / "store.reg";
    WriteFile(store, "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\r\n"
                     "\"ParallelTrims\"=dword:00000002\r\n");
    ScopedEnv env{"BREVITA_REGISTRY", store.string()};
    std::vector<std::pair<std::string, std::string>> names; // file, subscriber
    for (char i = 'a'; i <= 'n'; ++i) {
        const std::string file = Make(std::string("vn") + i + ".wav", 800, 800);
        names.emplace_back(file, "00000000-0000-0000-0000-0000000000" + std::string(2, i));
        AddName(fs::path(file).filename().string(), std::string("a") + i, names.back().second);
    }
    const std::string gr = Make("gr.wav", 800, 800);
    AddGreeting("gr.wav", "a1");
    // As the window asks when it is closed, after the second file.
    view.checked = [](int32_t done) {
        if (done == 2)
            RequestStop();
    };
    prompt.answers = {Answer::Yes};
    TrimBatch batch(view);
    ASSERT_EQ(batch.TrimAll(), RunResult::Stopped);
    EXPECT_GE(batch.VoiceNamesUpdated, 2);
    EXPECT_LT(batch.VoiceNamesUpdated, static_cast<int>(names.size()));
    // Each recording is its original or its trim, and each trim was
    // reported to the server; nothing is left pending or half written.
    int trimmed = 0;
    for (const auto &[file, id] : names) {
        const bool requested = Contains(Requests(), id);
        EXPECT_EQ(Untouched(file), !requested) << file;
        trimmed += requested;
    }
    EXPECT_EQ(trimmed, batch.VoiceNamesUpdated);
    EXPECT_TRUE(Untouched(gr));
    EXPECT_TRUE(PendingSyncs().empty());
    for (const auto &e : fs::directory_iterator(program))
        EXPECT_FALSE(Contains(e.path().filename().string(), "tempWAVFile")) << e.path();
    EXPECT_PRED2(Contains, Log(),
                 "The run was stopped before every file was checked: " + std::to_string(trimmed) +
                     " voice names and 0 greetings updated.\r\n");
    // Nobody is there to answer the summary.
    for (const std::string &m : prompt.Messages())
        EXPECT_FALSE(Contains(m, "Trim process complete")) << m;
}

TEST_F(BatchTest, AFailedOrHangingSndprobeChangesNothing) {
    const std::string vn = Make("vn.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    view.settings.trimGreetings = false;
    prompt.answers = {Answer::Yes, Answer::No, Answer::Yes, Answer::No};
    TrimBatch batch(view);

    // A complete, smaller output and exit status 1: a failure all the same.
    FakeSndprobe("head -c 1000 \"$1\" > tempWAVFile.wav; exit 1\n");
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_PRED2(Contains, Log(),
                 "(error) file trim function failed to run properly.  Skipping file");
    EXPECT_TRUE(Untouched(vn));
    EXPECT_TRUE(Requests().empty());

    // Still running after the wait: ended, so its late output never lands.
    FakeSndprobe("echo $$ > \"$PWD/pid\"; sleep 7; head -c 1000 \"$1\" > tempWAVFile.wav\n");
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_NE(::kill(std::stoi(ReadFile(program / "pid")), 0), 0) << "the hung run was ended";
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_TRUE(Untouched(vn));
    EXPECT_FALSE(fs::exists(program / "tempWAVFile.wav"));
}

TEST_F(BatchTest, ARelativePathIsTheStreamFilesFileForEveryStep) {
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
    const RunResult result = batch.TrimAll();
    fs::current_path(before);
    ASSERT_EQ(result, RunResult::Completed);
    EXPECT_TRUE(ReadFile(vn) == trimmed);
    EXPECT_TRUE(ReadFile(cwd / "sub" / "x.wav") == decoy);
    EXPECT_TRUE(ReadFile(program / "sub" / "x.wav") == decoy);
    EXPECT_PRED2(Contains, Log(), ":     Full path to WAV file=" + vn + "\r\n");
}

TEST_F(BatchTest, ADryRunWritesOnlyBelowItsScratchFolder) {
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
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
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
    // Every result, also of a path that climbs out, lies below the scratch folder.
    for (const DryRunChange &c : batch.DryRunChanges()) {
        const fs::path result = fs::weakly_canonical(DryRunPath(c.livePath, scratch.string()));
        EXPECT_EQ(result.string().rfind(fs::weakly_canonical(scratch).string() + "/", 0), 0u)
            << result;
        EXPECT_TRUE(fs::is_regular_file(result)) << result;
    }
    EXPECT_TRUE(Requests().empty());
}

TEST_F(BatchTest, RequestsTheServerCannotTakeStayPendingUntilItCan) {
    const std::string vn1 = Make("vn1.wav", 900, 900), vn2 = Make("vn2.wav", 900, 900);
    AddName("vn1.wav", "alice", kId1);
    AddName("vn2.wav", "bob", kId2);
    view.settings.trimGreetings = false;
    db.requestsFail = MemoryDatabase::Failure::Unreachable;
    TrimBatch batch(view);
    // Two runs in a row that cannot send: the second finds both names
    // unchanged and must still keep what the first could not send.
    for (int run = 0; run < 2; ++run) {
        prompt.answers = {Answer::Yes, Answer::No};
        ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
        EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{kId1, kId2})) << "run " << run;
        EXPECT_EQ(LogErrorCount, 2) << Log();
    }
    EXPECT_PRED2(Contains, Log(),
                 "in procedure SynchVoiceMailUser of Form frmMain for objectID=" + kId2);
    db.requestsFail = MemoryDatabase::Failure::None;
    // What a save of the list that was killed left goes with the next run.
    const fs::path cutShort = StateFolder() / ".Brevita.pending.0123456789abcdef.brevita-tmp";
    WriteFile(cutShort, kId3 + "\n");
    prompt.answers = {Answer::Yes, Answer::No};
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_FALSE(fs::exists(cutShort));
    EXPECT_EQ(Requests(), "sp_ModifySubscriber " + kId1 + "\nsp_ModifySubscriber " + kId2 + "\n");
    EXPECT_TRUE(PendingSyncs().empty());
    EXPECT_EQ(LogErrorCount, 0);
}

TEST_F(BatchTest, OneUnansweredRequestKeepsTheRestPendingWithoutWaiting) {
    for (const std::string &id : {kId1, kId2, kId3}) {
        const std::string name = "vn" + id.substr(0, 1) + ".wav";
        Make(name, 800, 800);
        AddName(name, "a" + id.substr(0, 1), id);
    }
    view.settings.trimGreetings = false;
    db.requestsFail = MemoryDatabase::Failure::TimeOut;
    prompt.answers = {Answer::Yes, Answer::No};
    TrimBatch batch(view);
    ASSERT_EQ(batch.TrimAll(), RunResult::Completed);
    EXPECT_EQ(batch.VoiceNamesUpdated, 3);
    EXPECT_EQ(PendingSyncs(), (std::vector<std::string>{kId1, kId2, kId3}));
    const std::string log = Log();
    // One request was tried, and reported, and the other two were not.
    EXPECT_EQ(db.requestsTried, 1);
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

TEST_F(BatchTest, TheLogSaysWhichTrimModeRanAndSndprobeIsAskedForIt) {
    Make("vn.wav", 900, 900);
    AddName("vn.wav", "alice", kId1);
    view.settings.trimGreetings = false;
    const fs::path args = tmp / "args.txt";
    // The arguments after the file's path, one a line; no output, so the
    // run changes nothing whatever sndprobe makes of them.
    FakeSndprobe("shift; printf '%s\\n' \"$@\" > '" + args.string() + "'\n");
    const struct {
        bool followLineNoise, cutClosingKey;
        const char *mode, *sent;
    } cases[] = {
        {false, false, "level -45 dB", "-silence:-45dB,300,20\n-strip:tempWAVFile.wav,3,250\n"},
        {true, false, "following line noise",
         "-silence:auto,300,20\n-strip:tempWAVFile.wav,3,250\n"},
        {false, true, "level -45 dB; closing key cut",
         "-silence:-45dB,300,20\n-dtmf\n-strip:tempWAVFile.wav,11,250\n"},
        {true, true, "following line noise; closing key cut",
         "-silence:auto,300,20\n-dtmf\n-strip:tempWAVFile.wav,11,250\n"},
    };
    for (const auto &c : cases) {
        view.settings.followLineNoise = c.followLineNoise;
        view.settings.cutClosingKey = c.cutClosingKey;
        fs::remove(args);
        prompt.answers = {Answer::Yes, Answer::No};
        TrimBatch batch(view);
        ASSERT_EQ(batch.TrimAll(), RunResult::Completed) << c.mode;
        EXPECT_EQ(batch.TrimMode(), c.mode);
        // After the header and the database lines, before the first stage.
        const std::string log = Log();
        const size_t database = log.find("\r\nDatabase=");
        ASSERT_NE(database, std::string::npos) << log;
        const size_t next = log.find("\r\n", database + 2) + 2;
        EXPECT_EQ(log.substr(next, log.find("\r\n", next) + 4 - next),
                  std::string("Trim mode: ") + c.mode + "\r\n\r\n")
            << log;
        EXPECT_LT(next, log.find("*** Updating voice names ****"));
        // Whichever trim slot ran it.
        EXPECT_EQ(
            std::regex_replace(ReadFile(args), std::regex("tempWAVFile[0-9]+"), "tempWAVFile"),
            c.sent)
            << c.mode;
    }
}
