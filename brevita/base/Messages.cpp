#include "Messages.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>
#include <vector>

namespace brevita {

namespace {

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
