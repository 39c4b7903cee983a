#pragma once
// The trimming runs behind the main window's buttons: the batch over every
// voice name and greeting the server lists, the test of one file, and the
// restore from a backup. The window and the batch without a window run this
// same code; only the view and the prompt differ.

#include "Settings.h"
#include "TrimFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brevita {

// What a run needs of the window it runs in.
class TrimView {
  public:
    virtual ~TrimView() = default;
    // The control values at this moment; read again at each use.
    virtual BrevitaSettings CurrentSettings() = 0;
    virtual void SetProgressCaption(const std::string &text) = 0;
    virtual void SetProgressMax(int32_t max) = 0;
    virtual int32_t ProgressMax() = 0;
    virtual void SetProgressValue(int32_t value) = 0;
    virtual int32_t ProgressValue() = 0;
    // On: the hourglass, and every control that would start another run
    // disabled. Off: both undone.
    virtual void SetBusy(bool busy) = 0;
    // Runs copy, a folder copy, with the notice shown while it runs; what
    // copy throws reaches the caller.
    virtual void CopyWithNotice(const std::function<void()> &copy) = 0;
    // False when no viewer could be started.
    virtual bool OpenLogViewer(const std::string &path) = 0;
    // After each listed file of a stage: done of total examined, changed
    // of them, errors so far in the log. The window shows its progress bar
    // instead.
    virtual void FileChecked(int32_t /*done*/, int32_t /*total*/, int32_t /*changed*/,
                             int32_t /*errors*/) {}
};

enum class RunResult {
    NotStarted, // a check failed, the user declined, another run holds the lock
    Completed,
};

enum class BackupResult { Copied, Declined, Failed };

inline constexpr const char kSystemHandlers[][18] = {"Goodbyech", "OpeningGreetingch",
                                                     "operatorch"};

// A file that a dry run found silence in.
struct DryRunChange {
    std::string livePath;
    std::string resultPath;
    double secondsRemoved;
};

class TrimBatch {
  public:
    explicit TrimBatch(TrimView &view) : view_(view) {}

    // From now on the batch is a dry run: no question is asked, no backup
    // made, every result goes below folder, the live files and the database
    // stay as they are; the changes found are collected in DryRunChanges.
    void SetDryRun(const std::string &folder) { dryRunFolder_ = folder; }
    const std::vector<DryRunChange> &DryRunChanges() const { return dryRunChanges_; }

    // "&Trim Silence": checks, optional backup, the log, voice names, then
    // greetings, the summary.
    RunResult cmdTrimSilence_Click();
    // "T&est One File": one chosen file trimmed into the test output.
    void cmdTest_Click();
    // "Restore WAV Files From Backup": the restore, then a full directory
    // synchronisation request whatever the restore did.
    void mnuRestore_Click();

    int32_t VoiceNamesUpdated = 0;
    int32_t GreetingsUpdated = 0;

  private:
    void BeginStage(const std::string &caption, int32_t steps);
    void StepProgress();
    void TrimNames();
    void TrimGreetings();
    // True when the server took the request. A failed one is an error line
    // of the log.
    bool SynchVoiceMailUser(const std::string &objectId);
    // The requests that an earlier run could not make.
    void SynchPendingUsers();
    BackupResult BackupFiles();
    void RestoreFiles();
    TrimOptions Options();
    int32_t MaxVoiceNames();
    std::string SummaryText() const;

    // TrimWAVFile, and in a dry run the note of what it would have changed.
    bool TrimListed(const std::string &streamPath);

    TrimView &view_;
    std::string dryRunFolder_;
    // Set by a request the server did not answer in time; the run then
    // keeps its remaining requests pending instead of waiting on each.
    bool directoryUnavailable_ = false;
    std::vector<DryRunChange> dryRunChanges_;
};

// The refusals of a backup folder nested with the live one, and of a run
// whose database cannot be reached (why: the driver's words; store: the
// registry file where the server is named).
std::string NestedFoldersText(const std::string &backup, const std::string &live);
std::string UnreachableDatabaseText(const std::string &server, const std::string &why,
                                    const std::string &store);
// The log viewer that could not be started, and the log it was to show.
std::string LogNotShownText(const std::string &log);

// The backup of destination: its "Stream Files" folder.
std::string BackupFolderOf(const std::string &destination);

// True for the greetings of the handlers that the server creates itself,
// whatever the letter case.
bool IsSystemHandler(const std::string &parentAlias);

} // namespace brevita
