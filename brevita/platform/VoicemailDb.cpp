#include "VoicemailDb.h"

#include "AppError.h"
#include "modCommon.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace brevita {

std::string DbConnectionString;

namespace {

DbTimeouts timeouts;
constexpr const char kStillWaiting[] = "The database has not answered an earlier call";
constexpr const char kDidNotAnswer[] = "The database did not answer within ";
// Calls abandoned by WithDeadline that have not returned yet.
std::atomic<int> stuckCalls{0};

// The first diagnostic of a handle as "[SQLSTATE] text", on one line.
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

[[noreturn]] void Fail(const std::string &what, SQLSMALLINT type, SQLHANDLE handle) {
    RaiseError(ErrDatabase, what + ": " + Diagnostic(type, handle));
}

class Handle {
  public:
    Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &h_))) {
            h_ = SQL_NULL_HANDLE;
            RaiseError(ErrDatabase, "Unable to allocate an ODBC handle");
        }
    }
    ~Handle() {
        if (h_) {
            SQLFreeHandle(type_, h_);
        }
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    SQLHANDLE get() const { return h_; }
    SQLSMALLINT type() const { return type_; }

  private:
    SQLSMALLINT type_;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// One environment for the whole run: where the driver manager pools
// connections (Pooling in odbcinst.ini), the pool lives as long as the
// environment, so each operation's connect can reuse the last one's.
SQLHANDLE SharedEnvironment() {
    static const bool pooled = SQL_SUCCEEDED(
        SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING,
                      reinterpret_cast<SQLPOINTER>(SQL_CP_ONE_PER_DRIVER), SQL_IS_UINTEGER));
    // Freed at the end (which closes the pooled connections), unless a call
    // abandoned by WithDeadline may still be inside the driver.
    struct Environment {
        Handle *env = new Handle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        ~Environment() {
            if (stuckCalls.load() == 0) {
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

class Connection {
  public:
    explicit Connection(const std::string &connectionString)
        : dbc_(SQL_HANDLE_DBC, SharedEnvironment()) {
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(timeouts.login)), 0);
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(timeouts.query)), 0);
        std::vector<SQLCHAR> in(connectionString.begin(), connectionString.end());
        in.push_back(0);
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        SQLRETURN r = SQLDriverConnect(dbc_.get(), nullptr, in.data(), SQL_NTS, out, sizeof out,
                                       &outLen, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(r)) {
            Fail("Unable to connect to the database", SQL_HANDLE_DBC, dbc_.get());
        }
        connected_ = true;
    }
    ~Connection() {
        if (connected_) {
            SQLDisconnect(dbc_.get());
        }
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    SQLHANDLE dbc() const { return dbc_.get(); }

  private:
    Handle dbc_;
    bool connected_ = false;
};

class Statement {
  public:
    explicit Statement(const Connection &c) : stmt_(SQL_HANDLE_STMT, c.dbc()) {
        SQLSetStmtAttr(stmt_.get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(timeouts.query)), 0);
    }
    SQLHSTMT get() const { return stmt_.get(); }
    [[noreturn]] void Fail(const std::string &what) const {
        brevita::Fail(what, SQL_HANDLE_STMT, stmt_.get());
    }

  private:
    Handle stmt_;
};

// One column of the current row as text; nothing for a null.
std::optional<std::string> ReadText(const Statement &st, SQLUSMALLINT column) {
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

struct DeclaredParam {
    std::string name;
    SQLSMALLINT position;
};

// The procedure's parameters as its declaration lists them (return value and
// result columns left out).
std::vector<DeclaredParam> DeclaredParams(const Connection &c, const std::string &procedure) {
    std::vector<DeclaredParam> found;
    // Identifier lookup folds case as the server does; failing that, the
    // name as given.
    for (bool identifier : {true, false}) {
        Statement st(c);
        SQLSetStmtAttr(st.get(), SQL_ATTR_METADATA_ID,
                       reinterpret_cast<SQLPOINTER>(identifier ? SQL_TRUE : SQL_FALSE), 0);
        std::vector<SQLCHAR> name(procedure.begin(), procedure.end());
        name.push_back(0);
        SQLRETURN r =
            SQLProcedureColumns(st.get(), nullptr, 0, nullptr, 0, name.data(), SQL_NTS, nullptr, 0);
        if (!SQL_SUCCEEDED(r)) {
            if (identifier) {
                continue;
            }
            st.Fail("Unable to read the parameters of " + procedure);
        }
        while (SQL_SUCCEEDED(r = SQLFetch(st.get()))) {
            auto column = ReadText(st, 4);
            SQLSMALLINT kind = 0;
            SQLINTEGER ordinal = 0;
            SQLLEN ind = 0;
            SQLGetData(st.get(), 5, SQL_C_SSHORT, &kind, 0, &ind);
            SQLGetData(st.get(), 18, SQL_C_SLONG, &ordinal, 0, &ind);
            if (kind == SQL_PARAM_INPUT || kind == SQL_PARAM_INPUT_OUTPUT ||
                kind == SQL_PARAM_OUTPUT) {
                found.push_back({column.value_or(""), static_cast<SQLSMALLINT>(ordinal)});
            }
        }
        if (!found.empty()) {
            break;
        }
    }
    return found;
}

std::string Unprefixed(const std::string &name) {
    return AsciiLower(!name.empty() && name[0] == '@' ? name.substr(1) : name);
}

// 8-4-4-4-12 hexadecimal digits, braces allowed around them; the digits
// without braces.
std::optional<std::string> GuidText(std::string s) {
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') {
        s = s.substr(1, 36);
    }
    if (s.size() != 36) {
        return std::nullopt;
    }
    for (size_t i = 0; i < s.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) {
            return std::nullopt;
        }
    }
    return s;
}

// The name goes into the call's text; only a plain identifier may.
void CheckProcedureName(const std::string &procedure) {
    if (procedure.empty() || !std::all_of(procedure.begin(), procedure.end(), [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.';
        })) {
        RaiseError(ErrInvalidCall, "Invalid procedure name " + procedure);
    }
}

// A procedure's declaration does not change during a run, and reading it
// costs more than the call itself.
const std::vector<DeclaredParam> &Declaration(const Connection &c, const std::string &connection,
                                              const std::string &procedure) {
    static std::map<std::pair<std::string, std::string>, std::vector<DeclaredParam>> known;
    auto &declared = known[{connection, procedure}];
    if (declared.empty()) {
        declared = DeclaredParams(c, procedure);
    }
    return declared;
}

// One position of the call; its value lives here until the call has run.
struct BoundParam {
    std::string text;
    SQLINTEGER number = 0;
    unsigned char bit = 0;
    SQLLEN ind = 0;
    const ProcParam *param = nullptr; // null: declared but not given
};

void SetValue(BoundParam &b, const ProcParam &p) {
    b.param = &p;
    switch (p.type) {
    case ParamType::Guid: {
        const auto *s = std::get_if<std::string>(&p.value);
        auto guid = s ? GuidText(*s) : std::nullopt;
        if (!guid) {
            RaiseError(ErrTypeMismatch, "Type mismatch");
        }
        b.text = *guid;
        b.ind = SQL_NTS;
        break;
    }
    case ParamType::Integer:
        if (const auto *n = std::get_if<int32_t>(&p.value)) {
            b.number = *n;
        } else if (const auto *f = std::get_if<bool>(&p.value)) {
            b.number = *f ? 1 : 0;
        } else {
            RaiseError(ErrTypeMismatch, "Type mismatch");
        }
        break;
    case ParamType::Boolean:
        if (const auto *f = std::get_if<bool>(&p.value)) {
            b.bit = *f ? 1 : 0;
        } else if (const auto *n = std::get_if<int32_t>(&p.value)) {
            b.bit = *n != 0 ? 1 : 0;
        } else {
            RaiseError(ErrTypeMismatch, "Type mismatch");
        }
        break;
    }
}

// Every "@" parameter at the position the declaration gives its name.
std::vector<BoundParam> ArrangeParams(const std::vector<DeclaredParam> &declared,
                                      const std::vector<ProcParam> &params,
                                      const std::string &procedure) {
    SQLSMALLINT count = 0;
    for (const auto &d : declared) {
        count = std::max(count, d.position);
    }
    std::vector<BoundParam> bound(static_cast<size_t>(count));
    for (const auto &p : params) {
        auto d = std::find_if(declared.begin(), declared.end(), [&](const DeclaredParam &x) {
            return Unprefixed(x.name) == Unprefixed(p.name);
        });
        if (d == declared.end() || d->position < 1) {
            RaiseError(ErrDatabase, "Procedure " + procedure + " has no parameter " + p.name);
        }
        SetValue(bound[static_cast<size_t>(d->position - 1)], p);
    }
    return bound;
}

// Markers are numbered over the given parameters only: the call text
// leaves the others out.
void BindParams(const Statement &st, std::vector<BoundParam> &bound, const std::string &procedure) {
    SQLUSMALLINT pos = 0;
    for (BoundParam &b : bound) {
        SQLRETURN r;
        if (!b.param) {
            continue;
        }
        ++pos;
        if (b.param->type == ParamType::Guid) {
            r = SQLBindParameter(st.get(), pos, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_GUID, 36, 0,
                                 b.text.data(), 0, &b.ind);
        } else if (b.param->type == ParamType::Integer) {
            r = SQLBindParameter(st.get(), pos, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                 &b.number, 0, &b.ind);
        } else {
            r = SQLBindParameter(st.get(), pos, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &b.bit,
                                 0, &b.ind);
        }
        if (!SQL_SUCCEEDED(r)) {
            st.Fail("Unable to pass the parameters of " + procedure);
        }
    }
}

// Some drivers (psqlODBC among them) wait without end for a server that
// stops answering in the middle of a call, whatever the query timeout says.
// So each operation runs on a thread of its own, and the caller gives up
// after the login and query timeouts. The call left behind may still hold
// the driver: until it returns, every later operation fails at once.
template <class Work> auto WithDeadline(Work work) -> decltype(work()) {
    using Result = decltype(work());
    if (stuckCalls.load() > 0) {
        RaiseError(ErrDatabase, kStillWaiting);
    }
    struct Shared {
        std::mutex m;
        std::condition_variable done;
        bool finished = false, abandoned = false;
        std::optional<Result> result;
        std::exception_ptr error;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        std::optional<Result> result;
        std::exception_ptr error;
        try {
            result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(shared->m);
        shared->result = std::move(result);
        shared->error = error;
        shared->finished = true;
        if (shared->abandoned) {
            --stuckCalls;
        }
        shared->done.notify_all();
    }).detach();
    const int seconds = timeouts.login + timeouts.query;
    std::unique_lock lock(shared->m);
    if (!shared->done.wait_for(lock, std::chrono::seconds(seconds),
                               [&] { return shared->finished; })) {
        shared->abandoned = true;
        ++stuckCalls;
        RaiseError(ErrDatabase, kDidNotAnswer + std::to_string(seconds) + " seconds");
    }
    if (shared->error) {
        std::rethrow_exception(shared->error);
    }
    return std::move(*shared->result);
}

Recordset OpenQueryNow(const std::string &connection, const std::string &sql);
void ExecuteProcedureNow(const std::string &connection, const std::string &procedure,
                         const std::vector<ProcParam> &params);

} // namespace

std::string ConnectionStringFor(const std::string &connectionString, const std::string &server) {
    if (!connectionString.empty()) {
        return connectionString;
    }
    // The built-in string's empty server= part, filled.
    std::string builtIn = kCorvoxConnectionString;
    const std::string part = "server=";
    return builtIn.insert(builtIn.find(part) + part.size(), server);
}

namespace {

// Where the value that starts after eq ends: at the next ";", or for a
// value in braces at the first ";" after its closing brace.
size_t ValueEnd(const std::string &text, size_t eq) {
    size_t end = eq + 1;
    if (end < text.size() && text[end] == '{') {
        end = text.find('}', end);
        end = end == std::string::npos ? text.size() : end + 1;
    }
    return std::min(text.find(';', end), text.size());
}

std::string KeyAt(const std::string &text, size_t at, size_t eq) {
    std::string key = AsciiLower(text.substr(at, eq - at));
    key.erase(0, std::min(key.find_first_not_of(' '), key.size()));
    return key;
}

// key=value pairs, keys in lower case.
std::vector<std::pair<std::string, std::string>> ConnectionPairs(const std::string &text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t at = 0, eq; at < text.size() && (eq = text.find('=', at)) != std::string::npos;) {
        const size_t end = ValueEnd(text, eq);
        pairs.emplace_back(KeyAt(text, at, eq), text.substr(eq + 1, end - eq - 1));
        at = end + 1;
    }
    return pairs;
}

} // namespace

std::string MaskedConnectionString(const std::string &text) {
    std::string out;
    size_t at = 0, eq;
    while (at < text.size() && (eq = text.find('=', at)) != std::string::npos) {
        const size_t end = ValueEnd(text, eq);
        const std::string key = KeyAt(text, at, eq);
        out += text.substr(at, eq + 1 - at);
        out += key == "pwd" || key == "password" ? "***" : text.substr(eq + 1, end - eq - 1);
        out += text.substr(end, end < text.size() ? 1 : 0);
        at = end + 1;
    }
    return at < text.size() ? out + text.substr(at) : out;
}

std::string ConnectionServerName(const std::string &connectionString) {
    std::string server, dsn;
    for (const auto &[key, value] : ConnectionPairs(connectionString)) {
        if (key == "server" || key == "servername" || key == "host") {
            server = value;
        } else if (key == "dsn") {
            dsn = value;
        }
    }
    if (!server.empty()) {
        return server;
    }
    return dsn.empty() ? std::string("(the local default)") : "data source " + dsn;
}

std::string DescribeDatabase(const std::string &connection) {
    return WithDeadline([connection] {
        Connection c(connection);
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

void SetDbTimeouts(DbTimeouts t) {
    timeouts = t;
}

bool IsDatabaseTimeout(const AppError &e) {
    if (e.Number() != ErrDatabase) {
        return false;
    }
    const std::string &text = e.Description();
    // The driver's time-outs, a statement the server cancelled, and our own
    // deadline.
    for (const char *mark : {"[HYT00]", "[HYT01]", "[57014]", kStillWaiting, kDidNotAnswer}) {
        if (text.find(mark) != std::string::npos) {
            return true;
        }
    }
    return false;
}

Recordset OpenQuery(const std::string &connection, const std::string &sql) {
    return WithDeadline([connection, sql] { return OpenQueryNow(connection, sql); });
}

void ExecuteProcedure(const std::string &connection, const std::string &procedure,
                      const std::vector<ProcParam> &params) {
    WithDeadline([connection, procedure, params] {
        ExecuteProcedureNow(connection, procedure, params);
        return true;
    });
}

Recordset::Recordset(std::vector<std::string> names,
                     std::vector<std::vector<std::optional<std::string>>> rows)
    : names_(std::move(names)), rows_(std::move(rows)), open_(true) {}

void Recordset::MoveNext() {
    if (IsEOF()) {
        RaiseError(ErrDatabase, "No current record");
    }
    ++pos_;
}

void Recordset::Close() {
    open_ = false;
    rows_.clear();
}

std::optional<std::string> Recordset::Field(std::string_view name) const {
    if (IsEOF()) {
        RaiseError(ErrDatabase, "No current record");
    }
    std::string wanted = AsciiLower(std::string(name));
    for (size_t i = 0; i < names_.size(); ++i) {
        if (AsciiLower(names_[i]) == wanted) {
            return rows_[pos_][i];
        }
    }
    RaiseError(ErrDatabase, "No field named " + std::string(name));
}

std::string Recordset::Text(std::string_view name) const {
    auto v = Field(name);
    if (!v) {
        RaiseError(ErrInvalidUseOfNull, "Invalid use of Null");
    }
    return *v;
}

namespace {

Recordset OpenQueryNow(const std::string &connection, const std::string &sql) {
    Connection c(connection);
    Statement st(c);
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    SQLRETURN r = SQLExecDirect(st.get(), text.data(), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
        st.Fail("The query failed");
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st.get(), &columns);
    std::vector<std::string> names;
    for (SQLUSMALLINT i = 1; i <= columns; ++i) {
        SQLCHAR name[256] = {0};
        SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(st.get(), i, name, sizeof name, &len, &type, &size, &digits, &nullable);
        names.emplace_back(reinterpret_cast<char *>(name));
    }
    std::vector<std::vector<std::optional<std::string>>> rows;
    while (columns > 0) {
        r = SQLFetch(st.get());
        if (r == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(r)) {
            st.Fail("Unable to read the rows");
        }
        std::vector<std::optional<std::string>> row;
        for (SQLUSMALLINT i = 1; i <= columns; ++i) {
            row.push_back(ReadText(st, i));
        }
        rows.push_back(std::move(row));
    }
    return Recordset(std::move(names), std::move(rows));
}

void ExecuteProcedureNow(const std::string &connection, const std::string &procedure,
                         const std::vector<ProcParam> &params) {
    CheckProcedureName(procedure);
    Connection c(connection);
    const auto &declared = Declaration(c, connection, procedure);
    if (declared.empty() && !params.empty()) {
        RaiseError(ErrDatabase, "No procedure named " + procedure + " with parameters");
    }
    std::vector<BoundParam> bound = ArrangeParams(declared, params, procedure);
    Statement st(c);
    BindParams(st, bound, procedure);
    std::vector<bool> given;
    for (const BoundParam &b : bound) {
        given.push_back(b.param != nullptr);
    }
    std::string call = ProcedureCallText(procedure, given);
    std::vector<SQLCHAR> text(call.begin(), call.end());
    text.push_back(0);
    SQLRETURN r = SQLExecDirect(st.get(), text.data(), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
        st.Fail("The call of " + procedure + " failed");
    }
}

} // namespace

std::string ProcedureCallText(const std::string &procedure, const std::vector<bool> &given) {
    // A NULL sent for a parameter would override the server's default for
    // it; an omitted one takes it. Trailing ones go altogether, the others
    // keep their commas.
    size_t count = given.size();
    while (count > 0 && !given[count - 1]) {
        --count;
    }
    std::string call = "{CALL " + procedure + "(";
    for (size_t i = 0; i < count; ++i) {
        call += i ? ", " : "";
        call += given[i] ? "?" : "";
    }
    return call + ")}";
}

void RequestSubscriberSync(const std::string &connection, const std::string &objectId) {
    ExecuteProcedure(connection, "sp_ModifySubscriber",
                     {{"@SubscriberObjectID", ParamType::Guid, objectId},
                      {"@DirectorySync", ParamType::Integer, int32_t{1}},
                      {"@DirectorySyncFlags", ParamType::Integer, int32_t{1}}});
}

void RequestFullDirectorySync(const std::string &connection) {
    ExecuteProcedure(connection, "sp_SqlDirectorySync",
                     {{"@SyncSubscriber", ParamType::Boolean, true}});
}

} // namespace brevita
