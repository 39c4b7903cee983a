// The two stages of a batch, voice names then greetings. Each listed file is
// read on the batch's thread, trimmed in a pool slot, and taken back in the
// list's order: its log lines, counters, progress and synchronisation
// request come out as a serial run writes them.

#include "TrimBatch.h"

#include "AppEnv.h"
#include "AppError.h"
#include "CurrentDatabase.h"
#include "DeferredOutput.h"
#include "Module1.h"
#include "PendingSync.h"
#include "RunStop.h"
#include "SafeFiles.h"
#include "TrimPool.h"
#include "VoicemailDatabase.h"
#include "modLogging.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <set>

namespace brevita {

namespace fs = std::filesystem;

namespace {

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
std::string AboutRow(ErrorHandler &onError, const RowCursor &rows) {
    onError.About("");
    onError.Step([&] {
        if (const auto file = rows.Field(Column::StreamPath)) {
            onError.About("file " + FullWavPath(*file));
        }
    });
    return onError.Subject();
}

} // namespace

// One listed file on its way through the stage.
struct TrimBatch::ListedTrim {
    std::string about;                     // the subject of the row's reports
    DeferredOutput before;                 // what reading the row wrote
    std::optional<std::string> streamPath; // none: no trim
    DeferredOutput during;                 // what the trim wrote
    bool changed = false;
    double secondsRemoved = 0;
    std::string pending;                // voice names: the pending synchronisation noted
    std::string objectId;               // and the subscriber to synchronise, or
    std::exception_ptr objectIdFailure; // why it could not be read
};

TrimBatch::TrimBatch(TrimView &view) : view_(view) {}
TrimBatch::~TrimBatch() = default;

void TrimBatch::RunStage(ErrorHandler &onError, RowCursor &rows, const StageSteps &steps) {
    const TrimOptions options = Options();
    std::deque<std::unique_ptr<ListedTrim>> running;
    bool more = true;
    while (true) {
        // Refilled a group at a time once half the queue is taken back, so
        // that what must be on disk before a trim starts is written once for
        // the group.
        std::vector<ListedTrim *> group;
        const bool refill = running.size() <= pool_->Depth() / 2;
        while (refill && more && !rows.AtEnd() && running.size() < pool_->Depth() &&
               steps.mayStart(running.size()) && !StopRequested()) {
            auto &item = *running.emplace_back(std::make_unique<ListedTrim>());
            DeferOutputScope defer(item.before);
            item.about = AboutRow(onError, rows);
            steps.read(item);
            // A list that breaks off is a list that ends here.
            more = onError.Step([&] { rows.MoveNext(); });
            group.push_back(&item);
        }
        if (!group.empty() && steps.beforeTrims) {
            DeferOutputScope defer(group.front()->before);
            steps.beforeTrims(group);
        }
        for (ListedTrim *item : group) {
            pool_->Add([&item = *item, options, inSlot = onError.Like()](int slot) mutable {
                if (!item.streamPath) {
                    return;
                }
                DeferOutputScope defer(item.during);
                inSlot.About(item.about);
                TrimOptions own = options;
                own.worker = slot;
                inSlot.Step([&] {
                    item.changed = TrimWAVFile(*item.streamPath, "", own);
                    const std::string live = FullWavPath(*item.streamPath);
                    if (item.changed && !own.dryRunFolder.empty()) {
                        item.secondsRemoved =
                            WavSeconds(live) - WavSeconds(DryRunPath(live, own.dryRunFolder));
                    }
                });
            });
        }
        if (running.empty()) {
            return;
        }
        pool_->TakeOldest();
        ListedTrim &item = *running.front();
        onError.About(item.about);
        more = steps.take(item) && more;
        running.pop_front();
    }
}

void TrimBatch::Replay(const ListedTrim &item) {
    ReplayOutput(item.before);
    ReplayOutput(item.during);
    if (item.changed) {
        const std::string live = FullWavPath(*item.streamPath);
        if (dryRunFolder_.empty()) {
            changedFolders_.insert(fs::path(live).parent_path().string());
        } else {
            dryRunChanges_.push_back({live, item.secondsRemoved});
        }
    }
}

void TrimBatch::FlushChangedFolders() {
    ErrorHandler onError(ErrorReport::FormLog, "FlushChangedFolders", "frmMain");
    for (const std::string &folder : changedFolders_) {
        onError.About("folder " + folder);
        onError.Step([&] { FlushFolder(folder); });
    }
    changedFolders_.clear();
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

    const RowCursor &rows = *list.rows;
    const auto read = [&](ListedTrim &item) {
        onError.Step([&] {
            WriteToLog("Checking voice name for subscriber alias=" +
                       FieldText(rows, Column::Alias));
        });
        if (!dryRun) {
            onError.Step(
                [&] { item.pending = rows.Field(Column::SubscriberObjectID).value_or(""); });
        }
        onError.Step([&] { item.streamPath = FieldText(rows, Column::StreamPath); });
        try {
            item.objectId = FieldText(rows, Column::SubscriberObjectID);
        } catch (...) {
            item.objectIdFailure = std::current_exception();
        }
    };
    // Noted before the files can change, so that a run that dies between a
    // replace and its request leaves the request to the next run. Clears
    // wait for the next note: one lost in a crash only repeats a request.
    std::vector<std::string> clearsOwed;
    const auto beforeTrims = [&](const std::vector<ListedTrim *> &group) {
        if (dryRun) {
            return;
        }
        std::vector<std::string> ids;
        for (const ListedTrim *item : group) {
            ids.push_back(item->pending);
        }
        if (onError.Step([&] { UpdatePendingSyncs(ids, clearsOwed); })) {
            clearsOwed.clear();
        }
    };
    int32_t done = 0;
    bool limitReached = false;
    const auto take = [&](ListedTrim &item) {
        if (done > 0) {
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
        }
        ++done;
        Replay(item);
        if (!item.changed) {
            // An entry an earlier run left is still owed to the server.
            if (!pendingBefore.contains(item.pending)) {
                clearsOwed.push_back(item.pending);
            }
            return true;
        }
        WriteToLog("    Trimmed silence from subscriber's voice name, requesting directory synch.");
        std::string objectId;
        onError.Step([&] {
            if (item.objectIdFailure) {
                std::rethrow_exception(item.objectIdFailure);
            }
            objectId = item.objectId;
        });
        if (sync_.SynchVoiceMailUser(objectId)) {
            clearsOwed.push_back(item.pending);
        }
        ++VoiceNamesUpdated;
        const int32_t limit = MaxVoiceNames();
        if (!limitReached && limit != 0 && limit <= VoiceNamesUpdated) {
            limitReached = true;
            view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
            WriteToLog("    The maximum number of names to update has been reached - exiting "
                       "TrimVoiceNames routine.");
            view_.SetProgressValue(view_.ProgressMax());
            return false;
        }
        StepProgress();
        return true;
    };
    // Never more trims under way than changes the limit still allows, so
    // the stage stops at the file where a serial run stops (unless the box
    // is lowered during the run: the trims under way then still count).
    const auto mayStart = [&](size_t running) {
        const int64_t limit = MaxVoiceNames();
        return running == 0 || limit == 0 ||
               static_cast<int64_t>(running) < limit - VoiceNamesUpdated;
    };
    RunStage(onError, *list.rows, {read, beforeTrims, take, mayStart});
    if (!clearsOwed.empty()) {
        onError.Step([&] { UpdatePendingSyncs({}, clearsOwed); });
    }
    if (!limitReached) {
        view_.FileChecked(done, count, VoiceNamesUpdated, LogErrorCount);
        view_.SetProgressValue(view_.ProgressMax());
    }
}

void TrimBatch::TrimGreetings() {
    ErrorHandler onError(ErrorReport::FormMessage, "TrimGreetings", "frmMain");
    StageList list = OpenList(onError, &VoicemailDatabase::Greetings);
    if (!list.rows) {
        MsgBox(QT_TRANSLATE_NOOP("Brevita", "No greetings found on the local server"));
        return;
    }
    BeginStage(QT_TRANSLATE_NOOP("Brevita", "Updating greeting files"), list.count);
    const RowCursor &rows = *list.rows;
    const auto read = [&](ListedTrim &item) {
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
            onError.Step([&] { item.streamPath = FieldText(rows, Column::StreamPath); });
        }
    };
    const auto take = [&](ListedTrim &item) {
        Replay(item);
        if (item.changed) {
            WriteToLog("    Trimming silence from subscriber's voice name");
            ++GreetingsUpdated;
        }
        StepProgress();
        view_.FileChecked(view_.ProgressValue(), list.count, GreetingsUpdated, LogErrorCount);
        return true;
    };
    RunStage(onError, *list.rows, {read, {}, take, [](size_t) { return true; }});
}

} // namespace brevita
