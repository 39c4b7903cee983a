#pragma once
// ODBC handles that free themselves, on the one environment of the run, and
// the driver's diagnostics as errors. For the database units of this layer.

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>

namespace brevita {

// Raises ErrDatabase: what, then the handle's first diagnostic as
// "[SQLSTATE] text" on one line.
[[noreturn]] void RaiseOdbcError(const std::string &what, SQLSMALLINT type, SQLHANDLE handle);

// A handle of type under parent; raises ErrDatabase when none can be had.
class OdbcHandle {
  public:
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    ~OdbcHandle();
    OdbcHandle(const OdbcHandle &) = delete;
    OdbcHandle &operator=(const OdbcHandle &) = delete;
    // The driver manager's handle, valid while this lives.
    SQLHANDLE get() const { return h_; }

  private:
    SQLSMALLINT type_;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// A connection made with the login and query timeouts in force, closed when
// it goes; raises ErrDatabase when the driver cannot connect.
class OdbcConnection {
  public:
    explicit OdbcConnection(const std::string &connectionString);
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection &) = delete;
    OdbcConnection &operator=(const OdbcConnection &) = delete;
    // The connected handle, for statements and SQLGetInfo.
    SQLHDBC dbc() const { return dbc_.get(); }

  private:
    OdbcHandle dbc_;
    bool connected_ = false;
};

// A statement on c with the query timeout in force.
class OdbcStatement {
  public:
    explicit OdbcStatement(const OdbcConnection &c);
    // The statement handle, valid while this lives.
    SQLHSTMT get() const { return stmt_.get(); }
    // Raises ErrDatabase: what, then the statement's diagnostic.
    [[noreturn]] void Fail(const std::string &what) const;

  private:
    OdbcHandle stmt_;
};

// One column of the fetched row as text, however long; nothing for a null.
std::optional<std::string> ReadText(const OdbcStatement &st, SQLUSMALLINT column);

} // namespace brevita
