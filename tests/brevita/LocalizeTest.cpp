// Languages, help and About offscreen: the abbreviation table, the scan of
// the program folder, the language menu, the font switch, the switch to the
// German catalogue through the windows' hooks, the translated messages, and
// the help window's size rule.
#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/Messages.h"
#include "brevita/Twips.h"
#include "brevita/UserPrompt.h"
#include "brevita/frmAbout.h"
#include "brevita/frmHelp.h"
#include "brevita/frmMain.h"
#include "brevita/frmSplashScreen.h"
#include "brevita/modLocalize.h"
#include "brevita/modSettings.h"
#include "brevita/modTrimLock.h"
#include "TestSupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include <unicode/uloc.h>

#include <regex>

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
    void Catalogue(const char *abbreviation) {
        const std::string name = std::string("Brevita_") + abbreviation + ".dll";
        fs::copy_file(fs::path(BREVITA_BIN_DIR) / name, tmp / name);
    }
    // The language files of the folder in its own listing order.
    std::vector<std::string> Listed(const std::vector<std::string> &names) {
        std::vector<std::string> out;
        for (const auto &e : fs::directory_iterator(tmp.path())) {
            const std::string name = e.path().filename().string();
            if (std::find(names.begin(), names.end(), name) != names.end())
                out.push_back(name.substr(name.size() - 7, 3));
        }
        return out;
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

// The texts a source shows through MsgBox or Refuse: the literals of the
// first argument, each part that is no literal standing as %1, %2, ... as in
// the catalogue's patterns. Calls without a literal are left out.
std::vector<std::string> ShownTexts(const std::string &src) {
    static const std::regex call(R"(\b(MsgBox|Refuse)\()");
    std::vector<std::string> texts;
    for (auto it = std::sregex_iterator(src.begin(), src.end(), call); it != std::sregex_iterator();
         ++it) {
        std::string text;
        int parts = 0, depth = 1;
        bool literal = false, gap = false;
        const auto part = [&] { text += gap ? "%" + std::to_string(++parts) : ""; };
        for (size_t i = it->position() + it->length(); depth > 0 && !(depth == 1 && src[i] == ',');
             ++i) {
            if (src[i] != '"') {
                depth += src[i] == '(' ? 1 : src[i] == ')' ? -1 : 0;
                gap = gap || (depth > 0 && !std::isspace(static_cast<unsigned char>(src[i])) &&
                              src[i] != '+');
                continue;
            }
            part();
            gap = false;
            literal = true;
            for (++i; src[i] != '"'; ++i)
                text += src[i] != '\\'    ? src[i]
                        : src[++i] == 'n' ? '\n'
                        : src[i] == 'r'   ? '\r'
                                          : src[i];
        }
        part();
        if (literal)
            texts.push_back(text);
    }
    return texts;
}

} // namespace

TEST_F(LocalizeTest, AbbreviationsAndIdsBothWays) {
    const std::pair<const char *, int32_t> table[] = {
        {"ENX", 33801}, {"ENU", 1033},  {"ENG", 2057},  {"ENA", 3081},  {"ENC", 4105},
        {"ENZ", 5129},  {"ENI", 6153},  {"DEU", 1031},  {"DES", 2055},  {"DEA", 3079},
        {"DEL", 4103},  {"DEC", 5127},  {"ESP", 1034},  {"CHT", 1028},  {"CHS", 2052},
        {"ESM", 2058},  {"ESN", 3082},  {"ESG", 4106},  {"ESC", 5130},  {"ESA", 6154},
        {"ESD", 7178},  {"ESV", 8202},  {"ESO", 9226},  {"ESR", 10250}, {"ESS", 11274},
        {"ESH", 18442}, {"ESI", 19466}, {"ESU", 20490}, {"ZHT", 3076},  {"ZHI", 4100},
        {"FRA", 1036},  {"FRB", 2060},  {"FRC", 3084},  {"FRS", 4108},  {"FRL", 5132},
        {"ITA", 1040},  {"ITS", 2064},  {"JPN", 1041},  {"NLD", 1043},  {"NLB", 2067},
        {"NOR", 1044},  {"NON", 2068},  {"PTB", 1046},  {"PTG", 2070}};
    for (const auto &[abbreviation, id] : table) {
        EXPECT_EQ(LanguageIdFromAbbreviation(abbreviation), id) << abbreviation;
        EXPECT_EQ(AbbreviationFromLanguageId(id), abbreviation) << id;
    }
    // Exact and case-sensitive; anything else is English (United States).
    for (const char *other : {"deu", "Deu", "DEU ", "", "KOR", "XYZ"})
        EXPECT_EQ(LanguageIdFromAbbreviation(other), 1033) << other;

    EXPECT_EQ(LanguageNameFromId(33801), "English (TDD/TTY)");
    EXPECT_EQ(LanguageNameFromAbbreviation("ENX"), "English (TDD/TTY)");
    EXPECT_EQ(LanguageNameFromAbbreviation("DEU"), "German (Germany)");
    EXPECT_EQ(LanguageNameFromAbbreviation("jpn"), "English (United States)");
    // Outside the table: the system's abbreviation, or the ISO code.
    EXPECT_EQ(AbbreviationFromLanguageId(1045), "PLK");
    EXPECT_EQ(AbbreviationFromLanguageId(1049), "RUS");
    EXPECT_EQ(AbbreviationFromLanguageId(1124), "FIL");
    // An id that names no language.
    EXPECT_EQ(AbbreviationFromLanguageId(0x7FFF), "ERR");
    EXPECT_EQ(LanguageNameFromId(0x7FFF), "(error)");
}

TEST_F(LocalizeTest, TheScanMatchesNamesWithoutCaseAndKeepsTheListingOrder) {
    for (const char *name : {"brevita_jpn.DLL", "Brevita_DEU.dll", "Brevita_FRA.txt",
                             "Other_ITA.dll", "BrevitaXNLD.dll", "Brevita_ESPxdll"})
        WriteFile(tmp / name, "not a catalogue");
    fs::create_directory(tmp / "Brevita_NOR.dll");
    InitalizeLanguages();
    EXPECT_EQ(AvailableLanguages,
              Listed({"brevita_jpn.DLL", "Brevita_DEU.dll", "Brevita_ESPxdll"}));
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

TEST_F(LocalizeTest, TheLanguageMenuListsTheFilesOrSaysThatThereAreNone) {
    Catalogue("ENU");
    {
        frmAbout about;
        ASSERT_EQ(about.LanguageList().size(), 1);
        QAction *only = about.LanguageList().front();
        EXPECT_EQ(only->text(), "no languages loaded");
        EXPECT_EQ(only->data().toString(), "1033");
        EXPECT_NE(LanguageResourceHandle(), nullptr) << "the English file is loaded";
    }
    Catalogue("DEU");
    frmAbout about;
    QStringList items, expected;
    for (QAction *a : about.LanguageList())
        items << a->text() + " " + a->data().toString();
    for (const std::string &abbreviation : Listed({"Brevita_ENU.dll", "Brevita_DEU.dll"}))
        expected << (abbreviation == "ENU" ? "English (United States) 1033"
                                           : "German (Germany) 1031");
    EXPECT_EQ(items, expected);
    EXPECT_EQ(about.findChild<QLabel *>("lblVersion")->text(), " 1.0 Build 0");
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
    CurrentLanguageId = 2052;
    LocalizeControl(&main);
    EXPECT_EQ(main.property(kFontCharSetProperty).toInt(), 134);
    EXPECT_EQ(main.font().families().front(), QString::fromUtf16(u"\u5B8B\u4F53"));
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

    frmAbout *first = nullptr;
    QList<QAction *> menu;
    InsideAbout(w, [&](frmAbout &about) {
        first = &about;
        menu = about.LanguageList();
        MenuItem(about, "German (Germany)")->trigger();
        EXPECT_EQ(about.findChild<QLabel *>("lblChangeLanguage")->text(), "Sprache ändern");
    });
    EXPECT_EQ(CurrentLanguageId, 1031);
    EXPECT_EQ(trim->text(), "&Stille kürzen");
    EXPECT_EQ(w.findChild<QMenu *>("mnuFile")->title(), "Datei");
    EXPECT_EQ(w.findChild<QGroupBox *>("frameProgress")->title(), "Fertig");
    EXPECT_EQ(maxBox->text(), "77") << "typed values are no captions";
    EXPECT_EQ(w.HelpWindow()->windowTitle(), "Brevita-Hilfe");
    EXPECT_EQ(w.findChild<frmSplashScreen *>()->findChild<QLabel *>("Label1")->text(),
              "Namensansagen und Begrüßungen werden kopiert...");
    EXPECT_FALSE(w.AboutBox()->isVisible());

    // Messages follow the catalogue; the English texts stay the keys.
    maxBox->setText("abc");
    w.Validate(maxBox);
    EXPECT_EQ(prompt.Messages(),
              std::vector<std::string>{"Geben Sie eine Zahl zwischen 0 und 1000 ein"});

    // The same box again, with the same menu; English turns everything back.
    InsideAbout(w, [&](frmAbout &about) {
        EXPECT_EQ(&about, first);
        EXPECT_EQ(about.LanguageList(), menu);
        MenuItem(about, "English (United States)")->trigger();
    });
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
    for (const auto &file : fs::directory_iterator(BREVITA_SOURCE_DIR)) {
        if (file.path().extension() != ".cpp")
            continue;
        for (const std::string &text : ShownTexts(ReadFile(file.path()))) {
            ++checked;
            EXPECT_NE(TranslateMessage(text), text) << file.path().filename() << ": " << text;
        }
    }
    EXPECT_GT(checked, 15);

    // Messages kept in constants, and the ones built from parts.
    for (const NumberRule &r : kNumberRules)
        EXPECT_NE(TranslateMessage(r.message), r.message);
    EXPECT_EQ(TranslateMessage(kAnotherTrimRunning),
              "Auf diesem Server läuft bereits ein anderer Kürzungslauf.");
    EXPECT_EQ(TranslateMessage(FormErrorText(AppError(53, "File not found (really)"),
                                             "cmdTest_Click", "frmMain")),
              "Fehler 53 (File not found (really)) in Prozedur cmdTest_Click von Formular frmMain");
    EXPECT_EQ(TranslateMessage(ModuleErrorText(AppError(53, "File not found"), "Open", "modX")),
              "(Fehler):53 (Datei nicht gefunden) in Prozedur Open von Modul modX");
    EXPECT_EQ(TranslateMessage("Trim process complete.  3 voice names updated and 0 greetings "
                               "updated.\r\n 1 error(s) encountered.\r\nView log file now?"),
              "Kürzen abgeschlossen.  3 Namensansagen und 0 Begrüßungen geändert.\r\n 1 Fehler "
              "aufgetreten.\r\nProtokolldatei jetzt anzeigen?");
    // A part that looks like a placeholder is not filled again.
    EXPECT_EQ(TranslateMessage("could not find stream files folder: /srv/%2/"),
              "Ordner „Stream Files“ nicht gefunden: /srv/%2/");
    EXPECT_EQ(TranslateMessage("Not a message of ours"), "Not a message of ours");
}

TEST_F(LocalizeTest, TheHelpWindowKeepsItsMinimumAndTheBrowserItsMargins) {
    WriteFile(tmp / "Brevita.HTM", "<html><head><title>Page beside the program</title></head>"
                                   "<body><p>Help text</p></body></html>");
    frmMain w;
    w.findChild<QAction *>("mnuHelp")->trigger();
    frmHelp *help = w.HelpWindow();
    ASSERT_NE(help, nullptr);
    auto *browser = help->findChild<QTextBrowser *>("browserHelp");
    EXPECT_EQ(browser->documentTitle(), "Page beside the program");
    EXPECT_TRUE(help->isVisible());
    w.findChild<QAction *>("mnuHelp")->trigger();
    EXPECT_EQ(w.HelpWindow(), help) << "one help window at a time";

    const int dx = help->logicalDpiX(), dy = help->logicalDpiY();
    const auto expectMargins = [&] {
        const QSize outer = help->frameGeometry().size();
        EXPECT_EQ(browser->geometry(), QRect(TwipsToPixels(100, dx), TwipsToPixels(1, dy),
                                             outer.width() - TwipsToPixels(200, dx),
                                             outer.height() - TwipsToPixels(400, dy)));
    };
    help->resize(700, 500);
    expectMargins();
    // The least size is the outer one; the other side stays as asked.
    help->resize(40, 900);
    expectMargins();
    EXPECT_EQ(std::make_pair(help->frameGeometry().width(), help->height()),
              std::make_pair(TwipsToPixels(2500, dx), 900));
    help->resize(300, 10);
    expectMargins();
    EXPECT_EQ(std::make_pair(help->width(), help->frameGeometry().height()),
              std::make_pair(300, TwipsToPixels(2400, dy)));

    // Minimised, the window keeps whatever layout it had.
    const QRect before = browser->geometry();
    help->showMinimized();
    help->resize(20, 20);
    EXPECT_EQ(browser->geometry(), before);

    // Closed, it is gone; the next Help opens a new one.
    help->showNormal();
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.HelpWindow(), nullptr);
    w.findChild<QAction *>("mnuHelp")->trigger();
    EXPECT_NE(w.HelpWindow(), nullptr);
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
