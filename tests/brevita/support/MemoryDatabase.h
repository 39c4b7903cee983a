#pragma once
// A voicemail database in memory, for the tests of the runs: the lists hold
// what the test put there, every request is recorded, and any kind of
// operation can be made to fail as an unreachable or silent server would.

#include "VoicemailDatabase.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brevita_test {

class MemoryDatabase : public brevita::VoicemailDatabase {
  public:
    enum class Failure { None, Unreachable, TimeOut };
    using Field = std::optional<std::string>; // nothing: a database null
    using Row = std::map<brevita::Column, Field>;

    void AddVoiceName(Field streamPath, Field alias, Field objectId);
    void AddGreeting(Field streamPath, Field alias, Field parentAlias);

    // How each kind of operation fails from now on.
    Failure describeFails = Failure::None;
    Failure listsFail = Failure::None;
    Failure requestsFail = Failure::None;
    // The requests the server took, in order: "sp_ModifySubscriber <id>" or
    // "sp_SqlDirectorySync".
    std::vector<std::string> requests;
    // Every request tried, taken or not.
    int requestsTried = 0;

    std::string ConnectionText() const override { return "memory"; }
    std::string ServerName() const override { return "memory"; }
    std::string Describe() override;
    std::unique_ptr<brevita::RowCursor> VoiceNames() override;
    std::unique_ptr<brevita::RowCursor> Greetings() override;
    void RequestSubscriberSync(const std::string &objectId) override;
    void RequestFullDirectorySync() override;
    bool IsTimeout(const brevita::AppError &error) const override;

  private:
    void Request(const std::string &request);
    std::vector<Row> voiceNames_, greetings_;
};

} // namespace brevita_test
