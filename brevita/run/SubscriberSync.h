#pragma once
// The directory synchronisation requests of one batch run: one for each
// voice name the run changed, and the ones earlier runs left pending. A
// request the server does not take is an error line of the log and stays
// in the pending file for the next run.

#include <string>

namespace brevita {

class SubscriberSync {
  public:
    // A new run, which in a dry run asks for nothing; the server is tried
    // again whatever the last run met.
    void Start(bool dryRun);
    // Asks the server to synchronise objectId and logs that it was asked
    // (also after a failure, which is reported). True when the server took
    // the request. After one time-out the run's later requests are only
    // logged as kept pending.
    bool SynchVoiceMailUser(const std::string &objectId);
    // The requests that an earlier run could not make, each cleared from the
    // pending file once the server took it.
    void SynchPendingUsers();

  private:
    bool dryRun_ = false;
    // Set by a request the server did not answer in time.
    bool directoryUnavailable_ = false;
};

} // namespace brevita
