#pragma once
// The trimming runs behind the main window's buttons: the batch over every
// voice name and greeting the server lists, the test of one file, and the
// restore from a backup. The window and the runs without a window run this
// same code; only the view and the prompt differ. The lists and the
// directory synchronisation requests go to CurrentDatabase().

#include "BackupRestore.h"
#include "SubscriberSync.h"
#include "TrimFile.h"
#include "TrimView.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace brevita {

class ErrorHandler;
class RowCursor;
class TrimPool;

enum class RunResult {
    NotStarted, // a check failed, the user declined, another run holds the lock
    Completed,
    Stopped, // asked to stop: the log says how far it came
};

// A file that a dry run found silence in.
struct DryRunChange {
    std::string livePath;
    double secondsRemoved;
};

class TrimBatch {
  public:
    explicit TrimBatch(TrimView &view);
    ~TrimBatch();

    // From now on the batch is a dry run: no question is asked, no backup
    // made, every result goes below folder, the live files and the database
    // stay as they are; the changes found are collected in DryRunChanges.
    void SetDryRun(const std::string &folder) { dryRunFolder_ = folder; }
    const std::vector<DryRunChange> &DryRunChanges() const { return dryRunChanges_; }

    // The batch: checks, optional backup, the log, voice names, then
    // greetings, the summary. NotStarted when it stopped before the log.
    RunResult TrimAll();
    // One file the user chooses, trimmed into the test output.
    void TestOneFile();
    // The restore, then a full directory synchronisation request whatever
    // the restore did.
    void RestoreFromBackup();

    // How the current settings trim, as the log's "Trim mode:" line says.
    std::string TrimMode() { return TrimModeText(Options()); }

    int32_t VoiceNamesUpdated = 0;
    int32_t GreetingsUpdated = 0;

  private:
    struct ListedTrim;
    void BeginStage(const std::string &caption, int32_t steps);
    void StepProgress();
    void TrimNames();
    void TrimGreetings();
    // How a stage handles its rows: each is read on this thread; the rows
    // read together pass beforeTrims (if any) before their trims start in
    // the pool; each is taken back in the rows' order (false: start no
    // further row); mayStart says whether another trim may start beside
    // those running.
    struct StageSteps {
        std::function<void(ListedTrim &)> read;
        std::function<void(const std::vector<ListedTrim *> &)> beforeTrims;
        std::function<bool(ListedTrim &)> take;
        std::function<bool(size_t running)> mayStart;
    };
    void RunStage(ErrorHandler &onError, RowCursor &rows, const StageSteps &steps);
    // What a row wrote, now into the log, and what its trim changed noted.
    void Replay(const ListedTrim &item);
    void FlushChangedFolders();
    TrimOptions Options();
    int32_t MaxVoiceNames();
    std::string SummaryText() const;

    TrimView &view_;
    std::string dryRunFolder_;
    SubscriberSync sync_;
    std::vector<DryRunChange> dryRunChanges_;
    std::unique_ptr<TrimPool> pool_;
    std::set<std::string> changedFolders_;
};

// The refusal of a run whose database cannot be reached (why: the driver's
// words; store: the registry file where the server is named).
std::string UnreachableDatabaseText(const std::string &server, const std::string &why,
                                    const std::string &store);
// The log viewer that could not be started, and the log it was to show.
std::string LogNotShownText(const std::string &log);

// True for the greetings of the handlers that the server creates itself,
// whatever the letter case.
bool IsSystemHandler(const std::string &parentAlias);

} // namespace brevita
