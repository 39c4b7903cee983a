#include "QtPrompt.h"

#include "Messages.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace brevita {

namespace {

QString Text(const std::string &s) {
    return QString::fromStdString(s);
}

// The boxes' standard buttons are captioned by Qt under its own context;
// listed so that the catalogue carries their translations too.
[[maybe_unused]] const char *const kButtonCaptions[] = {
    QT_TRANSLATE_NOOP("QPlatformTheme", "OK"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&Yes"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&No"),
};

} // namespace

Answer QtPrompt::ShowMessage(const std::string &text, Buttons buttons) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QApplication::applicationDisplayName());
    // Paths may hold anything; nothing in a message is markup. Message
    // texts end their lines with CR LF, which a label shows as two breaks.
    box.setTextFormat(Qt::PlainText);
    box.setText(Text(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

std::string QtPrompt::ChooseFile(const FileDialogRequest &request) {
    // Recordings end in .wav or .WAV; the pattern is matched without case.
    const QString pattern = Text(request.pattern);
    const QString filter = QStringLiteral("%1 (%1 %2)").arg(pattern, pattern.toUpper());
    return QFileDialog::getOpenFileName(QApplication::activeWindow(),
                                        Text(TranslateText(request.title)),
                                        Text(request.startFolder), filter)
        .toStdString();
}

std::string QtPrompt::ChooseFolder() {
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(), QString(),
                                             QDir::homePath(), QFileDialog::ShowDirsOnly)
        .toStdString();
}

} // namespace brevita
