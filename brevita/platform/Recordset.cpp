#include "Recordset.h"

#include "AppError.h"
#include "DbDeadline.h"
#include "Messages.h"
#include "OdbcHandles.h"
#include "modCommon.h"

namespace brevita {

namespace {
constexpr size_t kBlockRows = 512;
} // namespace

struct Recordset::Query {
    std::optional<OdbcConnection> c;
    std::optional<OdbcStatement> st;
    std::vector<std::string> names;
    int32_t count = 0;
};

namespace {

std::string DriverName(const OdbcConnection &c) {
    char text[256] = {0};
    SQLSMALLINT len = 0;
    return SQL_SUCCEEDED(SQLGetInfo(c.dbc(), SQL_DRIVER_NAME, text, sizeof text, &len))
               ? AsciiLower(text)
               : std::string();
}

// The PostgreSQL driver reads a whole result into memory unless it is told
// to use a cursor; then it holds one block too.
void ConnectForRows(Recordset::Query &q, const std::string &connection) {
    q.c.emplace(connection);
    if (DriverName(*q.c).starts_with("psqlodbc") &&
        AsciiLower(connection).find("usedeclarefetch") == std::string::npos) {
        q.c.reset();
        q.c.emplace(connection + ";UseDeclareFetch=1;Fetch=" + std::to_string(kBlockRows));
    }
}

void Execute(const OdbcStatement &st, const std::string &sql) {
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    const SQLRETURN r = SQLExecDirect(st.get(), text.data(), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
        st.Fail("The query failed");
    }
}

// Up to kBlockRows rows; fewer once the list is through, and then the
// connection is closed here, within the deadline: closing a cursor asks the
// server, which may have stopped answering by the time the cursor goes.
std::deque<Recordset::Row> Fetch(Recordset::Query &q) {
    std::deque<Recordset::Row> rows;
    const auto columns = static_cast<SQLUSMALLINT>(q.names.size());
    while (columns > 0 && rows.size() < kBlockRows) {
        const SQLRETURN r = SQLFetch(q.st->get());
        if (r == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(r)) {
            q.st->Fail("Unable to read the rows");
        }
        Recordset::Row &row = rows.emplace_back();
        for (SQLUSMALLINT i = 1; i <= columns; ++i) {
            row.push_back(ReadText(*q.st, i));
        }
    }
    if (rows.size() < kBlockRows) {
        q.st.reset();
        q.c.reset();
    }
    return rows;
}

} // namespace

Recordset::Recordset(std::shared_ptr<Query> query) : query_(std::move(query)) {
    FetchBlock();
}
Recordset::~Recordset() {
    // A list left before its end is closed within the deadline too.
    if (query_ && query_->c) {
        try {
            RunWithDeadline([query = query_] {
                query->st.reset();
                query->c.reset();
            });
        } catch (...) {
            // Not answered in time: the deadline has said so.
        }
    }
}
Recordset::Recordset(Recordset &&) noexcept = default;

int32_t Recordset::Count() const {
    return query_->count;
}

void Recordset::FetchBlock() {
    block_ = WithDeadline([query = query_] { return Fetch(*query); });
    fetchedAll_ = block_.size() < kBlockRows;
}

void Recordset::MoveNext() {
    if (AtEnd()) {
        RaiseError(ErrDatabase, QT_TRANSLATE_NOOP("Brevita", "No current record"));
    }
    block_.pop_front();
    if (block_.empty() && !fetchedAll_) {
        FetchBlock();
    }
}

std::optional<std::string> Recordset::Field(Column column) const {
    if (AtEnd()) {
        RaiseError(ErrDatabase, QT_TRANSLATE_NOOP("Brevita", "No current record"));
    }
    const std::string wanted = AsciiLower(ColumnName(column));
    for (size_t i = 0; i < query_->names.size(); ++i) {
        if (AsciiLower(query_->names[i]) == wanted) {
            return block_.front()[i];
        }
    }
    RaiseError(ErrDatabase, FillMessage(QT_TRANSLATE_NOOP("Brevita", "No field named %1"),
                                        {std::string(ColumnName(column))}));
}

Recordset OpenQuery(const std::string &connection, const std::string &sql) {
    auto query = WithDeadline([connection, sql] {
        auto q = std::make_shared<Recordset::Query>();
        ConnectForRows(*q, connection);
        {
            // Done with before the list opens: some servers take one open
            // result per connection.
            OdbcStatement count(*q->c);
            Execute(count, "SELECT COUNT(*) FROM (" + sql + ") AS listed");
            if (!SQL_SUCCEEDED(SQLFetch(count.get()))) {
                count.Fail("Unable to count the rows");
            }
            q->count = static_cast<int32_t>(Val(ReadText(count, 1).value_or("0")));
        }
        q->st.emplace(*q->c);
        Execute(*q->st, sql);
        SQLSMALLINT columns = 0;
        SQLNumResultCols(q->st->get(), &columns);
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
            SQLCHAR name[256] = {0};
            SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            SQLDescribeCol(q->st->get(), i, name, sizeof name, &len, &type, &size, &digits,
                           &nullable);
            q->names.emplace_back(reinterpret_cast<char *>(name));
        }
        return q;
    });
    return Recordset(query);
}

} // namespace brevita
