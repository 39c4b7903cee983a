#include "OdbcHandles.h"

#include "Messages.h"
#include "AppError.h"
#include "DbDeadline.h"

#include <cstdint>
#include <vector>

namespace brevita {

namespace {

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {0};
    SQLCHAR text[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!handle ||
        !SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &len))) {
        return "unknown database error";
    }
    std::string msg(reinterpret_cast<char *>(text));
    for (char &c : msg) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    while (!msg.empty() && msg.back() == ' ') {
        msg.pop_back();
    }
    return "[" + std::string(reinterpret_cast<char *>(state)) + "] " + msg;
}

// One environment for the whole run: where the driver manager pools
// connections (Pooling in odbcinst.ini), the pool lives as long as the
// environment, so each operation's connect can reuse the last one's.
SQLHANDLE SharedEnvironment() {
    static const bool pooled = SQL_SUCCEEDED(
        SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING,
                      reinterpret_cast<SQLPOINTER>(SQL_CP_ONE_PER_DRIVER), SQL_IS_UINTEGER));
    // Freed at the end (which closes the pooled connections), unless a call
    // abandoned by the deadline may still be inside the driver.
    struct Environment {
        OdbcHandle *env = new OdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        ~Environment() {
            if (!AbandonedCallRunning()) {
                delete env;
            }
        }
    };
    static Environment shared;
    static const bool odbc3 = SQL_SUCCEEDED(SQLSetEnvAttr(
        shared.env->get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    (void)pooled;
    (void)odbc3;
    return shared.env->get();
}

SQLPOINTER Seconds(int seconds) {
    return reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds));
}

} // namespace

void RaiseOdbcError(const std::string &what, SQLSMALLINT type, SQLHANDLE handle) {
    RaiseError(ErrDatabase, what + ": " + Diagnostic(type, handle));
}

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h_))) {
        h_ = SQL_NULL_HANDLE;
        RaiseError(ErrDatabase, QT_TRANSLATE_NOOP("Brevita", "Unable to allocate an ODBC handle"));
    }
}

OdbcHandle::~OdbcHandle() {
    if (h_) {
        SQLFreeHandle(type_, h_);
    }
}

OdbcConnection::OdbcConnection(const std::string &connectionString)
    : dbc_(SQL_HANDLE_DBC, SharedEnvironment()) {
    const DbTimeouts timeouts = CurrentDbTimeouts();
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(timeouts.login), 0);
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT, Seconds(timeouts.query), 0);
    std::vector<SQLCHAR> in(connectionString.begin(), connectionString.end());
    in.push_back(0);
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN r = SQLDriverConnect(dbc_.get(), nullptr, in.data(), SQL_NTS, out, sizeof out,
                                   &outLen, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(r)) {
        RaiseOdbcError("Unable to connect to the database", SQL_HANDLE_DBC, dbc_.get());
    }
    connected_ = true;
}

OdbcConnection::~OdbcConnection() {
    if (connected_) {
        SQLDisconnect(dbc_.get());
    }
}

OdbcStatement::OdbcStatement(const OdbcConnection &c) : stmt_(SQL_HANDLE_STMT, c.dbc()) {
    SQLSetStmtAttr(stmt_.get(), SQL_ATTR_QUERY_TIMEOUT, Seconds(CurrentDbTimeouts().query), 0);
}

void OdbcStatement::Fail(const std::string &what) const {
    RaiseOdbcError(what, SQL_HANDLE_STMT, stmt_.get());
}

std::optional<std::string> ReadText(const OdbcStatement &st, SQLUSMALLINT column) {
    std::string value;
    char buf[4096];
    while (true) {
        SQLLEN ind = 0;
        SQLRETURN r = SQLGetData(st.get(), column, SQL_C_CHAR, buf, sizeof buf, &ind);
        if (r == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(r)) {
            st.Fail("Unable to read a field");
        }
        if (ind == SQL_NULL_DATA) {
            return std::nullopt;
        }
        size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                         ? sizeof buf - 1
                         : static_cast<size_t>(ind);
        value.append(buf, got);
        if (r == SQL_SUCCESS) {
            break;
        }
    }
    return value;
}

} // namespace brevita
