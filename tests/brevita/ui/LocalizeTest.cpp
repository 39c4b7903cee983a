// Languages, help and About offscreen: the abbreviation table, the scan of
// the program folder, the language menu, the font switch, the switch to the
// German catalogue through the windows' hooks, the translated messages, and
// the help window.
#include "Messages.h"
#include "Program.h"
#include "Twips.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "frmSplashScreen.h"
#include "modLocalize.h"
#include "Settings.h"
#include "TrimLock.h"
#include "TrimBatch.h"
#include "AppEnv.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>

#include <unicode/uloc.h>

#include <regex>
#include <set>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

const QString kJapaneseFace = QString::fromUtf16(u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");

struct LocalizeTest : ::testing::Test {
    TempDir tmp;
    RecordingPrompt prompt;
    ScopedUserPrompt installed{prompt};

    void SetUp() override {
        SetProgramLocation(tmp.path(), "Brevita");
        CurrentLanguageId = 1033;
    }
    void TearDown() override {
        CurrentLanguageId = 1033;
        InitalizeLanguages(); // no catalogue in the folder: English again
        ResetProgramLocation();
    }
    // The built catalogue, under another name when one is given.
    void Catalogue(const char *abbreviation, const std::string &as = {}) {
        const std::string name = std::string("Brevita_") + abbreviation + ".dll";
        fs::copy_file(fs::path(BREVITA_BIN_DIR) / name, tmp / (as.empty() ? name : as));
    }
};

// Runs f inside the next modal loop (the About box's), then closes it.
void InsideAbout(frmMain &w, const std::function<void(frmAbout &)> &f) {
    QTimer::singleShot(0, &w, [&] {
        f(*w.AboutBox());
        w.AboutBox()->findChild<QPushButton *>("cmdOK")->click();
    });
    w.findChild<QAction *>("mnuAbout")->trigger();
}

QAction *MenuItem(frmAbout &about, const QString &caption) {
    for (QAction *a : about.LanguageList())
        if (a->text() == caption)
            return a;
    ADD_FAILURE() << caption.toStdString();
    return nullptr;
}

// The texts a source marks for the catalogue in the messages' context: whole
// messages, patterns of messages with parts, captions.
std::vector<std::string> MarkedTexts(const std::string &src) {
    static const std::regex mark(
        R"re(QT_TRANSLATE_NOOP\(\s*"Brevita",((?:\s*"(?:[^"\\]|\\.)*")+)\s*\))re");
    static const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
    static const std::regex escape(R"re(\\(.))re");
    std::vector<std::string> texts;
    for (auto c = std::sregex_iterator(src.begin(), src.end(), mark); c != std::sregex_iterator();
         ++c) {
        std::string text;
        const std::string literals = (*c)[1];
        for (auto l = std::sregex_iterator(literals.begin(), literals.end(), literal);
             l != std::sregex_iterator(); ++l)
            text += (*l)[1];
        text = std::regex_replace(text, std::regex(R"(\\n)"), "\n");
        texts.push_back(std::regex_replace(text, escape, "$1"));
    }
    return texts;
}

} // namespace

TEST_F(LocalizeTest, AbbreviationsAndIdsBothWays) {
    // The table's first and last rows, and the ones the catalogues use.
    const std::pair<const char *, int32_t> table[] = {
        {"ENX", 33801}, {"ENU", 1033}, {"DEU", 1031}, {"JPN", 1041}, {"ZHI", 4100}};
    for (const auto &[abbreviation, id] : table) {
        EXPECT_EQ(LanguageIdFromAbbreviation(abbreviation), id) << abbreviation;
        EXPECT_EQ(AbbreviationFromLanguageId(id), abbreviation) << id;
    }
    // Exact and case-sensitive; anything else is English (United States).
    for (const char *other : {"deu", "DEU ", "", "KOR"})
        EXPECT_EQ(LanguageIdFromAbbreviation(other), 1033) << other;

    EXPECT_EQ(LanguageNameFromId(33801), "English (TDD/TTY)");
    EXPECT_EQ(LanguageNameFromAbbreviation("jpn"), "English (United States)");
    // Outside the table: the system's abbreviation, or the ISO code.
    EXPECT_EQ(AbbreviationFromLanguageId(1025), "ARA");
    EXPECT_EQ(AbbreviationFromLanguageId(1066), "VIT");
    EXPECT_EQ(AbbreviationFromLanguageId(1124), "FIL");
    // An id that names no language.
    EXPECT_EQ(AbbreviationFromLanguageId(0x7FFF), "ERR");
    EXPECT_EQ(LanguageNameFromId(0x7FFF), "(error)");
}

TEST_F(LocalizeTest, TheScanMatchesNamesWithoutCaseAndSkipsFolders) {
    for (const char *name : {"brevita_jpn.DLL", "Brevita_DEU.dll", "Brevita_FRA.txt",
                             "Other_ITA.dll", "BrevitaXNLD.dll", "Brevita_ESPxdll"})
        WriteFile(tmp / name, "not a catalogue");
    fs::create_directory(tmp / "Brevita_NOR.dll");
    InitalizeLanguages();
    // Each once; the order is the folder's own.
    EXPECT_EQ(std::set<std::string>(AvailableLanguages.begin(), AvailableLanguages.end()),
              (std::set<std::string>{"jpn", "DEU", "ESP"}));
    EXPECT_EQ(AvailableLanguages.size(), 3u);
    EXPECT_EQ(LanguageResourceHandle(), nullptr) << "ENU is not there; the others are no catalogue";
    EXPECT_TRUE(prompt.questions.empty());

    // Nothing at all: one empty entry.
    for (const auto &e : fs::directory_iterator(tmp.path()))
        fs::remove_all(e.path());
    InitalizeLanguages();
    EXPECT_EQ(AvailableLanguages, std::vector<std::string>{""});

    // A folder that cannot be listed is reported, and the list still has its entry.
    SetProgramLocation(tmp / "gone", "Brevita");
    InitalizeLanguages();
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_EQ(prompt.Messages()[0].rfind("Error in InitalizeLanguages: ", 0), 0u);
    EXPECT_EQ(AvailableLanguages, std::vector<std::string>{""});
}

TEST_F(LocalizeTest, AFileNamedInOtherLettersIsListedAndLoads) {
    Catalogue("DEU", "BREVITA_DEU.DLL");
    Catalogue("ENU", "brevita_enu.dll");
    for (int32_t id : {1031, 1033}) {
        CurrentLanguageId = id;
        InitalizeLanguages();
        EXPECT_EQ(std::set<std::string>(AvailableLanguages.begin(), AvailableLanguages.end()),
                  (std::set<std::string>{"DEU", "enu"}));
        EXPECT_NE(LanguageResourceHandle(), nullptr) << id;
    }
    // English was loaded last; German again, and its texts are in force.
    CurrentLanguageId = 1031;
    InitalizeLanguages();
    EXPECT_EQ(TranslateText("Complete"), "Fertig");
    EXPECT_TRUE(prompt.questions.empty());
}

// Both languages by name: the switch to German below.
TEST_F(LocalizeTest, TheLanguageMenuSaysSoWhenEnglishIsTheOnlyFile) {
    Catalogue("ENU");
    frmAbout about;
    ASSERT_EQ(about.LanguageList().size(), 1);
    QAction *only = about.LanguageList().front();
    EXPECT_EQ(only->text(), "no languages loaded");
    EXPECT_EQ(only->data().toString(), "1033");
    EXPECT_NE(LanguageResourceHandle(), nullptr) << "the English file is loaded";
}

TEST_F(LocalizeTest, EastAsianLanguagesSwitchTheFontOfEveryControlOfEveryWindow) {
    frmMain main;
    frmHelp help;
    CurrentLanguageId = 1041;
    InitalizeLanguages();
    for (QWidget *window : {static_cast<QWidget *>(&main), static_cast<QWidget *>(&help)}) {
        ASSERT_GT(window->findChildren<QWidget *>().size(), 1);
        for (QWidget *c : window->findChildren<QWidget *>()) {
            EXPECT_EQ(c->property(kFontCharSetProperty).toInt(), 128)
                << c->objectName().toStdString();
            EXPECT_EQ(c->font().families().front(), kJapaneseFace);
        }
    }
    // The next language takes the face off again; the font keeps its size.
    const int titleSize = main.findChild<QGroupBox *>("frameOptions")->font().pointSize();
    CurrentLanguageId = 1033;
    InitalizeLanguages();
    for (QWidget *c : main.findChildren<QWidget *>()) {
        EXPECT_EQ(c->property(kFontCharSetProperty).toInt(), 1);
        EXPECT_EQ(c->font().family(), QApplication::font(c).family());
    }
    EXPECT_EQ(main.findChild<QGroupBox *>("frameOptions")->font().pointSize(), titleSize);
}

TEST_F(LocalizeTest, ChoosingGermanRetranslatesTheOpenWindowsAndTheMessages) {
    Catalogue("ENU");
    Catalogue("DEU");
    frmMain w;
    w.show();
    auto *trim = w.findChild<QPushButton *>("cmdTrimSilence");
    auto *maxBox = w.findChild<QLineEdit *>("txtMaxNamesToTouch");
    maxBox->setText("77");
    w.SetProgressCaption("Complete");
    w.findChild<QAction *>("mnuHelp")->trigger();

    InsideAbout(w, [&](frmAbout &about) {
        MenuItem(about, "German (Germany)")->trigger();
        EXPECT_EQ(about.findChild<QLabel *>("lblChangeLanguage")->text(), "Sprache ändern");
    });
    EXPECT_EQ(CurrentLanguageId, 1031);
    EXPECT_EQ(trim->text(), "&Stille kürzen");
    EXPECT_EQ(w.findChild<QCheckBox *>("chkFollowLineNoise")->text(),
              "Dem &Leitungsrauschen jeder Aufnahme folgen");
    EXPECT_EQ(w.findChild<QCheckBox *>("chkCutClosingKey")->text(),
              "&Abschließenden Tastendruck abschneiden");
    // The German access keys are the window's own too.
    std::set<int> keys;
    for (QAbstractButton *b : w.findChildren<QAbstractButton *>()) {
        const int k = QKeySequence::mnemonic(b->text())[0].toCombined();
        if (k != 0) {
            EXPECT_TRUE(keys.insert(k).second) << b->text().toStdString();
        }
    }
    EXPECT_GE(keys.size(), 6u);
    EXPECT_EQ(w.findChild<QGroupBox *>("frameProgress")->title(), "Fertig");
    EXPECT_EQ(maxBox->text(), "77") << "typed values are no captions";
    EXPECT_EQ(w.HelpWindow()->windowTitle(), "Brevita-Hilfe");
    EXPECT_EQ(w.findChild<frmSplashScreen *>()->findChild<QLabel *>("Label1")->text(),
              "Namensansagen und Begrüßungen werden kopiert...");

    // Messages follow the catalogue; the English texts stay the keys.
    maxBox->setText("abc");
    w.Validate(maxBox);
    EXPECT_EQ(prompt.Messages(),
              std::vector<std::string>{"Geben Sie eine Zahl zwischen 0 und 1000 ein"});

    // English turns everything back.
    InsideAbout(w, [&](frmAbout &about) { MenuItem(about, "English (United States)")->trigger(); });
    EXPECT_EQ(trim->text(), "&Trim Silence");
    EXPECT_EQ(w.findChild<QGroupBox *>("frameProgress")->title(), "Complete");
    EXPECT_EQ(TranslateMessage("Complete"), "Complete");
}

TEST_F(LocalizeTest, EveryMessageHasItsGermanText) {
    Catalogue("DEU");
    CurrentLanguageId = 1031;
    InitalizeLanguages();
    ASSERT_NE(LanguageResourceHandle(), nullptr);

    int checked = 0;
    for (const auto &file : fs::recursive_directory_iterator(BREVITA_SOURCE_DIR)) {
        if (file.path().extension() != ".cpp" && file.path().extension() != ".h")
            continue;
        for (const std::string &text : MarkedTexts(ReadFile(file.path()))) {
            ++checked;
            EXPECT_NE(TranslateText(text), text) << file.path().filename() << ": " << text;
        }
    }
    EXPECT_GT(checked, 60);

    // Messages kept in constants, and the ones built from parts.
    for (const NumberRule &r : kNumberRules)
        EXPECT_NE(TranslateMessage(r.Message()), r.Message());
    EXPECT_NE(TranslateMessage(kAnotherTrimRunning), kAnotherTrimRunning);
    for (const std::string &text :
         {NestedFoldersText("/srv/Stream Files", "/srv/Stream Files/b"),
          UnreachableDatabaseText("db,1433", "[08001] refused", "/etc/brevita/registry.reg"),
          LogNotShownText("/var/log/brevita/Brevita_Log_240101_10_00_00.TXT"),
          FillMessage("Dry run complete.  %1 voice names would be updated and %2 greetings would "
                      "be updated, cutting %3 seconds of audio.\n%4 error(s) encountered.\nView "
                      "log file now?",
                      {"2", "0", "4.5", " 0"}),
          FillMessage("Brevita keeps its files in %1, which only members of the group %2 may "
                      "write: ask an administrator to add you to that group, then log in again.",
                      {"/var/opt/brevita", "brevita"})})
        EXPECT_NE(TranslateMessage(text), text);
    EXPECT_EQ(TranslateMessage(ErrorReportText(ErrorReport::FormMessage,
                                               AppError(53, "File not found (really)"),
                                               "cmdTest_Click", "frmMain")),
              "Fehler 53 (File not found (really)) in Prozedur cmdTest_Click von Formular frmMain");
    EXPECT_EQ(TranslateMessage(ErrorReportText(ErrorReport::ModuleMessage,
                                               AppError(53, "File not found"), "Open", "modX")),
              "(Fehler):53 (Datei nicht gefunden) in Prozedur Open von Modul modX");
    // The box's CR LF line ends stay.
    std::string summary = FillMessage("Trim process complete.  %1 voice names updated and %2 "
                                      "greetings updated.\n%3 error(s) encountered.\nView log "
                                      "file now?",
                                      {"3", "0", " 1"});
    summary = QString::fromStdString(summary).replace("\n", "\r\n").toStdString();
    EXPECT_EQ(summary, "Trim process complete.  3 voice names updated and 0 greetings "
                       "updated.\r\n 1 error(s) encountered.\r\nView log file now?");
    EXPECT_EQ(TranslateMessage(summary),
              "Kürzen abgeschlossen.  3 Namensansagen und 0 Begrüßungen geändert.\r\n 1 Fehler "
              "aufgetreten.\r\nProtokolldatei jetzt anzeigen?");
    // A part that looks like a placeholder is not filled again.
    EXPECT_EQ(TranslateMessage(FillMessage("could not find stream files folder: %1", {"/srv/%2/"})),
              "Ordner „Stream Files“ nicht gefunden: /srv/%2/");
    EXPECT_EQ(TranslateMessage("Not a message of ours"), "Not a message of ours");
}

TEST_F(LocalizeTest, OneHelpWindowShowsThePageBesideTheProgramAtItsLeastSize) {
    WriteFile(tmp / "Brevita.HTM", "<html><head><title>Page beside the program</title></head>"
                                   "<body><p>Help text</p></body></html>");
    frmMain w;
    w.findChild<QAction *>("mnuHelp")->trigger();
    frmHelp *help = w.HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->findChild<QTextBrowser *>("browserHelp")->documentTitle(),
              "Page beside the program");
    EXPECT_TRUE(help->isVisible());
    w.findChild<QAction *>("mnuHelp")->trigger();
    EXPECT_EQ(w.HelpWindow(), help) << "one help window at a time";

    // The least size is the outer one; the other side stays as asked.
    help->resize(40, 900);
    EXPECT_EQ(std::make_pair(help->frameGeometry().width(), help->height()),
              std::make_pair(TwipsToPixels(2500, help->logicalDpiX()), 900));

    // Closed, it is gone; the next Help opens a new one.
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.HelpWindow(), nullptr);
    w.findChild<QAction *>("mnuHelp")->trigger();
    EXPECT_NE(w.HelpWindow(), nullptr);
}

// The title a window system shows: Qt appends the application's display
// name, once one is set, to every title that does not end with it.
std::string ShownTitle(const QWidget &w) {
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("no display name"));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    const QString title = w.windowTitle();
    return (display == QStringLiteral("no display name") || title.endsWith(display)
                ? title
                : title + QString::fromUtf8(" \u2014 ") + display)
        .toStdString();
}

TEST_F(LocalizeTest, TheHelpWindowOpensOverTheMainWindowUnderItsOwnTitle) {
    NameApplication();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred on the main window along each side, unless the screen's edge
    // stops it on the way.
    const auto closest = [&](int at, int from, int to, int size, int wanted) {
        return std::abs(at + size / 2 - wanted) <= 2 || (wanted < at + size / 2 && at == from) ||
               (wanted > at + size / 2 && at + size - 1 == to);
    };
    for (const QPoint at :
         {screen.center() - QPoint(300, 200), screen.bottomRight() - QPoint(200, 150)}) {
        frmMain w;
        w.move(at);
        w.show();
        w.findChild<QAction *>("mnuHelp")->trigger();
        frmHelp *help = w.HelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(ShownTitle(*help), "Brevita Help");
        EXPECT_EQ(ShownTitle(w), "Brevita");
        const QRect over = help->frameGeometry(), main = w.frameGeometry();
        EXPECT_TRUE(screen.contains(over)) << at.x() << "," << at.y();
        EXPECT_TRUE(
            closest(over.left(), screen.left(), screen.right(), over.width(), main.center().x()))
            << at.x() << "," << at.y() << ": " << over.left();
        EXPECT_TRUE(
            closest(over.top(), screen.top(), screen.bottom(), over.height(), main.center().y()))
            << at.x() << "," << at.y() << ": " << over.top();
        help->close();
    }
}

int main(int argc, char **argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Language names in English, whatever the machine's locale.
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("en_US", &status);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
