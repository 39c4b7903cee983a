#include "modLocalize.h"

#include "AppEnv.h"
#include "AppError.h"
#include "Messages.h"
#include "UserPrompt.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QMetaMethod>
#include <QTranslator>
#include <QWidget>

#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <span>

namespace brevita {

int32_t CurrentLanguageId = 0;
std::vector<std::string> AvailableLanguages;

namespace {

struct Abbreviation {
    const char *text;
    int32_t id;
};

// Names a resource file may carry; only these map back to their language.
constexpr Abbreviation kAbbreviations[] = {
    {"ENX", kTddLanguageId}, {"ENU", 1033},  {"ENG", 2057},  {"ENA", 3081},  {"ENC", 4105},
    {"ENZ", 5129},           {"ENI", 6153},  {"DEU", 1031},  {"DES", 2055},  {"DEA", 3079},
    {"DEL", 4103},           {"DEC", 5127},  {"ESP", 1034},  {"ESM", 2058},  {"ESN", 3082},
    {"ESG", 4106},           {"ESC", 5130},  {"ESA", 6154},  {"ESD", 7178},  {"ESV", 8202},
    {"ESO", 9226},           {"ESR", 10250}, {"ESS", 11274}, {"ESH", 18442}, {"ESI", 19466},
    {"ESU", 20490},          {"FRA", 1036},  {"FRB", 2060},  {"FRC", 3084},  {"FRS", 4108},
    {"FRL", 5132},           {"ITA", 1040},  {"ITS", 2064},  {"JPN", 1041},  {"NLD", 1043},
    {"NLB", 2067},           {"NOR", 1044},  {"NON", 2068},  {"PTB", 1046},  {"PTG", 2070},
    {"CHT", 1028},           {"CHS", 2052},  {"ZHT", 3076},  {"ZHI", 4100},
};

// The system's abbreviations of other common languages, for the file of a
// user whose language is not in the table above. Past these, the language's
// ISO 639-2 code stands in.
constexpr Abbreviation kMoreAbbreviations[] = {
    {"ARA", 1025}, {"BGR", 1026}, {"CAT", 1027}, {"CSY", 1029}, {"DAN", 1030}, {"ELL", 1032},
    {"FIN", 1035}, {"HEB", 1037}, {"HUN", 1038}, {"ISL", 1039}, {"KOR", 1042}, {"PLK", 1045},
    {"ROM", 1048}, {"RUS", 1049}, {"HRV", 1050}, {"SKY", 1051}, {"SVE", 1053}, {"THA", 1054},
    {"TRK", 1055}, {"IND", 1057}, {"UKR", 1058}, {"SLV", 1060}, {"ETI", 1061}, {"LVI", 1062},
    {"LTH", 1063}, {"VIT", 1066},
};

constexpr int32_t kEnglishUs = 1033;

struct FontSwitch {
    int32_t languageId;
    int charSet;
    const char16_t *face;
    QFontDatabase::WritingSystem script;
};

constexpr FontSwitch kFontSwitches[] = {
    {1042, 129, u"\uAD74\uB9BC", QFontDatabase::Korean},
    {1028, 136, u"\u65B0\u7D30\u660E\u9AD4", QFontDatabase::TraditionalChinese},
    {1041, 128, u"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF", QFontDatabase::Japanese},
    {2052, 134, u"\u5B8B\u4F53", QFontDatabase::SimplifiedChinese},
};
constexpr int kDefaultCharSet = 1;

// The loaded catalogue and the bytes it reads from, which must outlive it.
struct LanguageResource {
    QByteArray data;
    QTranslator translator;
};
std::unique_ptr<LanguageResource> loaded;

// The ICU locale of a Windows language id; empty when there is none.
std::string LocaleOfId(int32_t id) {
    char locale[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n =
        uloc_getLocaleForLCID(static_cast<uint32_t>(id), locale, sizeof locale, &status);
    if (U_FAILURE(status) || n <= 0 || status == U_STRING_NOT_TERMINATED_WARNING) {
        return {};
    }
    return locale;
}

int32_t UserDefaultLanguageId() {
    const uint32_t id = uloc_getLCID(uloc_getDefault());
    // The C locale gives the invariant language, which no file is named for.
    return id == 0 || id == 0x7F ? kEnglishUs : static_cast<int32_t>(id);
}

void ReleaseLanguageResource() {
    if (loaded) {
        QCoreApplication::removeTranslator(&loaded->translator);
        loaded.reset();
    }
}

// Reads the file as data only and installs it when it is a catalogue; a
// file that is missing or is none leaves no language resource loaded.
void LoadLanguageResource(const std::filesystem::path &path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    auto resource = std::make_unique<LanguageResource>();
    resource->data = file.readAll();
    const auto *bytes = reinterpret_cast<const uchar *>(resource->data.constData());
    if (!resource->translator.load(bytes, static_cast<int>(resource->data.size()))) {
        return;
    }
    loaded = std::move(resource);
    QCoreApplication::installTranslator(&loaded->translator);
}

// The language file of an abbreviation in the program folder. Files copied
// from other systems may be named in other letters (BREVITA_DEU.DLL), and
// the scan lists those too, so the name is matched without regard to case;
// the exact name wins when both are there.
std::filesystem::path LanguageFile(const std::string &abbreviation) {
    const std::string wanted = ExecutableName() + "_" + abbreviation + ".dll";
    const std::filesystem::path exact = ProgramFolder() / wanted;
    std::error_code ec;
    if (std::filesystem::is_regular_file(exact, ec)) {
        return exact;
    }
    const QString key = QString::fromStdString(wanted);
    for (const auto &entry : std::filesystem::directory_iterator(ProgramFolder(), ec)) {
        if (entry.is_regular_file(ec) && QString::fromStdString(entry.path().filename().string())
                                                 .compare(key, Qt::CaseInsensitive) == 0) {
            return entry.path();
        }
    }
    return exact;
}

void RescanLanguages() {
    AvailableLanguages.clear();
    const QString prefix = QString::fromStdString(ExecutableName()) + u'_';
    for (const auto &entry : std::filesystem::directory_iterator(ProgramFolder())) {
        std::error_code ec;
        if (!entry.is_regular_file(ec)) {
            continue;
        }
        const QString name = QString::fromStdString(entry.path().filename().string());
        if (name.left(prefix.size()).compare(prefix, Qt::CaseInsensitive) != 0 ||
            name.right(3).compare(QStringLiteral("DLL"), Qt::CaseInsensitive) != 0) {
            continue;
        }
        AvailableLanguages.push_back(name.mid(name.size() - 7, 3).toStdString());
    }
}

const FontSwitch *FontSwitchFor(int32_t id) {
    for (const FontSwitch &f : kFontSwitches) {
        if (f.languageId == id) {
            return &f;
        }
    }
    return nullptr;
}

} // namespace

const QTranslator *LanguageResourceHandle() {
    return loaded ? &loaded->translator : nullptr;
}

void InitalizeLanguages() {
    ErrorHandler onError(ErrorReport::HeadedMessage,
                         QT_TRANSLATE_NOOP("Brevita", "Error in InitalizeLanguages: %1"), {});
    std::string abbreviation;
    onError.Step([] {
        if (CurrentLanguageId == 0) {
            CurrentLanguageId = UserDefaultLanguageId();
        }
    });
    onError.Step([] { ReleaseLanguageResource(); });
    onError.Step([&] { abbreviation = AbbreviationFromLanguageId(CurrentLanguageId); });
    onError.Step([&] { LoadLanguageResource(LanguageFile(abbreviation)); });
    onError.Step([] { RescanLanguages(); });
    onError.Step([] {
        if (AvailableLanguages.empty()) {
            AvailableLanguages.assign(1, "");
        }
    });
    onError.Step([] {
        for (QWidget *w : LoadedWindows()) {
            LocalizeForm(w);
        }
    });
}

void LocalizeForm(QWidget *form) {
    for (QWidget *control : form->findChildren<QWidget *>()) {
        LocalizeControl(control);
    }
}

void LocalizeControl(QWidget *control) {
    const FontSwitch *fs = FontSwitchFor(CurrentLanguageId);
    control->setProperty(kFontCharSetProperty, fs ? fs->charSet : kDefaultCharSet);
    QFont font = control->font();
    if (fs) {
        QStringList families{QString::fromUtf16(fs->face)};
        // Without the face, text of that script still needs a font that
        // has its glyphs: the first that fontconfig lists for the script.
        if (!QFontDatabase::hasFamily(families.front())) {
            const QStringList script = QFontDatabase::families(fs->script);
            if (!script.isEmpty()) {
                families << script.front();
            }
        }
        font.setFamilies(families);
    } else {
        // No face of its own: the family comes from the parent again.
        font.setResolveMask(font.resolveMask() &
                            ~(QFont::FamilyResolved | QFont::FamiliesResolved));
    }
    control->setFont(font);
}

int32_t LanguageIdFromAbbreviation(const std::string &abbreviation) {
    for (const Abbreviation &a : kAbbreviations) {
        if (abbreviation == a.text) {
            return a.id;
        }
    }
    return kEnglishUs;
}

namespace {

// What ofLocale says of the locale that id names; the TDD/TTY language,
// which has no locale, and an id that names none get their fixed answers.
template <class F>
std::string OfLanguage(int32_t id, const char *tdd, const char *none, F &&ofLocale) {
    if (id == kTddLanguageId) {
        return tdd;
    }
    const std::string locale = LocaleOfId(id);
    return locale.empty() ? std::string(none) : ofLocale(locale);
}

std::string AbbreviationOfLocale(int32_t id, const std::string &locale) {
    using Table = std::span<const Abbreviation>;
    for (Table table : {Table(kAbbreviations), Table(kMoreAbbreviations)}) {
        for (const Abbreviation &a : table) {
            if (a.id == id) {
                return a.text;
            }
        }
    }
    std::string iso = uloc_getISO3Language(locale.c_str());
    if (iso.size() < 3) {
        return "ERR";
    }
    iso.resize(3);
    std::transform(iso.begin(), iso.end(), iso.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return iso;
}

std::string LanguageNameOfLocale(const std::string &locale) {
    UChar name[256];
    UErrorCode status = U_ZERO_ERROR;
    // The user's language names them, as the system would; a session
    // without one (an empty LC_ALL gives ICU's root) gets English names.
    char user[ULOC_LANG_CAPACITY] = {};
    UErrorCode languageStatus = U_ZERO_ERROR;
    uloc_getLanguage(uloc_getDefault(), user, sizeof user, &languageStatus);
    const char *display = U_SUCCESS(languageStatus) && user[0] ? nullptr : "en";
    const int32_t n = uloc_getDisplayName(locale.c_str(), display, name, 256, &status);
    if (U_FAILURE(status) || n <= 0) {
        return "(error)";
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(name), std::min(n, 256))
        .toStdString();
}

} // namespace

std::string AbbreviationFromLanguageId(int32_t id) {
    return OfLanguage(id, "ENX", "ERR",
                      [id](const std::string &locale) { return AbbreviationOfLocale(id, locale); });
}

std::string LanguageNameFromId(int32_t id) {
    return OfLanguage(id, "English (TDD/TTY)", "(error)", LanguageNameOfLocale);
}

std::string LanguageNameFromAbbreviation(const std::string &abbreviation) {
    return LanguageNameFromId(LanguageIdFromAbbreviation(abbreviation));
}

std::vector<QWidget *> LoadedWindows() {
    std::vector<QWidget *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop) {
            windows.push_back(w);
        }
    }
    return windows;
}

void ReinitializeWindows() {
    for (QWidget *w : LoadedWindows()) {
        try {
            const QByteArray hook = w->objectName().toUtf8() + "_Auto_Init()";
            const int index = w->metaObject()->indexOfMethod(hook.constData());
            if (index >= 0) {
                w->metaObject()->method(index).invoke(w);
            }
            w->update();
            for (QWidget *control : w->findChildren<QWidget *>()) {
                control->update();
            }
        } catch (...) {
        }
    }
}

} // namespace brevita
