#include "Program.h"

#include "AppEnv.h"
#include "HeadlessBatch.h"
#include "QtPrompt.h"
#include "frmMain.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brevita {

namespace {

const char kUsage[] =
    "Usage: Brevita [--batch [--yes] [--dry-run]]\n"
    "\n"
    "Without options Brevita opens its window.\n"
    "\n"
    "  --batch    trim every voice name and greeting that the server's database\n"
    "             lists, as the Trim Silence button does, with the stored settings\n"
    "             and no window; messages are printed on standard output\n"
    "  --yes      answer Yes to the batch's questions (without it: No)\n"
    "  --dry-run  trim into a scratch folder instead of over the recordings:\n"
    "             no file, backup or synchronisation request changes; prints the\n"
    "             files a real run would change and the silence it would remove\n"
    "  --help     print this text\n"
    "  --version  print the version\n"
    "\n"
    "Exit status of --batch: 0 completed without errors, 1 completed with error\n"
    "lines in the log, 2 did not start, 3 stopped by SIGTERM or SIGINT.\n";

struct Options {
    bool help = false;
    bool version = false;
    bool batch = false;
    bool yes = false;
    bool dryRun = false;
    const char *unknown = nullptr;
};

Options ParseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            o.help = true;
        } else if (!std::strcmp(a, "--version")) {
            o.version = true;
        } else if (!std::strcmp(a, "--batch")) {
            o.batch = true;
        } else if (!std::strcmp(a, "--yes")) {
            o.yes = true;
        } else if (!std::strcmp(a, "--dry-run")) {
            o.dryRun = true;
        } else if (!o.unknown) {
            o.unknown = a;
        }
    }
    return o;
}

int RunWindow(int argc, char **argv) {
    QApplication app(argc, argv);
    NameApplication();
    QtPrompt prompt;
    ScopedUserPrompt installed(prompt);
    SetProcessEventsHook([] { QCoreApplication::processEvents(); });
    frmMain window;
    if (!window.Form_Load()) {
        return 0;
    }
    window.show();
    // For the documentation: the window as the screen shows it, then quit.
    if (const char *png = std::getenv("BREVITA_GRAB_PNG")) {
        QTimer::singleShot(800, &window, [&window, path = QString::fromLocal8Bit(png)] {
            const QRect r = window.frameGeometry();
            window.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(path);
            QCoreApplication::quit();
        });
    }
    return app.exec();
}

} // namespace

void NameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Brevita"));
    // The installed desktop entry's name: how a desktop ties the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brevita.Brevita"));
}

int RunBrevita(int argc, char **argv) {
    // A file-size limit must fail the write that exceeds it, which is then
    // reported, instead of ending the run before its summary. sndprobe is
    // started with the default again.
    std::signal(SIGXFSZ, SIG_IGN);
    const Options o = ParseOptions(argc, argv);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::printf("Brevita %d.%d.%d\n", kProgramVersion.major, kProgramVersion.minor,
                    kProgramVersion.revision);
        return 0;
    }
    // Qt's own options (-platform, ...) are the window's business.
    if ((o.unknown && o.batch) || ((o.yes || o.dryRun) && !o.batch)) {
        std::fprintf(stderr, "Brevita: %s\n%s",
                     o.unknown ? o.unknown : "--yes and --dry-run go with --batch", kUsage);
        return kBatchNotStarted;
    }
    if (o.batch) {
        QCoreApplication app(argc, argv);
        return RunHeadlessBatch({o.yes, o.dryRun});
    }
    return RunWindow(argc, argv);
}

} // namespace brevita
