#include "TrimBatch.h"

#include "Messages.h"
#include "AppEnv.h"
#include "AppError.h"
#include "CurrentDatabase.h"
#include "Module1.h"
#include "PendingSync.h"
#include "RegistryAPI.h"
#include "RunScope.h"
#include "RunStop.h"
#include "TrimPool.h"
#include "TrimLock.h"
#include "UserPrompt.h"
#include "VoicemailDatabase.h"
#include "modCommon.h"
#include "modLogging.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>

namespace brevita {

namespace fs = std::filesystem;

namespace {
const char *const kSystemHandlers[] = {"Goodbyech", "OpeningGreetingch", "operatorch"};
} // namespace

std::string UnreachableDatabaseText(const std::string &server, const std::string &why,
                                    const std::string &store) {
    return FillMessage(QT_TRANSLATE_NOOP("Brevita",
                                         "Brevita cannot reach the database on server %1: %2. "
                                         "Name the server with \"DatabaseServer\" (or the whole "
                                         "connection with \"ConnectionString\") in %3. Nothing "
                                         "was changed."),
                       {server, why, store});
}

std::string LogNotShownText(const std::string &log) {
    return FillMessage(QT_TRANSLATE_NOOP("Brevita", "The log file %1 could not be opened: no "
                                                    "program to show it was found. Open it with a "
                                                    "text editor."),
                       {log});
}

bool IsSystemHandler(const std::string &parentAlias) {
    const std::string lower = AsciiLower(parentAlias);
    return std::any_of(std::begin(kSystemHandlers), std::end(kSystemHandlers),
                       [&](const char *name) { return AsciiLower(name) == lower; });
}

TrimOptions TrimBatch::Options() {
    const BrevitaSettings s = view_.CurrentSettings();
    return {s.silenceLevel,    s.silenceToTrim, s.silencePadding,
            s.followLineNoise, s.cutClosingKey, dryRunFolder_};
}

int32_t TrimBatch::MaxVoiceNames() {
    double v = std::trunc(Val(view_.CurrentSettings().maxVoiceNames));
    return static_cast<int32_t>(std::clamp(v, double{INT32_MIN}, double{INT32_MAX}));
}

RunResult TrimBatch::TrimAll() {
    ErrorHandler onError(ErrorReport::FormMessage, "cmdTrimSilence_Click", "frmMain");
    ClearStopRequest();
    const BrevitaSettings s = view_.CurrentSettings();
    if (!s.trimVoiceNames && !s.trimGreetings) {
        MsgBox(QT_TRANSLATE_NOOP(
            "Brevita", "You must select to trim either voice names or greetings or both"));
        return RunResult::NotStarted;
    }
    if (s.backupFiles && s.backupDestination.empty()) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita",
                                 "You must select a backup destination for prompts and greetings"));
        return RunResult::NotStarted;
    }
    const bool dryRun = !dryRunFolder_.empty();
    if (!s.backupFiles && !dryRun &&
        MsgBox(QT_TRANSLATE_NOOP(
                   "Brevita",
                   "Are you sure you want to trim silence on all voice names and/or greetings on "
                   "the local system?"),
               Buttons::YesNo) != Answer::Yes) {
        return RunResult::NotStarted;
    }
    TrimLock lock;
    if (!TakeTrimLock(lock, onError)) {
        return RunResult::NotStarted;
    }
    VoicemailDatabase &db = CurrentDatabase();
    // A database out of reach would make every list come back empty, after
    // a backup made for nothing: that is a run that cannot start.
    std::string database;
    try {
        database = db.Describe();
    } catch (...) {
        MsgBox(UnreachableDatabaseText(db.ServerName(),
                                       CurrentError(std::current_exception()).Description(),
                                       RegistryStorePath().string()));
        return RunResult::NotStarted;
    }
    BusyScope busy(view_);
    // A backup that failed is no safety net: nothing is trimmed without one.
    if (s.backupFiles && !dryRun && BackupFiles(view_) == BackupResult::Failed) {
        return RunResult::NotStarted;
    }
    VoiceNamesUpdated = 0;
    GreetingsUpdated = 0;
    // From here a signal lets the trims under way end instead of the program.
    std::optional<StopOnSignals> stopOnSignals(std::in_place);
    RemoveTrimTemporaries();
    pool_ = std::make_unique<TrimPool>(ParallelTrims());
    sync_.Start(dryRun);
    dryRunChanges_.clear();
    onError.Step([] { OpenLogFile(GenerateNewLogFileName()); });
    WriteToLog("Database connection=" + db.ConnectionText(), false);
    WriteToLog("Database=" + database, false);
    WriteToLog("Trim mode: " + TrimMode(), false);
    WriteToLog("", false);
    if (!dryRun) {
        sync_.SynchPendingUsers();
    }
    if (view_.CurrentSettings().trimVoiceNames && !StopRequested()) {
        TrimNames();
    }
    if (view_.CurrentSettings().trimGreetings && !StopRequested()) {
        TrimGreetings();
    }
    pool_.reset();
    RemoveTrimTemporaries();
    // Each replaced file was on disk before its rename; one flush of each
    // folder then makes the renames last before the run says it is done.
    FlushChangedFolders();
    const bool stopped = StopRequested();
    if (stopped) {
        WriteToLog("The run was stopped before every file was checked: " +
                   std::to_string(VoiceNamesUpdated) + " voice names and " +
                   std::to_string(GreetingsUpdated) + " greetings updated.");
    }
    view_.SetProgressCaption(QT_TRANSLATE_NOOP("Brevita", "Complete"));
    busy.End();
    CloseLogFile();
    lock.Release();
    // The boxes that follow are no part of the run: a signal ends them.
    stopOnSignals.reset();
    // Whoever stopped the run is not there to answer a box.
    if (stopped) {
        return RunResult::Stopped;
    }

    if (MsgBox(SummaryText(), Buttons::YesNo) == Answer::Yes) {
        bool shown = false;
        onError.Step([&] { shown = view_.OpenLogViewer(LogFilePath); });
        if (!shown) {
            MsgBox(LogNotShownText(LogFilePath));
        }
    }
    // A dry run requested nothing.
    if (VoiceNamesUpdated >= 1 && !dryRun) {
        MsgBox(QT_TRANSLATE_NOOP(
            "Brevita",
            "Since one or more voice names were updated, synchronizations to the directory "
            "were requested for those users.  This process may take a while to complete in "
            "the background."));
    }
    return RunResult::Completed;
}

std::string TrimBatch::SummaryText() const {
    // The error count is printed with the blank of its sign position.
    const std::string errors = (LogErrorCount >= 0 ? " " : "") + std::to_string(LogErrorCount);
    std::string text;
    if (!dryRunFolder_.empty()) {
        double seconds = 0;
        for (const DryRunChange &c : dryRunChanges_) {
            seconds += c.secondsRemoved;
        }
        // Not the locale's decimal comma: the number is read next to the log.
        text = FillMessage(
            QT_TRANSLATE_NOOP("Brevita", "Dry run complete.  %1 voice names would be updated and "
                                         "%2 greetings would be updated, cutting %3 seconds of "
                                         "audio.\n%4 error(s) encountered.\nView log file now?"),
            {std::to_string(VoiceNamesUpdated), std::to_string(GreetingsUpdated),
             QString::number(seconds, 'f', 1).toStdString(), errors});
    } else {
        text = FillMessage(
            QT_TRANSLATE_NOOP("Brevita", "Trim process complete.  %1 voice names "
                                         "updated and %2 greetings updated.\n%3 "
                                         "error(s) encountered.\nView log file "
                                         "now?"),
            {std::to_string(VoiceNamesUpdated), std::to_string(GreetingsUpdated), errors});
    }
    // The box's lines end as the program's other messages do.
    return QString::fromStdString(text)
        .replace(QStringLiteral("\n"), QStringLiteral("\r\n"))
        .toStdString();
}

void TrimBatch::RestoreFromBackup() {
    RestoreFiles(view_);
    CallSubscriberSync();
}

void TrimBatch::TestOneFile() {
    ErrorHandler onError(ErrorReport::FormMessage, "cmdTest_Click", "frmMain");
    std::string name;
    onError.Step([&] {
        name = Prompt().ChooseFile(
            {QT_TRANSLATE_NOOP("Brevita", "Select WAV file to trim silence from"), "*.wav",
             QDir::homePath().toStdString()});
    });
    if (name.empty()) {
        return;
    }
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita", "Error, file could not be opened"));
        return;
    }
    TrimLock lock;
    if (!TakeTrimLock(lock, onError)) {
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
        MsgBox(QT_TRANSLATE_NOOP("Brevita",
                                 "There was an error encountered during the file trim process"));
    } else if (changed) {
        MsgBox(FillMessage(QT_TRANSLATE_NOOP("Brevita", "File silence trimmed - the resulting "
                                                        "trimmed WAV file can be found at %1"),
                           {output}));
    } else {
        MsgBox(FillMessage(QT_TRANSLATE_NOOP("Brevita", "No silence detected on file - the "
                                                        "resulting WAV file can be found at %1"),
                           {output}));
    }
}

} // namespace brevita
