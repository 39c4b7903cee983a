#include "TrimBatch.h"

#include "AppError.h"
#include "AppEnv.h"
#include "Module1.h"
#include "RegistryAPI.h"
#include "SafeFiles.h"
#include "UserPrompt.h"
#include "VoicemailDb.h"
#include "modCommon.h"
#include "modLogging.h"
#include "PendingSync.h"
#include "Startup.h"
#include "TrimLock.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>

namespace brevita {

namespace fs = std::filesystem;

namespace {

// The stream files folder without its final "/".
std::string LiveFolder() {
    std::string live = StreamFilesPath;
    if (live.size() > 1 && live.back() == '/') {
        live.pop_back();
    }
    return live;
}

bool IsInside(const fs::path &inner, const fs::path &outer) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec), b = fs::weakly_canonical(outer, ec);
    auto [end, _] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    return end == b.end();
}

// A backup inside the live folder would copy itself, and a live folder
// inside the backup would go with the old backup; links are followed, as
// the copy follows them.
bool Nested(const std::string &backup, const std::string &live) {
    if (!IsInside(backup, live) && !IsInside(live, backup)) {
        return false;
    }
    MsgBox(NestedFoldersText(backup, live));
    return true;
}

// Busy from construction to destruction, whichever way the run leaves.
class BusyScope {
  public:
    explicit BusyScope(TrimView &view) : view_(view) { view_.SetBusy(true); }
    ~BusyScope() { End(); }
    void End() {
        if (busy_) {
            busy_ = false;
            view_.SetBusy(false);
        }
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

  private:
    TrimView &view_;
    bool busy_ = true;
};

// Takes the machine-wide lock, or says why not. With it taken no other run
// is writing, so what a killed one left in the live folder goes.
bool Lock(TrimLock &lock, ErrorHandler &onError) {
    bool taken = false;
    if (!onError.Step([&] { taken = lock.TryAcquire(LiveFolder()); })) {
        return false;
    }
    if (!taken) {
        MsgBox(kAnotherTrimRunning);
        return false;
    }
    RemoveLeftovers(LiveFolder(), true);
    return true;
}

// A list and its row count. A query that fails is reported twice, as the
// list and then as its count that cannot be read; the count is then 0.
std::optional<Recordset> OpenList(ErrorHandler &onError, const char *query, int32_t &count) {
    std::optional<Recordset> rs;
    onError.Step([&] { rs = OpenQuery(DbConnectionString, query); });
    onError.Step([&] {
        if (!rs) {
            RaiseError(ErrObjectNotSet, "Object variable or With block variable not set");
        }
        count = rs->RecordCount();
    });
    return rs;
}

} // namespace

std::string NestedFoldersText(const std::string &backup, const std::string &live) {
    return "The backup folder " + backup + " and the stream files folder " + live +
           " lie one inside the other. Choose a backup destination outside the stream files "
           "folder, and a stream files folder outside it.";
}

std::string UnreachableDatabaseText(const std::string &server, const std::string &why,
                                    const std::string &store) {
    return "Brevita cannot reach the database on server " + server + ": " + why +
           ". Name the server with \"DatabaseServer\" (or the whole connection with "
           "\"ConnectionString\") in " +
           store + ". Nothing was changed.";
}

std::string LogNotShownText(const std::string &log) {
    return "The log file " + log +
           " could not be opened: no program to show it was found. Open "
           "it with a text editor.";
}

std::string BackupFolderOf(const std::string &destination) {
    return JoinPath(destination, "Stream Files");
}

bool IsSystemHandler(const std::string &parentAlias) {
    const std::string lower = AsciiLower(parentAlias);
    return std::any_of(std::begin(kSystemHandlers), std::end(kSystemHandlers),
                       [&](const char *name) { return AsciiLower(name) == lower; });
}

TrimOptions TrimBatch::Options() {
    const BrevitaSettings s = view_.CurrentSettings();
    return {s.silenceLevel, s.silenceToTrim, s.silencePadding, dryRunFolder_};
}

bool TrimBatch::TrimListed(const std::string &streamPath) {
    if (!TrimWAVFile(streamPath, "", Options())) {
        return false;
    }
    if (!dryRunFolder_.empty()) {
        const std::string live = FullWavPath(streamPath);
        const fs::path result = DryRunPath(live, dryRunFolder_);
        dryRunChanges_.push_back({live, result.string(), WavSeconds(live) - WavSeconds(result)});
    }
    return true;
}

int32_t TrimBatch::MaxVoiceNames() {
    double v = std::trunc(Val(view_.CurrentSettings().maxVoiceNames));
    return static_cast<int32_t>(std::clamp(v, double{INT32_MIN}, double{INT32_MAX}));
}

RunResult TrimBatch::cmdTrimSilence_Click() {
    ErrorHandler onError(ErrorReport::FormMessage, "cmdTrimSilence_Click", "frmMain");
    const BrevitaSettings s = view_.CurrentSettings();
    if (!s.trimVoiceNames && !s.trimGreetings) {
        MsgBox("You must select to trim either voice names or greetings or both");
        return RunResult::NotStarted;
    }
    if (s.backupFiles && s.backupDestination.empty()) {
        MsgBox("You must select a backup destination for prompts and greetings");
        return RunResult::NotStarted;
    }
    const bool dryRun = !dryRunFolder_.empty();
    if (!s.backupFiles && !dryRun &&
        MsgBox("Are you sure you want to trim silence on all voice names and/or greetings on "
               "the local system?",
               Buttons::YesNo) != Answer::Yes) {
        return RunResult::NotStarted;
    }
    TrimLock lock;
    if (!Lock(lock, onError)) {
        return RunResult::NotStarted;
    }
    // A database out of reach would make every list come back empty, after
    // a backup made for nothing: that is a run that cannot start.
    std::string database;
    try {
        database = DescribeDatabase(DbConnectionString);
    } catch (...) {
        MsgBox(UnreachableDatabaseText(ConnectionServerName(DbConnectionString),
                                       CurrentError(std::current_exception()).Description(),
                                       RegistryStorePath().string()));
        return RunResult::NotStarted;
    }
    BusyScope busy(view_);
    // A backup that failed is no safety net: nothing is trimmed without one.
    if (s.backupFiles && !dryRun && BackupFiles() == BackupResult::Failed) {
        return RunResult::NotStarted;
    }
    VoiceNamesUpdated = 0;
    GreetingsUpdated = 0;
    directoryUnavailable_ = false;
    dryRunChanges_.clear();
    onError.Step([] { OpenLogFile(GenerateNewLogFileName()); });
    WriteToLog("Database connection=" + MaskedConnectionString(DbConnectionString), false);
    WriteToLog("Database=" + database, false);
    WriteToLog("", false);
    if (dryRunFolder_.empty()) {
        SynchPendingUsers();
    }
    if (view_.CurrentSettings().trimVoiceNames) {
        TrimNames();
    }
    if (view_.CurrentSettings().trimGreetings) {
        TrimGreetings();
    }
    view_.SetProgressCaption("Complete");
    busy.End();
    CloseLogFile();
    lock.Release();

    if (MsgBox(SummaryText(), Buttons::YesNo) == Answer::Yes) {
        bool shown = false;
        onError.Step([&] { shown = view_.OpenLogViewer(LogFilePath); });
        if (!shown) {
            MsgBox(LogNotShownText(LogFilePath));
        }
    }
    // A dry run requested nothing.
    if (VoiceNamesUpdated >= 1 && dryRunFolder_.empty()) {
        MsgBox("Since one or more voice names were updated, synchronizations to the directory "
               "were requested for those users.  This process may take a while to complete in "
               "the background.");
    }
    return RunResult::Completed;
}

std::string TrimBatch::SummaryText() const {
    // The error count is printed with the blank of its sign position.
    const std::string errors = (LogErrorCount >= 0 ? " " : "") + std::to_string(LogErrorCount) +
                               " error(s) encountered.\r\nView log file now?";
    if (!dryRunFolder_.empty()) {
        double seconds = 0;
        for (const DryRunChange &c : dryRunChanges_) {
            seconds += c.secondsRemoved;
        }
        // Not the locale's decimal comma: the number is read next to the log.
        return "Dry run complete.  " + std::to_string(VoiceNamesUpdated) +
               " voice names would be updated and " + std::to_string(GreetingsUpdated) +
               " greetings would be updated, cutting " +
               QString::number(seconds, 'f', 1).toStdString() + " seconds of audio.\r\n" + errors;
    }
    return "Trim process complete.  " + std::to_string(VoiceNamesUpdated) +
           " voice names updated and " + std::to_string(GreetingsUpdated) +
           " greetings updated.\r\n" + errors;
}

// The caption doubles as the log's heading for the stage.
void TrimBatch::BeginStage(const std::string &caption, int32_t steps) {
    view_.SetProgressCaption(caption);
    view_.SetProgressMax(steps);
    view_.SetProgressValue(0);
    ProcessPendingEvents();
    WriteToLog("*** " + caption + " ****");
    WriteToLog("", false);
}

void TrimBatch::StepProgress() {
    view_.SetProgressValue(std::min(view_.ProgressValue() + 1, view_.ProgressMax()));
}

void TrimBatch::TrimNames() {
    ErrorHandler onError(ErrorReport::FormLog, "TrimNames", "frmMain");
    int32_t count = 0;
    std::optional<Recordset> rs = OpenList(onError, kVoiceNameQuery, count);
    if (count < 1) {
        MsgBox("No subscribers with voice names found on the local server");
        return;
    }
    const int32_t max = MaxVoiceNames();
    BeginStage("Updating voice names", max > 0 && max < count ? max : count);
    std::set<std::string> pendingBefore;
    if (dryRunFolder_.empty()) {
        onError.Step([&] {
            for (std::string &id : PendingSyncs()) {
                pendingBefore.insert(std::move(id));
            }
        });
    }

    int32_t done = 0;
    for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext()) {
        if (done > 0) {
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
        }
        ++done;
        onError.About("");
        onError.Step([&] {
            if (const auto file = rs->Field("StreamPath")) {
                onError.About("file " + FullWavPath(*file));
            }
        });
        onError.Step(
            [&] { WriteToLog("Checking voice name for subscriber alias=" + rs->Text("Alias")); });
        // Noted before the file can change, so that a run that dies between
        // the replace and the request leaves the request to the next run.
        std::string pending;
        if (dryRunFolder_.empty()) {
            onError.Step([&] {
                pending = rs->Field("SubscriberObjectID").value_or("");
                NotePendingSync(pending);
            });
        }
        bool changed = false;
        onError.Step([&] { changed = TrimListed(rs->Text("StreamPath")); });
        if (!changed) {
            // An entry an earlier run left is still owed to the server.
            if (!pendingBefore.contains(pending)) {
                onError.Step([&] { ClearPendingSync(pending); });
            }
            continue;
        }
        WriteToLog("    Trimmed silence from subscriber's voice name, requesting directory synch.");
        std::string objectId;
        onError.Step([&] { objectId = rs->Text("SubscriberObjectID"); });
        if (SynchVoiceMailUser(objectId)) {
            onError.Step([&] { ClearPendingSync(pending); });
        }
        ++VoiceNamesUpdated;
        const int32_t limit = MaxVoiceNames();
        if (limit != 0 && limit <= VoiceNamesUpdated) {
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
            WriteToLog("    The maximum number of names to update has been reached - exiting "
                       "TrimVoiceNames routine.");
            rs->Close();
            view_.SetProgressValue(view_.ProgressMax());
            return;
        }
        StepProgress();
    }
    view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
    view_.SetProgressValue(view_.ProgressMax());
    rs->Close();
}

void TrimBatch::TrimGreetings() {
    ErrorHandler onError(ErrorReport::FormMessage, "TrimGreetings", "frmMain");
    int32_t count = 0;
    std::optional<Recordset> rs = OpenList(onError, kGreetingQuery, count);
    if (count < 1) {
        MsgBox("No greetings found on the local server");
        return;
    }
    BeginStage("Updating greeting files", count);

    for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext()) {
        onError.About("");
        onError.Step([&] {
            if (const auto file = rs->Field("StreamPath")) {
                onError.About("file " + FullWavPath(*file));
            }
        });
        onError.Step([&] {
            WriteToLog("Checking greeting with alias=" + rs->Text("Alias") +
                       " for ParentAlias=" + rs->Text("ParentAlias"));
        });
        std::string parent;
        onError.Step([&] { parent = rs->Field("ParentAlias").value_or(""); });
        if (IsSystemHandler(parent)) {
            WriteToLog("    This call handler is a Corvox system created handler - skipping "
                       "greeting trim");
        } else {
            bool changed = false;
            onError.Step([&] { changed = TrimListed(rs->Text("StreamPath")); });
            if (changed) {
                WriteToLog("    Trimming silence from subscriber's voice name");
                ++GreetingsUpdated;
            }
        }
        StepProgress();
        view_.FileChecked(view_.ProgressValue(), count, GreetingsUpdated, LogErrorCount);
    }
    rs->Close();
}

bool TrimBatch::SynchVoiceMailUser(const std::string &objectId) {
    if (!dryRunFolder_.empty()) {
        WriteToLog("    Dry run: no directory synch requested for objectID=" + objectId);
        return false;
    }
    if (directoryUnavailable_) {
        WriteToLog("    Directory synch kept pending for objectID=" + objectId);
        return false;
    }
    ErrorHandler onError(ErrorReport::FormMessage, "SynchVoiceMailUser", "frmMain");
    onError.About("objectID=" + objectId);
    bool taken = false;
    try {
        RequestSubscriberSync(DbConnectionString, objectId);
        taken = true;
    } catch (...) {
        const AppError e = CurrentError(std::current_exception());
        onError.Report(e);
        // One time-out is enough to know: waiting out another for every
        // later name would stall the run for minutes.
        if (IsDatabaseTimeout(e)) {
            directoryUnavailable_ = true;
            WriteToLog("    The directory synch request was not answered in time: the requests "
                       "still to come in this run are kept pending for the next run.");
        }
    }
    WriteToLog("    Directory synch requested for objectID=" + objectId);
    return taken;
}

void TrimBatch::SynchPendingUsers() {
    ErrorHandler onError(ErrorReport::FormLog, "SynchPendingUsers", "frmMain");
    std::vector<std::string> ids;
    onError.Step([&] { ids = PendingSyncs(); });
    for (const std::string &id : ids) {
        WriteToLog("Directory synch left pending by an earlier run for objectID=" + id);
        if (SynchVoiceMailUser(id)) {
            onError.Step([&] { ClearPendingSync(id); });
        }
    }
}

BackupResult TrimBatch::BackupFiles() {
    ErrorHandler onError(ErrorReport::FormMessage, "BackupFiles", "frmMain");
    const std::string backup = BackupFolderOf(view_.CurrentSettings().backupDestination);
    if (Nested(backup, LiveFolder())) {
        return BackupResult::Failed;
    }
    bool replace = false;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(backup, ec))) {
        if (MsgBox("There are greetings and voice names already in that directory - write over "
                   "them?",
                   Buttons::YesNo) != Answer::Yes) {
            return BackupResult::Declined;
        }
        replace = true;
    }
    const bool copied = onError.Step([&] {
        view_.CopyWithNotice([&] { CopyFolderAtomically(LiveFolder(), backup, replace); });
    });
    return copied ? BackupResult::Copied : BackupResult::Failed;
}

void TrimBatch::RestoreFiles() {
    ErrorHandler onError(ErrorReport::FormMessage, "RestoreFiles", "frmMain");
    const std::string destination = view_.CurrentSettings().backupDestination;
    std::error_code ec;
    if (destination.empty()) {
        MsgBox("You must select a backup folder to restore from");
        return;
    }
    if (!fs::is_directory(destination, ec)) {
        MsgBox("The backup folder selected does not contain any files to restore");
        return;
    }
    const std::string backup = BackupFolderOf(destination);
    if (!fs::is_directory(backup, ec)) {
        MsgBox("The selected backup folder does not contain the Stream Files directory to "
               "restore");
        return;
    }
    if (Nested(backup, LiveFolder())) {
        return;
    }
    if (MsgBox("Are you sure you want to restore the greetings and voice names from the backup "
               "directory onto the live system?",
               Buttons::YesNo) != Answer::Yes) {
        return;
    }
    TrimLock lock;
    if (!Lock(lock, onError)) {
        return;
    }
    {
        BusyScope busy(view_);
        onError.Step(
            [&] { view_.CopyWithNotice([&] { CopyFolderContentsOnto(backup, LiveFolder()); }); });
    }
    lock.Release();
    MsgBox("Restore complete.  A full directory synch has been requested - it may take a while "
           "to run.");
}

void TrimBatch::mnuRestore_Click() {
    RestoreFiles();
    CallSubscriberSync();
}

void TrimBatch::cmdTest_Click() {
    ErrorHandler onError(ErrorReport::FormMessage, "cmdTest_Click", "frmMain");
    std::string name;
    onError.Step([&] {
        name = Prompt().ChooseFile(
            {"Select WAV file to trim silence from", "*.wav", QDir::homePath().toStdString()});
    });
    if (name.empty()) {
        return;
    }
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) {
        MsgBox("Error, file could not be opened");
        return;
    }
    TrimLock lock;
    if (!Lock(lock, onError)) {
        return;
    }
    const std::string output = TestOutputPath();
    bool changed = false;
    {
        BusyScope busy(view_);
        changed = TrimWAVFile(name, output, Options());
    }
    lock.Release();
    if (!fs::is_regular_file(output, ec)) {
        MsgBox("There was an error encountered during the file trim process");
    } else if (changed) {
        MsgBox("File silence trimmed - the resulting trimmed WAV file can be found at " + output);
    } else {
        MsgBox("No silence detected on file - the resulting WAV file can be found at " + output);
    }
}

} // namespace brevita
