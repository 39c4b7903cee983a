// The main window offscreen: start-up checks, settings, the number boxes'
// checks, the up-down controls, the exits and the folder picker. Every
// question is answered by the recording prompt.
#include "RegistryAPI.h"
#include "UpDown.h"
#include "VoicemailDb.h"
#include "AppError.h"
#include "frmMain.h"
#include "frmSplashScreen.h"
#include "modLogging.h"
#include "Startup.h"
#include "PgServer.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <set>

#include <unistd.h>

using namespace brevita;
using namespace brevita_test;

namespace {

const std::string kServerKeys = ServerRegistry("");

std::string RootKey(const std::string &root) {
    return ServerRegistry(root).substr(kServerKeys.size());
}

struct MainWindowTest : ::testing::Test {
    TempDir tmp;
    ScopedEnv registry{"BREVITA_REGISTRY", (tmp / "registry.reg").string()};
    ScopedEnv remote{"XRDP_SESSION", std::nullopt};
    RecordingPrompt prompt;
    ScopedUserPrompt installed{prompt};
    int exits = 0;

    void SetUp() override {
        std::filesystem::create_directories(tmp / "server" / "Stream Files");
        SetProgramLocation(tmp.path(), "Brevita");
        SetExitHook([this] { ++exits; });
    }
    void TearDown() override {
        SetExitHook({});
        ResetProgramLocation();
    }
    // A server that passes every check, plus the given settings lines.
    void WriteServer(const std::string &settings = "") {
        WriteFile(tmp / "registry.reg", ServerRegistry((tmp / "server").string() + "/", settings));
    }
    std::string Setting(const char *name, int32_t type) {
        return RegValueText(
            GetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Brevita", name, type, {}));
    }
};

template <class T> T *Find(QWidget &w, const char *name) {
    T *found = w.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void ShowActive(QWidget &w) {
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

} // namespace

TEST_F(MainWindowTest, AFailedStartUpCheckEndsTheProgramAndSavesNothing) {
    const std::string root = (tmp / "server").string();
    const struct {
        std::string registry;
        bool remoteSession;
        std::string message;
    } cases[] = {
        // An old server ends the program before the session is looked at.
        {"Windows Registry Editor Version 5.00\r\n\r\n" + RootKey(root + "/"), true,
         "This tool only works with Corvox 4.0(2) or later"},
        {kServerKeys + RootKey(root + "/"), true,
         "This tool cannot be run via a Terminal Services session since it accesses a WAV "
         "driver.  You will need to run it locally."},
        {kServerKeys, false, "Could not find install path for local Corvox install."},
        {kServerKeys + RootKey(root), false,
         "could not find stream files folder: " + root + "Stream Files/"},
    };
    for (const auto &c : cases) {
        WriteFile(tmp / "registry.reg", c.registry);
        ScopedEnv session("XRDP_SESSION",
                          c.remoteSession ? std::optional<std::string>("1") : std::nullopt);
        prompt.questions.clear();
        exits = 0;
        frmMain w;
        EXPECT_FALSE(w.Form_Load()) << c.message;
        EXPECT_EQ(prompt.Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(exits, 1);
        EXPECT_EQ(ReadFile(tmp / "registry.reg"), c.registry) << "nothing may be saved";
    }
}

TEST_F(MainWindowTest, FirstRunCreatesTheKeyAndTheCloseBoxSavesTheDefaults) {
    WriteServer();
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    EXPECT_EQ(StreamFilesPath, (tmp / "server").string() + "/Stream Files/");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Brevita"));
    EXPECT_EQ(Setting("SilenceLevel", REG_SZ), "");
    EXPECT_TRUE(prompt.questions.empty());

    ShowActive(w);
    w.close();
    EXPECT_EQ(exits, 0);
    const std::tuple<const char *, int32_t, const char *> defaults[] = {
        {"TrimVoiceNames", REG_DWORD, "1"},  {"TrimGreetings", REG_DWORD, "0"},
        {"BackupFiles", REG_DWORD, "1"},     {"BackupDestination", REG_SZ, ""},
        {"MaxVoiceNames", REG_SZ, "200"},    {"SilenceToTrim", REG_SZ, "300"},
        {"SilencePadding", REG_SZ, "250"},   {"SilenceLevel", REG_SZ, "-45"},
        {"FollowLineNoise", REG_DWORD, "0"}, {"CutClosingKey", REG_DWORD, "0"}};
    for (const auto &[name, type, value] : defaults)
        EXPECT_EQ(Setting(name, type), value) << name;
}

TEST_F(MainWindowTest, StoredSettingsFillTheControlsAndOnlyTheLevelSignIsMended) {
    for (const char *level : {"12", "-90"}) {
        WriteServer(std::string("\"SilenceLevel\"=\"") + level +
                    "\"\r\n\"TrimGreetings\"=dword:00000001\r\n\"BackupFiles\"=dword:00000000\r\n"
                    "\"BackupDestination\"=\"/srv/b k/\"\r\n\"MaxVoiceNames\"=\"abc\"\r\n");
        frmMain w;
        ASSERT_TRUE(w.Form_Load());
        BrevitaSettings s = w.SettingsFromControls();
        EXPECT_EQ(s.silenceLevel, level == std::string("12") ? "-43" : "-90");
        EXPECT_TRUE(s.trimVoiceNames && s.trimGreetings && !s.backupFiles);
        EXPECT_EQ(s.backupDestination, "/srv/b k/");
        EXPECT_EQ(s.maxVoiceNames, "abc") << "checked only when the user leaves the box";
        EXPECT_EQ(s.silenceToTrim, "300");
    }
    EXPECT_TRUE(prompt.questions.empty());
}

TEST_F(MainWindowTest, TheTrimModeBoxesLoadSaveTabAndAnswerTheirAccessKeys) {
    WriteServer("\"FollowLineNoise\"=dword:00000001\r\n");
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    auto *noise = Find<QCheckBox>(w, "chkFollowLineNoise");
    auto *key = Find<QCheckBox>(w, "chkCutClosingKey");
    ASSERT_TRUE(noise && key);
    auto *options = Find<QGroupBox>(w, "frameOptions");
    EXPECT_TRUE(options->isAncestorOf(noise) && options->isAncestorOf(key));
    EXPECT_EQ(noise->text(), "Follow each recording's line &noise");
    EXPECT_EQ(key->text(), "Cut a closing &key press");
    EXPECT_TRUE(noise->isChecked()) << "loaded from the store";
    EXPECT_FALSE(key->isChecked()) << "missing from the store: the default";
    EXPECT_TRUE(w.SettingsFromControls().followLineNoise);
    EXPECT_FALSE(w.SettingsFromControls().cutClosingKey);

    ShowActive(w);
    // Tab visits the controls in the order they stand, the new boxes after
    // the options' numbers.
    const char *order[] = {"chkTrimVoiceNames",
                           "chkTrimGreetings",
                           "txtSilenceLevel",
                           "txtSilenceToTrim",
                           "txtSilencePadding",
                           "txtMaxNamesToTouch",
                           "chkFollowLineNoise",
                           "chkCutClosingKey",
                           "chkBackup",
                           "txtBackupDestination",
                           "cmbBrowseForBackupDestination",
                           "cmdTest",
                           "cmdTrimSilence",
                           "cmdExit",
                           "chkTrimVoiceNames"};
    Find<QWidget>(w, order[0])->setFocus();
    for (size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget()->objectName().toStdString(), order[i])
            << "after " << order[i - 1];
    }
    EXPECT_TRUE(prompt.questions.empty());

    // Every access key of the window is its own.
    std::set<int> keys;
    for (QAbstractButton *b : w.findChildren<QAbstractButton *>()) {
        const int k = QKeySequence::mnemonic(b->text())[0].toCombined();
        if (k != 0) {
            EXPECT_TRUE(keys.insert(k).second) << b->objectName().toStdString();
        }
    }
    EXPECT_GE(keys.size(), 6u);
    // The access keys toggle their box, also from a number box that passes
    // its check.
    Find<QLineEdit>(w, "txtSilenceLevel")->setFocus();
    QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
    QTest::keyClick(&w, Qt::Key_K, Qt::AltModifier);
    QTest::qWait(300); // the click follows the key a moment later
    EXPECT_FALSE(noise->isChecked());
    EXPECT_TRUE(key->isChecked());
    EXPECT_TRUE(prompt.questions.empty());

    // The close box saves both, as check boxes are kept.
    w.close();
    EXPECT_EQ(Setting("FollowLineNoise", REG_DWORD), "0");
    EXPECT_EQ(Setting("CutClosingKey", REG_DWORD), "1");
    frmMain again;
    ASSERT_TRUE(again.Form_Load());
    EXPECT_FALSE(Find<QCheckBox>(again, "chkFollowLineNoise")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(again, "chkCutClosingKey")->isChecked());
}

TEST_F(MainWindowTest, NumberBoxesRefuseBadTextAndKeepTheFocus) {
    WriteServer();
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    ShowActive(w);
    // Refused: the message, the box's reset text, and the focus back. What
    // counts as a number is MyIsNumber's own test; each box's whole range,
    // the up-downs' test.
    auto *maxBox = Find<QLineEdit>(w, "txtMaxNamesToTouch");
    auto *levelBox = Find<QLineEdit>(w, "txtSilenceLevel");
    maxBox->setFocus();
    maxBox->setText("1001");
    levelBox->setFocus();
    EXPECT_EQ(prompt.Messages(),
              std::vector<std::string>{"You must enter a number between 0 and 1000"});
    EXPECT_EQ(maxBox->text(), "200");
    EXPECT_EQ(QApplication::focusWidget(), maxBox);
    prompt.questions.clear();
    maxBox->setText("1000");
    levelBox->setFocus();
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_EQ(QApplication::focusWidget(), levelBox);
    // Each of the other boxes with its own message and reset text.
    const struct {
        const char *box, *bad, *message, *reset;
    } rules[] = {
        {"txtSilenceLevel", "5", "You must enter a number between -80 and 0", "-43"},
        {"txtSilencePadding", "401", "You must enter a number between 0 and 400", "120"},
        {"txtSilenceToTrim", "99", "You must enter a number between 100 and 2000", "300"},
    };
    for (const auto &r : rules) {
        prompt.questions.clear();
        auto *box = Find<QLineEdit>(w, r.box);
        box->setFocus();
        box->setText(r.bad);
        Find<QCheckBox>(w, "chkBackup")->setFocus();
        EXPECT_EQ(prompt.Messages(), std::vector<std::string>{r.message}) << r.box;
        EXPECT_EQ(box->text(), r.reset) << r.box;
        EXPECT_EQ(QApplication::focusWidget(), box) << r.box;
    }

    // A press on a button is checked before the button acts, and swallowed.
    prompt.questions.clear();
    levelBox->setFocus();
    levelBox->setText("x");
    QTest::mouseClick(Find<QPushButton>(w, "cmdTrimSilence"), Qt::LeftButton);
    EXPECT_EQ(prompt.Messages(),
              std::vector<std::string>{"You must enter a number between -80 and 0"});
    EXPECT_EQ(QApplication::focusWidget(), levelBox);

    // Moving to another window (as a message box does) is no move to check;
    // Exit and the close box work whatever a box holds.
    prompt.questions.clear();
    levelBox->setText("x");
    QWidget other;
    ShowActive(other);
    ShowActive(w);
    Find<QPushButton>(w, "cmdExit")->setFocus();
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_EQ(exits, 0);
    QTest::mouseClick(Find<QPushButton>(w, "cmdExit"), Qt::LeftButton);
    EXPECT_EQ(exits, 1);
    levelBox->setFocus();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_EQ(Setting("SilenceLevel", REG_SZ), "x");
}

TEST_F(MainWindowTest, AccessKeysActFromANumberBoxOnceItsCheckPasses) {
    WriteServer("\"TrimVoiceNames\"=dword:00000000\r\n");
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    ShowActive(w);
    auto *level = Find<QLineEdit>(w, "txtSilenceLevel");
    using Kind = RecordingPrompt::Kind;
    const struct {
        Qt::Key key;
        const char *text;
        Kind kind;         // what the key leads to
        std::string asked; // its text: the message, or the dialog's title
    } cases[] = {
        {Qt::Key_T, "-45", Kind::Message,
         "You must select to trim either voice names or greetings or both"},
        {Qt::Key_E, "-45", Kind::File, "Select WAV file to trim silence from"},
        {Qt::Key_B, "-45", Kind::Folder, ""},
        // A failed check stops the key, as it stops a click.
        {Qt::Key_B, "x", Kind::Message, "You must enter a number between -80 and 0"},
    };
    for (const auto &c : cases) {
        prompt.questions.clear();
        level->setFocus();
        level->setText(QString::fromLatin1(c.text));
        QTest::keyClick(&w, c.key, Qt::AltModifier);
        // The button's click follows the key a moment later.
        QTest::qWait(300);
        ASSERT_EQ(prompt.questions.size(), 1u) << c.key << " " << c.text;
        EXPECT_EQ(prompt.questions[0].kind, c.kind) << c.key << " " << c.text;
        EXPECT_EQ(prompt.questions[0].text, c.asked) << c.key << " " << c.text;
    }
    EXPECT_EQ(QApplication::focusWidget(), level) << "a refused box keeps the focus";
}

TEST_F(MainWindowTest, TheCopyNoticeIsFixedAndPaintedWhileTheCopyRuns) {
    frmMain w;
    ShowActive(w);
    auto *notice = w.findChild<frmSplashScreen *>();
    ASSERT_NE(notice, nullptr);
    // A window that names no function is offered all by the window manager.
    const Qt::WindowFlags flags = notice->windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(notice->minimumSize(), notice->maximumSize());

    struct PaintCount : QObject {
        std::atomic<int> paints{0};
        bool eventFilter(QObject *, QEvent *e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } label;
    Find<QLabel>(*notice, "Label1")->installEventFilter(&label);
    // The window goes on working while the copy runs: a timer fires, and
    // an attempt to close the notice is refused.
    std::atomic<bool> ticked{false};
    bool closed = true;
    QTimer::singleShot(50, notice, [&] {
        notice->close();
        closed = !notice->isVisible();
        ticked = true;
    });
    int paintedFirst = 0;
    bool tickedDuring = false;
    w.CopyWithNotice([&] {
        paintedFirst = label.paints;
        for (int i = 0; i < 300 && !ticked; ++i)
            ::usleep(10000);
        tickedDuring = ticked;
    });
    EXPECT_GT(paintedFirst, 0) << "painted before the copy starts";
    EXPECT_TRUE(tickedDuring);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(notice->isVisible());
    // What the copy throws reaches the run's error report.
    EXPECT_THROW(w.CopyWithNotice([] { RaiseError(ErrDiskFull, "Disk full"); }), AppError);
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(MainWindowTest, UpDownsStepTheirBoxWithinItsRange) {
    WriteServer();
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    // Each up-down spans exactly the range its box accepts.
    const auto valid = [&](QLineEdit *box, int v) {
        box->setText(QString::number(v));
        return w.Validate(box);
    };
    ASSERT_EQ(w.findChildren<UpDown *>().size(), 4);
    for (UpDown *ud : w.findChildren<UpDown *>()) {
        ASSERT_NE(ud->buddy(), nullptr);
        EXPECT_TRUE(valid(ud->buddy(), ud->minimum()) && valid(ud->buddy(), ud->maximum()));
        EXPECT_FALSE(valid(ud->buddy(), ud->minimum() - 1) || valid(ud->buddy(), ud->maximum() + 1))
            << ud->objectName().toStdString();
    }
    // The step starts from the typed number and stops at either end.
    auto *box = Find<QLineEdit>(w, "txtMaxNamesToTouch");
    auto buttons = Find<UpDown>(w, "UpDownMaxNames")->findChildren<QToolButton *>();
    ASSERT_EQ(buttons.size(), 2);
    box->setText("990");
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(box->text(), "1000");
    box->setText("10");
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_EQ(box->text(), "0");
    // Text that is no number: the step starts from the up-down's own value.
    box->setText("abc");
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(box->text(), "25");
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->text(), "50");
}

TEST_F(MainWindowTest, ExitsDoNotSaveAndBrowseFillsTheDestination) {
    WriteServer();
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    const std::string saved = ReadFile(tmp / "registry.reg");
    Find<QLineEdit>(w, "txtSilencePadding")->setText("100");
    Find<QPushButton>(w, "cmdExit")->click();
    w.findChild<QAction *>("mnuExit")->trigger();
    EXPECT_EQ(exits, 2);
    EXPECT_EQ(ReadFile(tmp / "registry.reg"), saved);

    auto *dest = Find<QLineEdit>(w, "txtBackupDestination");
    // A cancelled choice keeps the last one.
    prompt.paths = {"/srv/bak", "/srv/bak2/", ""};
    for (const char *expected : {"/srv/bak/", "/srv/bak2/", "/srv/bak2/"}) {
        Find<QPushButton>(w, "cmbBrowseForBackupDestination")->click();
        EXPECT_EQ(dest->text().toStdString(), expected);
    }
}

TEST_F(MainWindowTest, ControlsThatStartARunAreDisabledWhileOneRuns) {
    WriteServer("\"BackupFiles\"=dword:00000000\r\n\"TrimGreetings\"=dword:00000001\r\n");
    frmMain w;
    ASSERT_TRUE(w.Form_Load());
    // A database out of reach: the run does not start.
    DbConnectionString = "Driver={No Such Driver};server=db.invalid,1433;database=CorvoxDb";
    prompt.answers = {Answer::Yes};
    Find<QPushButton>(w, "cmdTrimSilence")->click();
    ASSERT_EQ(prompt.Messages().size(), 2u);
    EXPECT_PRED2(Contains, prompt.Messages()[1],
                 "Brevita cannot reach the database on server db.invalid,1433: ");
    EXPECT_TRUE(LogFilePath.empty());
    EXPECT_TRUE(Find<QPushButton>(w, "cmdTrimSilence")->isEnabled());

    // An empty server's lists: a run that starts, and only finds nothing.
    Psql("TRUNCATE subscriber, messagingrule, request RESTART IDENTITY");
    DbConnectionString = kCorvoxConnectionString;
    prompt.questions.clear();
    // Yes to the summary's question, on a desktop without a program for
    // text files.
    prompt.answers = {Answer::Yes, Answer::Ok, Answer::Ok, Answer::Yes};
    ScopedEnv noViewer("PATH", (tmp / "no programs").string());
    int pumped = 0;
    // The log lets the window work between lines: that is where a second
    // run could be started.
    SetProcessEventsHook([&] {
        ++pumped;
        EXPECT_FALSE(Find<QPushButton>(w, "cmdTrimSilence")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(w, "cmdTest")->isEnabled());
        EXPECT_FALSE(w.findChild<QAction *>("mnuRestore")->isEnabled());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    });
    Find<QPushButton>(w, "cmdTrimSilence")->click();
    SetProcessEventsHook({});
    EXPECT_GT(pumped, 0);
    EXPECT_TRUE(Find<QPushButton>(w, "cmdTrimSilence")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.findChild<QGroupBox *>("frameProgress")->title(), "Complete");
    ASSERT_EQ(prompt.Messages().size(), 5u);
    EXPECT_EQ(prompt.Messages()[1], "No subscribers with voice names found on the local server");
    EXPECT_EQ(prompt.Messages()[2], "No greetings found on the local server");
    EXPECT_EQ(prompt.Messages()[4], "The log file " + LogFilePath +
                                        " could not be opened: no program to show it was found. "
                                        "Open it with a text editor.");

    // Closed during a run: the run stops before its stages, shows nothing
    // more, and the window closes once it has ended.
    ShowActive(w);
    prompt.questions.clear();
    prompt.answers = {Answer::Yes};
    SetProcessEventsHook([&] {
        if (w.isVisible())
            w.close();
    });
    Find<QPushButton>(w, "cmdTrimSilence")->click();
    SetProcessEventsHook({});
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(prompt.Messages().size(), 1u); // the confirmation only
    EXPECT_PRED2(Contains, ReadFile(LogFilePath),
                 "The run was stopped before every file was checked: 0 voice names and 0 "
                 "greetings updated.");
}

int main(int argc, char **argv) {
    // Test discovery runs without the tests' environment.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
