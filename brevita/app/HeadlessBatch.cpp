#include "HeadlessBatch.h"

#include "AppError.h"
#include "TrimBatch.h"
#include "UserPrompt.h"
#include "modCommon.h"
#include "modLogging.h"
#include "Startup.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <string>

#include <unistd.h>

namespace brevita {

namespace {

void PrintLine(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
}

class ConsolePrompt : public UserPrompt {
  public:
    explicit ConsolePrompt(bool yes) : yes_(yes) {}
    Answer ShowMessage(const std::string &text, Buttons buttons) override {
        PrintLine(text);
        if (buttons == Buttons::Ok) {
            return Answer::Ok;
        }
        PrintLine(yes_ ? "  -> Yes (--yes)" : "  -> No (no --yes)");
        return yes_ ? Answer::Yes : Answer::No;
    }
    std::string ChooseFile(const FileDialogRequest &) override { return {}; }
    std::string ChooseFolder() override { return {}; }

  private:
    bool yes_;
};

class ConsoleView : public WindowlessView {
  public:
    using WindowlessView::WindowlessView;
    void SetProgressCaption(const std::string &text) override {
        EndProgressLine();
        caption_ = text;
        PrintLine(text);
    }
    // A terminal sees one line rewritten a few times a second; a pipe or
    // the journal one line every 500 files.
    void FileChecked(int32_t done, int32_t total, int32_t changed, int32_t errors) override {
        const auto now = std::chrono::steady_clock::now();
        const bool last = done >= total;
        char line[200];
        std::snprintf(line, sizeof line, "%s: %d of %d files, %d trimmed, %d errors",
                      caption_.c_str(), done, total, changed, errors);
        if (terminal_) {
            if (last || now - shown_ >= std::chrono::milliseconds(250)) {
                std::fprintf(stderr, "\r%s\033[K", line);
                std::fflush(stderr);
                shown_ = now;
                open_ = true;
            }
            if (last) {
                EndProgressLine();
            }
        } else if (done % 500 == 0 || (last && done >= 500)) {
            std::fprintf(stderr, "%s\n", line);
        }
    }

  private:
    void EndProgressLine() {
        if (open_) {
            std::fputc('\n', stderr);
            open_ = false;
        }
    }
    std::string caption_;
    bool terminal_ = ::isatty(2) == 1;
    bool open_ = false;
    std::chrono::steady_clock::time_point shown_;
};

void PrintDryRunReport(const std::vector<DryRunChange> &changes, const std::string &mode) {
    double seconds = 0;
    for (const DryRunChange &c : changes) {
        char line[64];
        std::snprintf(line, sizeof line, "%8.2f s  ", c.secondsRemoved);
        PrintLine(line + c.livePath);
        seconds += c.secondsRemoved;
    }
    char total[160];
    std::snprintf(total, sizeof total,
                  "Dry run: a real run would change %zu files and remove %.1f s of silence in all.",
                  changes.size(), seconds);
    PrintLine(total);
    PrintLine("Dry run: trim mode: " + mode + ".");
}

// The scratch folder of a dry run and everything in it go when the run
// ends, however it ends.
class ScratchFolder {
  public:
    ScratchFolder() = default;
    ~ScratchFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    bool Make() {
        std::string path =
            (std::filesystem::temp_directory_path() / "brevita-dry-run-XXXXXX").string();
        if (!::mkdtemp(path.data())) {
            return false;
        }
        path_ = path;
        return true;
    }
    const std::string &Path() const { return path_; }

  private:
    std::string path_;
};

} // namespace

int RunHeadlessBatch(const HeadlessOptions &options) {
    ConsolePrompt prompt(options.yes);
    ScopedUserPrompt installed(prompt);
    BrevitaSettings settings;
    // A failed start-up check: the status says it did not start.
    if (!StartWithoutWindow(settings)) {
        return kBatchNotStarted;
    }
    // No box is ever left here, so the stored numbers are checked at once,
    // and a bad one stops the run instead of reaching sndprobe.
    for (const NumberRule &rule : kNumberRules) {
        if (!MyIsNumber(settings.*rule.field, rule.lower, rule.upper)) {
            PrintLine(rule.Message());
            return kBatchNotStarted;
        }
    }
    ConsoleView view(settings);
    TrimBatch batch(view);
    ScratchFolder scratch;
    if (options.dryRun) {
        if (!scratch.Make()) {
            PrintLine("Dry run: cannot make a scratch folder in " +
                      std::filesystem::temp_directory_path().string());
            return kBatchNotStarted;
        }
        batch.SetDryRun(scratch.Path());
        PrintLine("Dry run: the trimmed copies go to " + scratch.Path() +
                  " and are removed at the end; nothing on the server changes.");
    }
    const int reportsBefore = ErrorReportCount();
    const RunResult result = batch.TrimAll();
    if (result == RunResult::NotStarted) {
        return kBatchNotStarted;
    }
    if (result == RunResult::Stopped) {
        PrintLine("Stopped on request before every file was checked. Log file: " + LogFilePath);
        return kBatchStopped;
    }
    if (options.dryRun) {
        PrintDryRunReport(batch.DryRunChanges(), batch.TrimMode());
    }
    PrintLine("Log file: " + LogFilePath);
    const bool errors = LogErrorCount > 0 || ErrorReportCount() > reportsBefore;
    return errors ? kBatchWithErrors : kBatchClean;
}

} // namespace brevita
