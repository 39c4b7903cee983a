// The "Restore WAV Files From Backup" menu command without a window, for
// the fault suite: the same start-up and the same restore as the window,
// every message printed, every question answered Yes. Copied into a
// program folder beside Brevita, so that both share the lock there.
// Exit status: 0 without an error report, 1 with one, 2 when start-up
// failed.
#include "AppError.h"
#include "TrimBatch.h"
#include "UserPrompt.h"
#include "Startup.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using namespace brevita;

class YesPrompt : public UserPrompt {
  public:
    Answer ShowMessage(const std::string &text, Buttons buttons) override {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::string ChooseFile(const FileDialogRequest &) override { return {}; }
    std::string ChooseFolder() override { return {}; }
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    YesPrompt prompt;
    ScopedUserPrompt installed(prompt);
    WindowlessView view;
    if (!StartWithoutWindow(view.settings)) {
        return 2;
    }
    TrimBatch batch(view);
    const int before = ErrorReportCount();
    batch.RestoreFromBackup();
    return ErrorReportCount() > before ? 1 : 0;
}
