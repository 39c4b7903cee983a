#include "CorvoxVersion.h"
#include "Module1.h"
#include "VoicemailDb.h"
#include "modLogging.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

using namespace brevita;
using namespace brevita_test;

namespace {

// Run with this variable set, the test program prints the log's stamp of a
// fixed time in the environment it was given, before anything else runs.
[[maybe_unused]] const bool printsDate = [] {
    if (std::getenv("BREVITA_PRINT_LOG_DATE")) {
        std::printf("%s\n", GeneralDate({QDate(2026, 12, 5), QTime(21, 5, 9)}).c_str());
        std::fflush(stdout);
        std::_Exit(0);
    }
    return false;
}();

const std::string kRule(64, '=');

struct LogTest : ::testing::Test {
    void SetUp() override {
        SetProgramLocation(dir.path(), "Brevita");
        SetClock([this] { return now; });
        SetProcessEventsHook([this] { ++pumped; });
        SetExitHook([this] { ++exits; });
    }
    void TearDown() override {
        CloseLogFile();
        SetClock({});
        SetProcessEventsHook({});
        SetExitHook({});
        ResetProgramLocation();
        LocalCorvoxVersion = {};
    }

    TempDir dir;
    QDateTime now{QDate(2026, 12, 5), QTime(21, 5, 9)};
    int pumped = 0, exits = 0;
    RecordingPrompt prompt;
    ScopedUserPrompt installed{prompt};
};

void Touch(const std::filesystem::path &p, const QDateTime &when) {
    WriteFile(p, "x");
    timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

} // namespace

TEST_F(LogTest, RunLogHasHeaderTimeStampsAndErrorCount) {
    LocalCorvoxVersion = {4, 0, 2, 25, "4.0(2.25)"};
    const std::string path = GenerateNewLogFileName();
    EXPECT_EQ(path, (dir / "logs" / "Brevita_Log_261205_21_05_09.TXT").string());
    EXPECT_EQ(LogFilePath, path);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "logs"));
    EXPECT_FALSE(std::filesystem::exists(path));

    OpenLogFile(path);
    now = now.addSecs(12 * 3600 + 7);
    // A stage heading, with the empty line that sets it apart.
    WriteToLog("*** Updating voice names ****", true);
    WriteToLog("", false);
    WriteToLog("(error) file not found on hard drive - invalid path in SQL", true);
    WriteToLog("    Full path to WAV file=/srv/Stream Files/vn 1.wav", true);
    WriteToLog("no stamp, but an (ERROR) all the same", false);
    WriteToLog("errors without brackets (err) do not count", true);
    CloseLogFile();
    CloseLogFile(); // twice is harmless

    EXPECT_EQ(LogErrorCount, 2);
    EXPECT_EQ(pumped, 6);
    const std::string at = "12/6/2026 9:05:16 AM: ";
    EXPECT_EQ(ReadFile(path),
              kRule +
                  "\r\nRunning Brevita, version 1.0.0\r\n\r\n"
                  "Local Corvox version=4.0(2.25)\r\n"
                  "Local time=12/5/2026 9:05:09 PM\r\n" +
                  kRule + "\r\n\r\n" + at + "*** Updating voice names ****\r\n\r\n" + at +
                  "(error) file not found on hard drive - invalid path in SQL\r\n" + at +
                  "    Full path to WAV file=/srv/Stream Files/vn 1.wav\r\n"
                  "no stamp, but an (ERROR) all the same\r\n" +
                  at + "errors without brackets (err) do not count\r\n");
    EXPECT_TRUE(prompt.questions.empty());

    // A second run in the same second gets the same name and starts afresh.
    now = QDateTime(QDate(2026, 12, 5), QTime(21, 5, 9));
    ASSERT_EQ(GenerateNewLogFileName(), path);
    OpenLogFile(path);
    EXPECT_EQ(LogErrorCount, 0);
    WriteToLog("second run", true);
    ExitProgram();
    EXPECT_EQ(exits, 1);
    std::string text = ReadFile(path);
    EXPECT_EQ(text.find("file not found"), std::string::npos);
    EXPECT_PRED2(Contains, text, "\r\n12/5/2026 9:05:09 PM: second run\r\n");
    EXPECT_EQ(text.rfind("\r\n"), text.size() - 2); // closed by ExitProgram, nothing lost
}

TEST_F(LogTest, OldFilesGoAfterTenDayBoundaries) {
    // Whole days count: nearly eleven days old is kept on the tenth day after.
    const auto logs = dir / "logs";
    std::filesystem::create_directories(logs / "sub");
    const QDateTime march1(QDate(2026, 3, 1), QTime(0, 0, 1));
    Touch(logs / "Brevita_Log_260301_00_00_01.TXT", march1);
    Touch(logs / "sub" / "inner.TXT", march1);
    Touch(logs / "Brevita_Log_260310_12_00_00.TXT", QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    // Only the logs' own names go, whatever else is as old.
    for (const char *other :
         {"notes.TXT", "Other_Log_260301_00_00_01.TXT", "Brevita_Log_260301_00_00_01.TXT.bak",
          "Brevita_Log_2603_00_00_01.TXT"})
        Touch(logs / other, march1);
    // A link with a log's name goes as a link; what it points at stays.
    Touch(dir / "outside.TXT", march1);
    std::filesystem::create_symlink(dir / "outside.TXT", logs / "Brevita_Log_260301_00_00_02.TXT");
    timespec linkTimes[2] = {{march1.toSecsSinceEpoch(), 0}, {march1.toSecsSinceEpoch(), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (logs / "Brevita_Log_260301_00_00_02.TXT").c_str(), linkTimes,
                          AT_SYMLINK_NOFOLLOW),
              0);
    const auto all = Names(logs);

    now = QDateTime(QDate(2026, 3, 11), QTime(23, 59, 59));
    DeleteOldLogFiles();
    EXPECT_EQ(Names(logs), all);
    now = QDateTime(QDate(2026, 3, 12), QTime(0, 0, 1));
    GenerateNewLogFileName(); // cleans up on the way
    EXPECT_EQ(Names(logs),
              (std::set<std::string>{"Brevita_Log_260310_12_00_00.TXT", "sub", "sub/inner.TXT",
                                     "notes.TXT", "Other_Log_260301_00_00_01.TXT",
                                     "Brevita_Log_260301_00_00_01.TXT.bak",
                                     "Brevita_Log_2603_00_00_01.TXT"}));
    EXPECT_EQ(ReadFile(dir / "outside.TXT"), "x");
}

TEST_F(LogTest, NoValueCanMakeALineOfItsOwn) {
    SetProgramLocation(dir.path(), "Brevita\r\nLocal time=forged");
    LocalCorvoxVersion = {4, 0, 2, 25, "4.0(2.25)\n"};
    const std::string path = (dir / "run.TXT").string();
    OpenLogFile(path);
    WriteToLog("Checking voice name for subscriber alias=eve\r\n12/5/2026 9:05:09 PM:     "
               "Directory synch requested for objectID=forged",
               true);
    WriteToLog(std::string("tab\tnul") + '\0' + "esc\x1b del\x7f cr\r lf\n", false);
    // NEL and the line separators, which editors also end lines at; other
    // UTF-8 text and backslashes are kept.
    WriteToLog("nel\xc2\x85 ls\xe2\x80\xa8 ps\xe2\x80\xa9 Zo\xc3\xab\xe2\x80\xa6 C:\\x\\n", false);
    WriteToLog("(error) counted\r\nstill one line", true);
    CloseLogFile();

    const std::string text = ReadFile(path);
    EXPECT_PRED2(Contains, text, "\r\nRunning Brevita\\r\\nLocal time=forged, version ");
    EXPECT_PRED2(Contains, text, "\r\nLocal Corvox version=4.0(2.25)\\n\r\n");
    EXPECT_PRED2(Contains, text,
                 "PM: Checking voice name for subscriber alias=eve\\r\\n12/5/2026 9:05:09 PM: "
                 "    Directory synch requested for objectID=forged\r\n");
    EXPECT_PRED2(Contains, text, "\r\ntab\\x09nul\\x00esc\\x1B del\\x7F cr\\r lf\\n\r\n");
    EXPECT_PRED2(Contains, text,
                 "\r\nnel\\u0085 ls\\u2028 ps\\u2029 Zo\xc3\xab\xe2\x80\xa6 C:\\x\\n\r\n");
    EXPECT_EQ(LogErrorCount, 1);
    // Header, four lines, each ended once.
    size_t ends = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++ends;
    EXPECT_EQ(ends, 7u + 4u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 11);
}

TEST_F(LogTest, LinksInTheLogsFolderAreNotFollowed) {
    const auto outside = dir / "outside";
    std::filesystem::create_directories(outside);
    const QDateTime old(QDate(2026, 11, 1), QTime(12, 0));
    Touch(outside / "Brevita_Log_261101_12_00_00.TXT", old);
    const auto before = Names(outside);

    // The folder a link: nothing in its target is deleted or written.
    std::filesystem::create_symlink(outside, dir / "logs");
    const std::string path = GenerateNewLogFileName();
    OpenLogFile(path);
    WriteToLog("(error) goes nowhere", true);
    CloseLogFile();
    EXPECT_EQ(Names(outside), before);
    EXPECT_EQ(prompt.Messages(), (std::vector<std::string>{
                                     "(error):75 (Link not followed: " + (dir / "logs").string() +
                                     ") in procedure OpenLogFile of Module modLogging"}));
    EXPECT_EQ(LogErrorCount, 1);

    // A link at the log's own name, dangling or not, is refused and kept.
    std::filesystem::remove(dir / "logs");
    std::filesystem::create_directories(dir / "logs");
    for (const std::string target : {"new.TXT", "Brevita_Log_261101_12_00_00.TXT"}) {
        std::filesystem::create_symlink(outside / target, path);
        prompt.questions.clear();
        OpenLogFile(path);
        WriteToLog("line", true);
        CloseLogFile();
        EXPECT_TRUE(std::filesystem::is_symlink(path));
        EXPECT_EQ(Names(outside), before);
        EXPECT_EQ(ReadFile(outside / "Brevita_Log_261101_12_00_00.TXT"), "x");
        EXPECT_EQ(prompt.Messages(),
                  (std::vector<std::string>{"(error):75 (Link not followed: " + path +
                                            ") in procedure OpenLogFile of Module modLogging"}));
        std::filesystem::remove(path);
    }
}

TEST_F(LogTest, FolderOrFileThatCannotBeMadeLosesOnlyTheLines) {
    WriteFile(dir / "logs", "a file where the folder should be");
    const std::string path = GenerateNewLogFileName();
    EXPECT_EQ(path, (dir / "logs" / "Brevita_Log_261205_21_05_09.TXT").string());
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_EQ(prompt.Messages()[0], "(error):76 (Path not found) in procedure "
                                    "GenerateNewLogFileName of Module Module1");

    OpenLogFile(path);
    WriteToLog("(error) counted even though it goes nowhere", true);
    WriteToLog("plain", true);
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_EQ(pumped, 2);
    EXPECT_EQ(ReadFile(dir / "logs"), "a file where the folder should be");

    // A folder in the way of the log file is not removed to make room.
    std::filesystem::create_directories(dir / "busy.TXT" / "keep");
    OpenLogFile((dir / "busy.TXT").string());
    WriteToLog("(Error) again", true);
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "busy.TXT" / "keep"));
    EXPECT_EQ(prompt.Messages().size(), 1u);
}

TEST_F(LogTest, ReportedErrorsLetTheProcedureGoOn) {
    OpenLogFile((dir / "run.TXT").string());
    std::vector<int> ran;
    ErrorHandler shown(ErrorReport::FormMessage, "LoadSettings", "frmMain");
    shown.Step([&] { RaiseError(ErrRaised, "Unable to create the registry key"); });
    shown.Step([&] { ran.push_back(2); });
    shown.About("file /srv/Stream Files/vn.wav");
    shown.Step([&] {
        throw std::filesystem::filesystem_error("copy",
                                                std::make_error_code(std::errc::permission_denied));
    });
    ErrorHandler logged(ErrorReport::FormLog, "TrimNames", "frmMain");
    logged.Step([&] { RaiseError(ErrInvalidUseOfNull, "Invalid use of Null"); });
    logged.Step([&] { ran.push_back(3); });
    // A headed report is a box only, whatever log is open.
    const int before = ErrorReportCount();
    ErrorHandler headed(ErrorReport::HeadedMessage, "Error in FormLoad routine:%1", {});
    headed.Step([&] { RaiseError(ErrOverflow, "Overflow"); });
    EXPECT_EQ(ErrorReportCount(), before);
    CloseLogFile();

    EXPECT_EQ(ran, (std::vector<int>{2, 3}));
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  "Error 1001 (Unable to create the registry key) in procedure LoadSettings of "
                  "Form frmMain",
                  "Error 70 (Permission denied) in procedure LoadSettings of Form frmMain",
                  "Error in FormLoad routine:Overflow"}));
    // Shown or not, each report is an error line of the log.
    EXPECT_EQ(LogErrorCount, 3);
    const std::string log = ReadFile(dir / "run.TXT");
    for (const char *line :
         {": (error) 1001 (Unable to create the registry key) in procedure LoadSettings of Form "
          "frmMain\r\n",
          ": (error) 70 (Permission denied) in procedure LoadSettings of Form frmMain for file "
          "/srv/Stream Files/vn.wav\r\n",
          ": (error) 94 (Invalid use of Null) in procedure TrimNames of Form frmMain\r\n"})
        EXPECT_PRED2(Contains, log, line);
    // With no log open a report counts in no run.
    shown.Step([&] { RaiseError(ErrDiskFull, "Disk full"); });
    EXPECT_EQ(LogErrorCount, 3);
}

TEST_F(LogTest, ASyncRequestTheServerRefusesIsOneErrorLine) {
    int fd;
    ScopedEnv down("PGPORT", std::to_string(LoopbackPort(false, &fd)));
    OpenLogFile((dir / "run.TXT").string());
    DbConnectionString = kCorvoxConnectionString;
    CallSubscriberSync();
    CloseLogFile();
    EXPECT_EQ(LogErrorCount, 1);
    const std::string log = ReadFile(dir / "run.TXT");
    EXPECT_PRED2(Contains, log, ": (error) 3001 (Unable to connect to the database: ");
    EXPECT_PRED2(Contains, log, ") in procedure CallSubscriberSync of Module Module1\r\n");
}

TEST(LogDateForm, IsOneWhateverTheLocale) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (const char *environment : {"", "LC_ALL=C", "LANG=de_DE.UTF-8", "LC_TIME=en_GB.UTF-8",
                                    "LANG=ja_JP.UTF-8 LC_ALL=fr_FR.UTF-8"}) {
        std::string out;
        EXPECT_EQ(RunCommand(std::string("env -i BREVITA_PRINT_LOG_DATE=1 ") + environment + " '" +
                                 self + "'",
                             &out),
                  0);
        EXPECT_EQ(out, "12/5/2026 9:05:09 PM\n") << environment;
    }
}
