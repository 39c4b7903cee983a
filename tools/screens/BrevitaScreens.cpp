// Drives the real windows for the documentation: the main window, switched
// to German through the About box's language menu, the About box with that
// menu open, and the help window; each saved as a PNG of the screen.
//
//   BrevitaScreens OUTDIR      (run by tools/screenshot-languages under Xvfb)
#include "AppEnv.h"
#include "Program.h"
#include "QtPrompt.h"
#include "UserPrompt.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

using namespace brevita;

namespace {

void Grab(const QRect &area, const QString &path) {
    const QRect r = area.adjusted(-8, -8, 8, 8) & QGuiApplication::primaryScreen()->geometry();
    QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(path);
    std::printf("%s\n", qPrintable(path));
}

QAction *Item(frmAbout &about, const QString &caption) {
    for (QAction *a : about.LanguageList()) {
        if (a->text() == caption) {
            return a;
        }
    }
    std::fprintf(stderr, "BrevitaScreens: no language item %s among:\n", qPrintable(caption));
    for (QAction *a : about.LanguageList()) {
        std::fprintf(stderr, "  %s\n", qPrintable(a->text()));
    }
    std::exit(1);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: BrevitaScreens OUTDIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    NameApplication();
    const QString out = QString::fromLocal8Bit(argv[1]);
    // Beside the real program: its language files and help page.
    SetProgramLocation(ProgramFolder(), "Brevita");
    QtPrompt prompt;
    ScopedUserPrompt installed(prompt);
    frmMain w;
    if (!w.Form_Load()) {
        return 1;
    }
    w.move(40, 40);
    w.show();

    // Each step runs a moment after the one before, inside whatever modal
    // loop is running by then.
    std::vector<std::function<void()>> steps = {
        [&] { w.findChild<QAction *>("mnuAbout")->trigger(); },
        [&] {
            // Beside the main window: without a window manager there is no
            // frame to tell the two apart.
            w.AboutBox()->move(w.frameGeometry().right() + 40, 40);
            Item(*w.AboutBox(), QStringLiteral("German (Germany)"))->trigger();
        },
        [&] {
            auto *label = w.AboutBox()->findChild<QLabel *>("lblChangeLanguage");
            QTest::mouseClick(label, Qt::LeftButton, {},
                              QPoint(label->width() / 2, label->height() - 2));
        },
        [&] {
            Grab(
                w.AboutBox()->frameGeometry().united(w.AboutBox()->LanguageMenu()->frameGeometry()),
                out + "/brevita-about-de.png");
            w.AboutBox()->LanguageMenu()->close();
        },
        [&] { w.AboutBox()->findChild<QPushButton *>("cmdOK")->click(); },
        [&] { Grab(w.frameGeometry(), out + "/brevita-main-de.png"); },
        [&] {
            w.findChild<QAction *>("mnuHelp")->trigger();
            w.HelpWindow()->move(w.frameGeometry().right() + 30, 40);
        },
        [&] { Grab(w.HelpWindow()->frameGeometry(), out + "/brevita-help.png"); },
        [&] { QCoreApplication::quit(); },
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        QTimer::singleShot(900 * static_cast<int>(i + 1), &w, steps[i]);
    }
    return app.exec();
}
