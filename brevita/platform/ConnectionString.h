#pragma once
// The ODBC connection string of the voicemail server's database: the
// built-in one, the one start-up chose, and what of it may be shown.

#include <string>

namespace brevita {

inline constexpr const char kCorvoxConnectionString[] =
    "Driver={SQL Server};server=;database=CorvoxDb";

// Set by start-up.
extern std::string DbConnectionString;

// The connection string a start-up uses: connectionString when set, else
// the built-in one with server put into its server= part, else the built-in one.
std::string ConnectionStringFor(const std::string &connectionString, const std::string &server);
// The string with every password value (PWD=, PASSWORD=) shown as ***.
std::string MaskedConnectionString(const std::string &connectionString);
// The server the string names (server=, or its data source), for messages.
std::string ConnectionServerName(const std::string &connectionString);

} // namespace brevita
