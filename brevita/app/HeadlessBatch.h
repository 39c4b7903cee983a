#pragma once
// The batch without a window, for cron and remote shells: the same start-up
// and the same run as the "Trim Silence" button, with the stored settings.
// Every message goes to standard output; Yes/No questions are answered from
// the command line.

namespace brevita {

struct HeadlessOptions {
    bool yes = false;    // answer every question Yes (otherwise No)
    bool dryRun = false; // trim into a scratch folder, change nothing
};

// Exit statuses of the batch.
inline constexpr int kBatchClean = 0;      // completed, no error line
inline constexpr int kBatchWithErrors = 1; // completed with error lines
inline constexpr int kBatchNotStarted = 2; // a check failed or another trim runs
inline constexpr int kBatchStopped = 3;    // SIGTERM or SIGINT ended it early

int RunHeadlessBatch(const HeadlessOptions &options);

} // namespace brevita
