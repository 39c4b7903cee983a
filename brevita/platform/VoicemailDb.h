#pragma once
// The voicemail server's database through ODBC: the two list queries and
// the two directory synchronisation procedures, as the server expects
// them. Each operation connects anew, leaves no connection open and waits
// no longer than the deadline.

#include "ConnectionString.h"
#include "VoicemailDatabase.h"

#include <string>

namespace brevita {

inline constexpr const char kVoiceNameQuery[] =
    "SELECT StreamPath, Alias, SubscriberObjectID FROM vw_Subscriber WHERE StreamPath is NOT NULL";
inline constexpr const char kGreetingQuery[] =
    "SELECT StreamPath, Alias, ParentAlias FROM vw_MessagingRule WHERE StreamPath is NOT NULL";

// On DbConnectionString as it is at each call.
class OdbcVoicemailDb : public VoicemailDatabase {
  public:
    // The connection string masked, and the server it names.
    std::string ConnectionText() const override;
    std::string ServerName() const override;
    // The driver and its version, the server and its database system.
    std::string Describe() override;
    // The rows of kVoiceNameQuery and kGreetingQuery.
    std::unique_ptr<RowCursor> VoiceNames() override;
    std::unique_ptr<RowCursor> Greetings() override;
    // sp_ModifySubscriber with @SubscriberObjectID (raises 13 for an id
    // that is not a GUID), @DirectorySync 1 and @DirectorySyncFlags 1.
    void RequestSubscriberSync(const std::string &objectId) override;
    // sp_SqlDirectorySync with @SyncSubscriber true.
    void RequestFullDirectorySync() override;
    // The driver's time-outs, and the deadline's (IsDatabaseTimeout).
    bool IsTimeout(const AppError &error) const override;
};

} // namespace brevita
