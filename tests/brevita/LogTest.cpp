#include "brevita/CorvoxVersion.h"
#include "brevita/Module1.h"
#include "brevita/modLogging.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace brevita;
using namespace brevita_test;

namespace {

// The general date form is the user's; these tests read it in US English,
// set before anything reads the locale.
[[maybe_unused]] const int usEnglish = ::setenv("LC_ALL", "en_US.UTF-8", 1);

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
    WriteToLog("*** Updating voice names ****\r\n", true);
    WriteToLog("(error) file not found on hard drive - invalid path in SQL", true);
    WriteToLog("    Full path to WAV file=/srv/Stream Files/vn 1.wav", true);
    WriteToLog("no stamp, but an (ERROR) all the same", false);
    WriteToLog("errors without brackets (err) do not count", true);
    CloseLogFile();
    CloseLogFile(); // twice is harmless

    EXPECT_EQ(LogErrorCount, 2);
    EXPECT_EQ(pumped, 5);
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
    Touch(logs / "recent.TXT", QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    const auto all = Names(logs);

    now = QDateTime(QDate(2026, 3, 11), QTime(23, 59, 59));
    DeleteOldLogFiles();
    EXPECT_EQ(Names(logs), all);
    now = QDateTime(QDate(2026, 3, 12), QTime(0, 0, 1));
    GenerateNewLogFileName(); // cleans up on the way
    EXPECT_EQ(Names(logs), (std::set<std::string>{"recent.TXT", "sub", "sub/inner.TXT"}));
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
    shown.Step([&] {
        throw std::filesystem::filesystem_error("copy",
                                                std::make_error_code(std::errc::permission_denied));
    });
    ErrorHandler logged(ErrorReport::FormLog, "TrimNames", "frmMain");
    logged.Step([&] { RaiseError(ErrInvalidUseOfNull, "Invalid use of Null"); });
    logged.Step([&] { ran.push_back(3); });
    CloseLogFile();

    EXPECT_EQ(ran, (std::vector<int>{2, 3}));
    EXPECT_EQ(shown.Reported(), 2);
    EXPECT_EQ(prompt.Messages(),
              (std::vector<std::string>{
                  "Error 1001 (Unable to create the registry key) in procedure LoadSettings of "
                  "Form frmMain",
                  "Error 70 (Permission denied) in procedure LoadSettings of Form frmMain"}));
    EXPECT_EQ(LogErrorCount, 1);
    EXPECT_PRED2(Contains, ReadFile(dir / "run.TXT"),
                 ": (error) 94 (Invalid use of Null) in procedure TrimNames of Form frmMain\r\n");
}
