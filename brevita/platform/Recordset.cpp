#include "Recordset.h"

#include "Messages.h"
#include "AppError.h"
#include "DbDeadline.h"
#include "OdbcHandles.h"
#include "modCommon.h"

namespace brevita {

Recordset::Recordset(std::vector<std::string> names,
                     std::vector<std::vector<std::optional<std::string>>> rows)
    : names_(std::move(names)), rows_(std::move(rows)) {}

void Recordset::MoveNext() {
    if (AtEnd()) {
        RaiseError(ErrDatabase, QT_TRANSLATE_NOOP("Brevita", "No current record"));
    }
    ++pos_;
}

std::optional<std::string> Recordset::Field(Column column) const {
    if (AtEnd()) {
        RaiseError(ErrDatabase, QT_TRANSLATE_NOOP("Brevita", "No current record"));
    }
    const std::string wanted = AsciiLower(ColumnName(column));
    for (size_t i = 0; i < names_.size(); ++i) {
        if (AsciiLower(names_[i]) == wanted) {
            return rows_[pos_][i];
        }
    }
    RaiseError(ErrDatabase, FillMessage(QT_TRANSLATE_NOOP("Brevita", "No field named %1"),
                                        {std::string(ColumnName(column))}));
}

namespace {

Recordset OpenQueryNow(const std::string &connection, const std::string &sql) {
    OdbcConnection c(connection);
    OdbcStatement st(c);
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

} // namespace

Recordset OpenQuery(const std::string &connection, const std::string &sql) {
    return WithDeadline([connection, sql] { return OpenQueryNow(connection, sql); });
}

} // namespace brevita
