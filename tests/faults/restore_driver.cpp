// The "Restore WAV Files From Backup" menu command without a window, for
// the fault suite: the same start-up and the same restore as the window,
// every message printed, every question answered Yes. Copied into a
// program folder beside Brevita, so that both share the lock there.
// Exit status: 0 without an error report, 1 with one, 2 when start-up
// failed.
#include "AppEnv.h"
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

struct PlainView : TrimView {
    BrevitaSettings settings;
    int32_t max = 100, value = 0;
    BrevitaSettings CurrentSettings() override { return settings; }
    void SetProgressCaption(const std::string &) override {}
    void SetProgressMax(int32_t m) override { max = m; }
    int32_t ProgressMax() override { return max; }
    void SetProgressValue(int32_t v) override { value = v; }
    int32_t ProgressValue() override { return value; }
    void SetBusy(bool) override {}
    void CopyWithNotice(const std::function<void()> &copy) override {
        // The suite times its kills from this line: it must not wait in a buffer.
        std::printf("Copying voice names and greetings...\n");
        std::fflush(stdout);
        copy();
    }
    bool OpenLogViewer(const std::string &) override { return false; }
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    YesPrompt prompt;
    ScopedUserPrompt installed(prompt);
    SetExitHook([] {});
    PlainView view;
    if (!StartProgram(view.settings)) {
        return 2;
    }
    TrimBatch batch(view);
    const int before = ErrorReportCount();
    batch.mnuRestore_Click();
    return ErrorReportCount() > before ? 1 : 0;
}
