#pragma once
// The voicemail server's database, through ODBC: the two list queries and
// the two directory synchronisation procedures. Each operation connects
// anew and leaves no connection open.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brevita {

inline constexpr const char kCorvoxConnectionString[] =
    "Driver={SQL Server};server=;database=CorvoxDb";
inline constexpr const char kVoiceNameQuery[] =
    "SELECT StreamPath, Alias, SubscriberObjectID FROM vw_Subscriber WHERE StreamPath is NOT NULL";
inline constexpr const char kGreetingQuery[] =
    "SELECT StreamPath, Alias, ParentAlias FROM vw_MessagingRule WHERE StreamPath is NOT NULL";

// Set by the main window at start-up.
extern std::string DbConnectionString;

// The connection string a start-up uses: connectionString when set, else
// the built-in one with server put into its server= part, else the built-in one.
std::string ConnectionStringFor(const std::string &connectionString, const std::string &server);
// The string with every password value (PWD=, PASSWORD=) shown as ***.
std::string MaskedConnectionString(const std::string &connectionString);
// The server the string names (server=, or its data source), for messages.
std::string ConnectionServerName(const std::string &connectionString);
// Connects once and says what answered: the driver, its version, the
// server and its database system. Raises ErrDatabase when nothing does.
std::string DescribeDatabase(const std::string &connection);

// Bounds on waiting for the server, in seconds.
struct DbTimeouts {
    int login = 15;
    int query = 60;
};
void SetDbTimeouts(DbTimeouts timeouts);

class AppError;
// True for a database error that says the server did not answer in time.
bool IsDatabaseTimeout(const AppError &e);

// All rows of a query, fetched before the first is read, so the count is
// known up front. Fields are found by name without regard to case.
class Recordset {
  public:
    Recordset() = default;
    Recordset(std::vector<std::string> names,
              std::vector<std::vector<std::optional<std::string>>> rows);

    int32_t RecordCount() const { return static_cast<int32_t>(rows_.size()); }
    void MoveFirst() { pos_ = 0; }
    void MoveNext();
    bool IsEOF() const { return !open_ || pos_ >= rows_.size(); }
    void Close();

    // The current row's field; nothing for a database null.
    std::optional<std::string> Field(std::string_view name) const;
    // The same as text; raises 94 "Invalid use of Null" for a null.
    std::string Text(std::string_view name) const;

  private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::optional<std::string>>> rows_;
    size_t pos_ = 0;
    bool open_ = false;
};

// Database failures raise ErrDatabase with the driver's SQLSTATE and text.
Recordset OpenQuery(const std::string &connection, const std::string &sql);

enum class ParamType { Guid, Integer, Boolean };
struct ProcParam {
    std::string name; // with its "@"
    ParamType type;
    std::variant<std::string, int32_t, bool> value;
};

// Calls the procedure once, each parameter placed where the procedure's
// declaration puts its name and the declared ones not given left out, so
// that the server's defaults apply to them; any result is discarded.
void ExecuteProcedure(const std::string &connection, const std::string &procedure,
                      const std::vector<ProcParam> &params);

// The call escape for a procedure whose declared parameters are given or
// not, in declaration order: "{CALL p(?, , ?)}" for the first and third of
// four.
std::string ProcedureCallText(const std::string &procedure, const std::vector<bool> &given);

// sp_ModifySubscriber: one subscriber, marked for directory synchronisation.
void RequestSubscriberSync(const std::string &connection, const std::string &objectId);
// sp_SqlDirectorySync: all subscribers.
void RequestFullDirectorySync(const std::string &connection);

} // namespace brevita
