#include "Messages.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>
#include <vector>

namespace brevita {

namespace {

// Messages built from parts. %1, %2, ... stand for the parts, in the order
// they appear in the English text; a translation may move them.
const char *const kPatterns[] = {
    QT_TRANSLATE_NOOP("Brevita", "Error %1 (%2) in procedure %3 of Form %4"),
    QT_TRANSLATE_NOOP("Brevita", "(error):%1 (%2) in procedure %3 of Module %4"),
    QT_TRANSLATE_NOOP("Brevita", "Trim process complete.  %1 voice names updated and %2 "
                                 "greetings updated.\n%3 error(s) encountered.\nView log file "
                                 "now?"),
    QT_TRANSLATE_NOOP("Brevita", "Dry run complete.  %1 voice names would be updated and %2 "
                                 "greetings would be updated, cutting %3 seconds of audio.\n%4 "
                                 "error(s) encountered.\nView log file now?"),
    QT_TRANSLATE_NOOP("Brevita", "The log file %1 could not be opened: no program to show it was "
                                 "found. Open it with a text editor."),
    QT_TRANSLATE_NOOP("Brevita", "File silence trimmed - the resulting trimmed WAV file can be "
                                 "found at %1"),
    QT_TRANSLATE_NOOP("Brevita",
                      "No silence detected on file - the resulting WAV file can be found at %1"),
    QT_TRANSLATE_NOOP("Brevita", "You must enter a number between %1 and %2"),
    QT_TRANSLATE_NOOP("Brevita", "could not find stream files folder: %1"),
    QT_TRANSLATE_NOOP("Brevita", "Error in MyIsNumber function:%1"),
    QT_TRANSLATE_NOOP("Brevita", "Error in InitalizeLanguages: %1"),
    QT_TRANSLATE_NOOP("Brevita", "Error in FormLoad routine:%1"),
    QT_TRANSLATE_NOOP("Brevita", "No field named %1"),
    QT_TRANSLATE_NOOP("Brevita", "Invalid procedure name %1"),
    QT_TRANSLATE_NOOP("Brevita", "No procedure named %1 with parameters"),
    QT_TRANSLATE_NOOP("Brevita", "Procedure %1 has no parameter %2"),
    QT_TRANSLATE_NOOP("Brevita", "The backup folder %1 and the stream files folder %2 lie one "
                                 "inside the other. Choose a backup destination outside the "
                                 "stream files folder, and a stream files folder outside it."),
    QT_TRANSLATE_NOOP("Brevita", "Brevita cannot reach the database on server %1: %2. Name the "
                                 "server with \"DatabaseServer\" (or the whole connection with "
                                 "\"ConnectionString\") in %3. Nothing was changed."),
    QT_TRANSLATE_NOOP("Brevita", "The registry file %1 does not exist. Install it (the package "
                                 "puts one in /etc/brevita) or name the server's registry file "
                                 "in BREVITA_REGISTRY."),
    QT_TRANSLATE_NOOP("Brevita", "The registry file %1 cannot be read (%2). Make it readable to "
                                 "the administrators who run Brevita."),
    QT_TRANSLATE_NOOP("Brevita", "Brevita keeps its files in %1, which only members of the group "
                                 "%2 may write: ask an administrator to add you to that group, "
                                 "then log in again."),
    QT_TRANSLATE_NOOP("Brevita", "The file %1 is not a registry file: it does not begin with "
                                 "\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\". Name "
                                 "the server's registry file in BREVITA_REGISTRY."),
    QT_TRANSLATE_NOOP("Brevita", "Line %1 of the registry file %2 cannot be read: %3. Brevita "
                                 "reads nothing of the file until the line is corrected."),
    QT_TRANSLATE_NOOP("Brevita", "Cannot lock %1: it is a symbolic link, which Brevita does not "
                                 "follow. Remove it; the next run makes a new one."),
    QT_TRANSLATE_NOOP("Brevita", "Cannot lock %1: %2"),
};

// Whole texts are found by themselves; they are listed here so that the
// catalogue tools see every text that has to be translated.
[[maybe_unused]] const char *const kTexts[] = {
    // Messages
    QT_TRANSLATE_NOOP("Brevita", "This tool only works with Corvox 4.0(2) or later"),
    QT_TRANSLATE_NOOP("Brevita", "This tool cannot be run via a Terminal Services session since "
                                 "it accesses a WAV driver.  You will need to run it locally."),
    QT_TRANSLATE_NOOP("Brevita", "Could not find install path for local Corvox install."),
    QT_TRANSLATE_NOOP("Brevita", "You must select to trim either voice names or greetings or both"),
    QT_TRANSLATE_NOOP("Brevita", "You must select a backup destination for prompts and greetings"),
    QT_TRANSLATE_NOOP("Brevita", "Are you sure you want to trim silence on all voice names and/or "
                                 "greetings on the local system?"),
    QT_TRANSLATE_NOOP("Brevita", "Since one or more voice names were updated, synchronizations to "
                                 "the directory were requested for those users.  This process "
                                 "may take a while to complete in the background."),
    QT_TRANSLATE_NOOP("Brevita", "No subscribers with voice names found on the local server"),
    QT_TRANSLATE_NOOP("Brevita", "No greetings found on the local server"),
    QT_TRANSLATE_NOOP("Brevita", "There are greetings and voice names already in that directory - "
                                 "write over them?"),
    QT_TRANSLATE_NOOP("Brevita", "You must select a backup folder to restore from"),
    QT_TRANSLATE_NOOP("Brevita", "The backup folder selected does not contain any files to "
                                 "restore"),
    QT_TRANSLATE_NOOP("Brevita", "The selected backup folder does not contain the Stream Files "
                                 "directory to restore"),
    QT_TRANSLATE_NOOP("Brevita", "Are you sure you want to restore the greetings and voice names "
                                 "from the backup directory onto the live system?"),
    QT_TRANSLATE_NOOP("Brevita", "Restore complete.  A full directory synch has been requested - "
                                 "it may take a while to run."),
    QT_TRANSLATE_NOOP("Brevita", "Error, file could not be opened"),
    QT_TRANSLATE_NOOP("Brevita", "There was an error encountered during the file trim process"),
    QT_TRANSLATE_NOOP("Brevita", "Another trim is already running on this server."),
    // Progress captions and the file dialog's title
    QT_TRANSLATE_NOOP("Brevita", "Updating voice names"),
    QT_TRANSLATE_NOOP("Brevita", "Updating greeting files"),
    QT_TRANSLATE_NOOP("Brevita", "Complete"),
    QT_TRANSLATE_NOOP("Brevita", "Select WAV file to trim silence from"),
    // Error descriptions inside the error messages
    QT_TRANSLATE_NOOP("Brevita", "File not found"),
    QT_TRANSLATE_NOOP("Brevita", "Path not found"),
    QT_TRANSLATE_NOOP("Brevita", "Permission denied"),
    QT_TRANSLATE_NOOP("Brevita", "Disk full"),
    QT_TRANSLATE_NOOP("Brevita", "Path/File access error"),
    QT_TRANSLATE_NOOP("Brevita", "Out of memory"),
    QT_TRANSLATE_NOOP("Brevita", "Internal error"),
    QT_TRANSLATE_NOOP("Brevita", "Overflow"),
    QT_TRANSLATE_NOOP("Brevita", "Type mismatch"),
    QT_TRANSLATE_NOOP("Brevita", "Invalid use of Null"),
    QT_TRANSLATE_NOOP("Brevita", "Object variable or With block variable not set"),
    QT_TRANSLATE_NOOP("Brevita", "Unable to create the registry key"),
    QT_TRANSLATE_NOOP("Brevita", "Unsupported value type"),
    QT_TRANSLATE_NOOP("Brevita", "Unable to allocate an ODBC handle"),
    QT_TRANSLATE_NOOP("Brevita", "No current record"),
    // What is wrong with a line of the registry file
    QT_TRANSLATE_NOOP("Brevita", "the key name is not valid"),
    QT_TRANSLATE_NOOP("Brevita", "it is no key, value or comment"),
    QT_TRANSLATE_NOOP("Brevita", "a value under a key that is deleted"),
    QT_TRANSLATE_NOOP("Brevita", "a value before the first key"),
    QT_TRANSLATE_NOOP("Brevita", "the value goes on past the end of the file"),
    QT_TRANSLATE_NOOP("Brevita", "the value is not valid"),
};

// A pattern as an anchored expression whose parts may hold anything, and
// the length of its fixed text: where two patterns match one message, the
// one with more fixed text is the more specific.
struct Pattern {
    std::string key;
    QRegularExpression match;
    qsizetype fixed;
};

Pattern Compile(const char *key) {
    static const QRegularExpression part(QStringLiteral("%[1-9]"));
    const QString text = QString::fromUtf8(key);
    QString expr = QStringLiteral("^");
    qsizetype from = 0, fixed = 0;
    for (auto it = part.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        expr += QRegularExpression::escape(text.mid(from, m.capturedStart() - from));
        fixed += m.capturedStart() - from;
        expr += QStringLiteral("(.*?)");
        from = m.capturedEnd();
    }
    expr += QRegularExpression::escape(text.mid(from)) + QStringLiteral("$");
    fixed += text.size() - from;
    return {std::string(key),
            QRegularExpression(expr, QRegularExpression::DotMatchesEverythingOption), fixed};
}

// The patterns of the messages made so far, the most specific first.
std::mutex patternsMutex;
std::vector<Pattern> patterns;

void Remember(const char *key) {
    const std::lock_guard<std::mutex> hold(patternsMutex);
    for (const Pattern &p : patterns) {
        if (p.key == key) {
            return;
        }
    }
    Pattern p = Compile(key);
    const auto at = std::find_if(patterns.begin(), patterns.end(),
                                 [&](const Pattern &q) { return q.fixed < p.fixed; });
    patterns.insert(at, std::move(p));
}

QString Lookup(const QString &text) {
    return QCoreApplication::translate(kMessageContext, text.toUtf8().constData());
}

// %1 to %9 of the translated pattern replaced in one pass, so that a part
// that holds "%2" itself is left alone.
QString Fill(const QString &pattern, const QStringList &parts) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' &&
            pattern[i + 1] <= u'9') {
            const qsizetype n = pattern[i + 1].unicode() - u'1';
            if (n < parts.size()) {
                out += parts[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString Translate(const QString &text) {
    const QString whole = Lookup(text);
    if (whole != text) {
        return whole;
    }
    static std::once_flag listed;
    std::call_once(listed, [] {
        for (const char *key : kPatterns) {
            Remember(key);
        }
    });
    std::vector<Pattern> known;
    {
        const std::lock_guard<std::mutex> hold(patternsMutex);
        known = patterns;
    }
    for (const Pattern &p : known) {
        const auto m = p.match.match(text);
        if (!m.hasMatch()) {
            continue;
        }
        const QString translated = Lookup(QString::fromStdString(p.key));
        if (translated == QString::fromStdString(p.key)) {
            return text;
        }
        QStringList parts = m.capturedTexts().mid(1);
        for (QString &part : parts) {
            part = Translate(part);
        }
        return Fill(translated, parts);
    }
    return text;
}

} // namespace

std::string TranslateMessage(const std::string &text) {
    // Messages end their lines with CR LF; the catalogue's keys with LF.
    const QString crlf = QStringLiteral("\r\n");
    QString key = QString::fromStdString(text);
    const bool windowsLines = key.contains(crlf);
    key.replace(crlf, QStringLiteral("\n"));
    QString out = Translate(key);
    if (windowsLines) {
        out.replace(u'\n', crlf);
    }
    return out.toStdString();
}

std::string FillMessage(const char *pattern, const std::vector<std::string> &parts) {
    Remember(pattern);
    QStringList texts;
    for (const std::string &part : parts) {
        texts << QString::fromStdString(part);
    }
    return Fill(QString::fromUtf8(pattern), texts).toStdString();
}

std::string TranslateText(const std::string &text) {
    return Lookup(QString::fromStdString(text)).toStdString();
}

} // namespace brevita
