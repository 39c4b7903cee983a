#include "VoicemailDb.h"

#include "DbDeadline.h"
#include "OdbcHandles.h"
#include "OdbcProcedure.h"
#include "Recordset.h"

namespace brevita {

std::string OdbcVoicemailDb::ConnectionText() const {
    return MaskedConnectionString(DbConnectionString);
}

std::string OdbcVoicemailDb::ServerName() const {
    return ConnectionServerName(DbConnectionString);
}

std::string OdbcVoicemailDb::Describe() {
    return WithDeadline([connection = DbConnectionString] {
        OdbcConnection c(connection);
        auto info = [&](SQLUSMALLINT what) {
            char text[256] = {0};
            SQLSMALLINT len = 0;
            return SQL_SUCCEEDED(SQLGetInfo(c.dbc(), what, text, sizeof text, &len))
                       ? std::string(text)
                       : std::string("?");
        };
        return "driver " + info(SQL_DRIVER_NAME) + " " + info(SQL_DRIVER_VER) + ", server " +
               info(SQL_SERVER_NAME) + " (" + info(SQL_DBMS_NAME) + " " + info(SQL_DBMS_VER) + ")";
    });
}

std::unique_ptr<RowCursor> OdbcVoicemailDb::VoiceNames() {
    return std::make_unique<Recordset>(OpenQuery(DbConnectionString, kVoiceNameQuery));
}

std::unique_ptr<RowCursor> OdbcVoicemailDb::Greetings() {
    return std::make_unique<Recordset>(OpenQuery(DbConnectionString, kGreetingQuery));
}

void OdbcVoicemailDb::RequestSubscriberSync(const std::string &objectId) {
    ExecuteProcedure(DbConnectionString, "sp_ModifySubscriber",
                     {{"@SubscriberObjectID", ParamType::Guid, objectId},
                      {"@DirectorySync", ParamType::Integer, int32_t{1}},
                      {"@DirectorySyncFlags", ParamType::Integer, int32_t{1}}});
}

void OdbcVoicemailDb::RequestFullDirectorySync() {
    ExecuteProcedure(DbConnectionString, "sp_SqlDirectorySync",
                     {{"@SyncSubscriber", ParamType::Boolean, true}});
}

bool OdbcVoicemailDb::IsTimeout(const AppError &error) const {
    return IsDatabaseTimeout(error);
}

} // namespace brevita
