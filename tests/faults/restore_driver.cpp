// The "Restore WAV Files From Backup" menu command without a window, for
// the fault suite: the same start-up and the same restore as the window,
// every message printed, every question answered Yes. Copied into a
// program folder beside Brevita, so that both share the lock there.
// Exit status: 0 without an error report, 1 with one, 2 when start-up
// failed.
#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/TrimBatch.h"
#include "brevita/UserPrompt.h"
#include "brevita/modStartup.h"

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

class PlainView : public TrimView {
  public:
    explicit PlainView(const BrevitaSettings &s) : settings_(s) {}
    BrevitaSettings CurrentSettings() override { return settings_; }
    void SetProgressCaption(const std::string &) override {}
    void SetProgressMax(int32_t max) override { max_ = max; }
    int32_t ProgressMax() override { return max_; }
    void SetProgressValue(int32_t value) override { value_ = value; }
    int32_t ProgressValue() override { return value_; }
    void SetBusy(bool) override {}
    void ShowCopyNotice() override {
        std::printf("Copying voice names and greetings...\n");
        std::fflush(stdout);
    }
    void HideCopyNotice() override {}
    void OpenLogViewer(const std::string &) override {}

  private:
    BrevitaSettings settings_;
    int32_t max_ = 100;
    int32_t value_ = 0;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    YesPrompt prompt;
    ScopedUserPrompt installed(prompt);
    SetExitHook([] {});
    BrevitaSettings settings;
    if (!StartProgram(settings)) {
        return 2;
    }
    PlainView view(settings);
    TrimBatch batch(view);
    const int before = ErrorReportCount();
    batch.mnuRestore_Click();
    return ErrorReportCount() > before ? 1 : 0;
}
