// The batch end to end on the tests' PostgreSQL server: the program without
// a window reads the server's lists and sends its requests through ODBC,
// and reports through its exit status and output. The batch's own logic is
// BatchTest's, on a database in memory.
#include "PgServer.h"
#include "TrimFixture.h"
#include "TrimLock.h"

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

struct TrimTest : TrimFixture {
    std::string registry = (tmp / "registry.reg").string();

    void SetUp() override {
        TrimFixture::SetUp();
        Psql("TRUNCATE subscriber, messagingrule, request, sync_fault RESTART IDENTITY");
        fs::copy_file(std::string(BREVITA_BIN_DIR) + "/Brevita", program / "Brevita");
        WriteRegistry("\"BackupFiles\"=dword:00000000\r\n");
    }
    void WriteRegistry(const std::string &settings) {
        WriteFile(registry, ServerRegistry((tmp / "server").string() + "/", settings));
    }
    void AddName(const std::string &streamPath, const std::string &alias, const std::string &id) {
        Psql("INSERT INTO subscriber (streampath, alias, subscriberobjectid) VALUES ('" +
             streamPath + "', '" + alias + "', '" + id + "')");
    }
    void AddGreeting(const std::string &streamPath, const std::string &parent) {
        Psql("INSERT INTO messagingrule (streampath, alias, parentalias) VALUES ('" + streamPath +
             "', 'greeting', '" + parent + "')");
    }
    // The program copied into the program folder, with the test's store;
    // prefix (variables, or "prlimit ...") goes before it.
    int Run(const std::string &args, std::string *out, const std::string &prefix = "") {
        return RunCommand("BREVITA_REGISTRY='" + registry + "' " + prefix + " '" +
                              (program / "Brevita").string() + "' " + args + " 2>&1",
                          out);
    }
};

} // namespace

TEST_F(TrimTest, TheBatchWithoutAWindowReportsThroughItsExitStatus) {
    const std::string vn = Make("vn.wav", 800, 800), gr = Make("gr.wav", 800, 800);
    AddName("vn.wav", "alice", kId1);
    AddName("gone.wav", "bob", kId2);
    AddGreeting("gr.wav", "alice");
    WriteRegistry("\"BackupFiles\"=dword:00000000\r\n\"TrimGreetings\"=dword:00000001\r\n");
    std::string out;
    // Without --yes the confirmation is answered No: nothing starts.
    EXPECT_EQ(Run("--batch", &out), 2) << out;
    EXPECT_PRED2(Contains, out, "Are you sure you want to trim silence");
    EXPECT_TRUE(Untouched(vn));

    EXPECT_EQ(Run("--batch --yes", &out), 1) << out; // the missing file is an error line
    EXPECT_PRED2(Contains, out,
                 "Trim process complete.  1 voice names updated and 1 greetings updated.\n"
                 " 1 error(s) encountered.\nView log file now?");
    // The server's own record of the one request: the changed name's id, as a uuid.
    EXPECT_EQ(Psql("SELECT proc, object_id, object_id_type, directory_sync, directory_sync_flags "
                   "FROM request"),
              "sp_ModifySubscriber|" + kId1 + "|uuid|1|1\n");
    EXPECT_PRED2(Contains, out, "Log file: " + (program / "logs").string());
    EXPECT_PRED2(Contains, out, "\nThe log file " + (program / "logs").string());
    EXPECT_PRED2(Contains, out, " could not be opened: no program to show it was found.");
    EXPECT_FALSE(Untouched(vn));
    EXPECT_FALSE(Untouched(gr));
    Psql("DELETE FROM subscriber WHERE alias = 'bob'");
    EXPECT_EQ(Run("--batch --yes", &out), 0) << out;

    // A stored number out of range, a bad option, a missing server.
    WriteFile(registry, ReadFile(registry) + "\"SilenceLevel\"=\"-90\"\r\n");
    EXPECT_EQ(Run("--batch --yes", &out), 2);
    EXPECT_PRED2(Contains, out, "You must enter a number between -80 and 0");
    EXPECT_EQ(Run("--batch --bogus", &out), 2);
    WriteFile(registry, "Windows Registry Editor Version 5.00\r\n");
    EXPECT_EQ(Run("--batch --yes", &out), 2);
    EXPECT_PRED2(Contains, out, "This tool only works with Corvox 4.0(2) or later");
    // No registry file is not an old server; no display is needed to ask
    // the version.
    fs::remove(registry);
    EXPECT_EQ(Run("--batch --yes", &out), 2);
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
    const fs::path temp = tmp / "temp";
    fs::create_directories(temp);
    auto run = [&](std::string *out) {
        return Run("--batch --dry-run", out, "TMPDIR='" + temp.string() + "'");
    };
    std::string out;
    // One that runs, and one that another trim keeps from starting.
    EXPECT_EQ(run(&out), 0) << out;
    EXPECT_PRED2(Contains, out, "Dry run: a real run would change 1 files");
    EXPECT_PRED2(Contains, out, "\nDry run: trim mode: level -45 dB.\n");
    EXPECT_TRUE(Names(temp).empty()) << out;
    // The stored mode settings reach the run; what sndprobe makes of them
    // is its own business.
    WriteRegistry("\"BackupFiles\"=dword:00000000\r\n\"FollowLineNoise\"=dword:00000001\r\n"
                  "\"CutClosingKey\"=dword:00000001\r\n");
    EXPECT_LE(run(&out), 1) << out;
    EXPECT_PRED2(Contains, out, "\nDry run: trim mode: following line noise; closing key cut.\n");
    EXPECT_TRUE(Names(temp).empty()) << out;
    TrimLock other;
    ASSERT_TRUE(other.TryAcquire(live));
    EXPECT_EQ(run(&out), 2) << out;
    EXPECT_PRED2(Contains, out, kAnotherTrimRunning);
    EXPECT_TRUE(Names(temp).empty()) << out;
}

TEST_F(TrimTest, ALogOverTheFileSizeLimitIsReportedAndTheRunEnds) {
    // Nothing listed, so the log is the only file the run writes; the limit
    // falls in the middle of its header.
    std::string out;
    const int status = Run("--batch --yes", &out, "prlimit --fsize=100");
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
