#include "TrimBatch.h"

#include "Messages.h"
#include "AppEnv.h"
#include "AppError.h"
#include "CurrentDatabase.h"
#include "Module1.h"
#include "PendingSync.h"
#include "RegistryAPI.h"
#include "RunScope.h"
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
#include <set>

namespace brevita {

namespace fs = std::filesystem;

namespace {

const char *const kSystemHandlers[] = {"Goodbyech", "OpeningGreetingch", "operatorch"};

// A stage's list and its row count.
struct StageList {
    std::unique_ptr<RowCursor> rows;
    int32_t count = 0;
};

// A query that fails is reported twice, as the list and then as its count
// that cannot be read. No rows, for that reason or another: no list.
StageList OpenList(ErrorHandler &onError, std::unique_ptr<RowCursor> (VoicemailDatabase::*list)()) {
    StageList stage;
    onError.Step([&] { stage.rows = (CurrentDatabase().*list)(); });
    onError.Step([&] {
        if (!stage.rows) {
            RaiseError(
                ErrObjectNotSet,
                QT_TRANSLATE_NOOP("Brevita", "Object variable or With block variable not set"));
        }
        stage.count = stage.rows->Count();
    });
    if (stage.count < 1) {
        stage.rows.reset();
    }
    return stage;
}

// The reports that follow name the row's file.
void AboutRow(ErrorHandler &onError, const RowCursor &rows) {
    onError.About("");
    onError.Step([&] {
        if (const auto file = rows.Field(Column::StreamPath)) {
            onError.About("file " + FullWavPath(*file));
        }
    });
}

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

bool TrimBatch::TrimListed(const std::string &streamPath) {
    if (!TrimWAVFile(streamPath, "", Options())) {
        return false;
    }
    if (!dryRunFolder_.empty()) {
        const std::string live = FullWavPath(streamPath);
        dryRunChanges_.push_back(
            {live, WavSeconds(live) - WavSeconds(DryRunPath(live, dryRunFolder_))});
    }
    return true;
}

int32_t TrimBatch::MaxVoiceNames() {
    double v = std::trunc(Val(view_.CurrentSettings().maxVoiceNames));
    return static_cast<int32_t>(std::clamp(v, double{INT32_MIN}, double{INT32_MAX}));
}

RunResult TrimBatch::TrimAll() {
    ErrorHandler onError(ErrorReport::FormMessage, "cmdTrimSilence_Click", "frmMain");
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
    if (view_.CurrentSettings().trimVoiceNames) {
        TrimNames();
    }
    if (view_.CurrentSettings().trimGreetings) {
        TrimGreetings();
    }
    view_.SetProgressCaption(QT_TRANSLATE_NOOP("Brevita", "Complete"));
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
    // The box as it reads when the stage starts sizes the progress bar; the
    // limit itself is read again after each change.
    const int32_t max = MaxVoiceNames();
    StageList list = OpenList(onError, &VoicemailDatabase::VoiceNames);
    if (!list.rows) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita",
                                 "No subscribers with voice names found on the local server"));
        return;
    }
    RowCursor &rows = *list.rows;
    const int32_t count = list.count;
    BeginStage(QT_TRANSLATE_NOOP("Brevita", "Updating voice names"),
               max > 0 && max < count ? max : count);
    const bool dryRun = !dryRunFolder_.empty();
    std::set<std::string> pendingBefore;
    if (!dryRun) {
        onError.Step([&] {
            for (std::string &id : PendingSyncs()) {
                pendingBefore.insert(std::move(id));
            }
        });
    }

    int32_t done = 0;
    for (; !rows.AtEnd(); rows.MoveNext()) {
        if (done > 0) {
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
        }
        ++done;
        AboutRow(onError, rows);
        onError.Step([&] {
            WriteToLog("Checking voice name for subscriber alias=" +
                       FieldText(rows, Column::Alias));
        });
        // Noted before the file can change, so that a run that dies between
        // the replace and the request leaves the request to the next run.
        std::string pending;
        if (!dryRun) {
            onError.Step([&] {
                pending = rows.Field(Column::SubscriberObjectID).value_or("");
                NotePendingSync(pending);
            });
        }
        bool changed = false;
        onError.Step([&] { changed = TrimListed(FieldText(rows, Column::StreamPath)); });
        if (!changed) {
            // An entry an earlier run left is still owed to the server.
            if (!pendingBefore.contains(pending)) {
                onError.Step([&] { ClearPendingSync(pending); });
            }
            continue;
        }
        WriteToLog("    Trimmed silence from subscriber's voice name, requesting directory synch.");
        std::string objectId;
        onError.Step([&] { objectId = FieldText(rows, Column::SubscriberObjectID); });
        if (sync_.SynchVoiceMailUser(objectId)) {
            onError.Step([&] { ClearPendingSync(pending); });
        }
        ++VoiceNamesUpdated;
        const int32_t limit = MaxVoiceNames();
        if (limit != 0 && limit <= VoiceNamesUpdated) {
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
            WriteToLog("    The maximum number of names to update has been reached - exiting "
                       "TrimVoiceNames routine.");
            view_.SetProgressValue(view_.ProgressMax());
            return;
        }
        StepProgress();
    }
    view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
    view_.SetProgressValue(view_.ProgressMax());
}

void TrimBatch::TrimGreetings() {
    ErrorHandler onError(ErrorReport::FormMessage, "TrimGreetings", "frmMain");
    StageList list = OpenList(onError, &VoicemailDatabase::Greetings);
    if (!list.rows) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita", "No greetings found on the local server"));
        return;
    }
    BeginStage(QT_TRANSLATE_NOOP("Brevita", "Updating greeting files"), list.count);
    RowCursor &rows = *list.rows;

    for (; !rows.AtEnd(); rows.MoveNext()) {
        AboutRow(onError, rows);
        onError.Step([&] {
            WriteToLog("Checking greeting with alias=" + FieldText(rows, Column::Alias) +
                       " for ParentAlias=" + FieldText(rows, Column::ParentAlias));
        });
        std::string parent;
        onError.Step([&] { parent = rows.Field(Column::ParentAlias).value_or(""); });
        if (IsSystemHandler(parent)) {
            WriteToLog("    This call handler is a Corvox system created handler - skipping "
                       "greeting trim");
        } else {
            bool changed = false;
            onError.Step([&] { changed = TrimListed(FieldText(rows, Column::StreamPath)); });
            if (changed) {
                WriteToLog("    Trimming silence from subscriber's voice name");
                ++GreetingsUpdated;
            }
        }
        StepProgress();
        view_.FileChecked(view_.ProgressValue(), list.count, GreetingsUpdated, LogErrorCount);
    }
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
