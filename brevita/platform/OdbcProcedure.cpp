#include "OdbcProcedure.h"

#include "Messages.h"
#include "AppError.h"
#include "DbDeadline.h"
#include "OdbcHandles.h"
#include "modCommon.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace brevita {

namespace {

struct DeclaredParam {
    std::string name;
    SQLSMALLINT position;
};

// The procedure's parameters as its declaration lists them (return value and
// result columns left out).
std::vector<DeclaredParam> DeclaredParams(const OdbcConnection &c, const std::string &procedure) {
    std::vector<DeclaredParam> found;
    // Identifier lookup folds case as the server does; failing that, the
    // name as given.
    for (bool identifier : {true, false}) {
        OdbcStatement st(c);
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
        RaiseError(
            ErrInvalidCall,
            FillMessage(QT_TRANSLATE_NOOP("Brevita", "Invalid procedure name %1"), {procedure}));
    }
}

// A procedure's declaration does not change during a run, and reading it
// costs more than the call itself.
const std::vector<DeclaredParam> &
Declaration(const OdbcConnection &c, const std::string &connection, const std::string &procedure) {
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
            RaiseError(ErrTypeMismatch, QT_TRANSLATE_NOOP("Brevita", "Type mismatch"));
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
            RaiseError(ErrTypeMismatch, QT_TRANSLATE_NOOP("Brevita", "Type mismatch"));
        }
        break;
    case ParamType::Boolean:
        if (const auto *f = std::get_if<bool>(&p.value)) {
            b.bit = *f ? 1 : 0;
        } else if (const auto *n = std::get_if<int32_t>(&p.value)) {
            b.bit = *n != 0 ? 1 : 0;
        } else {
            RaiseError(ErrTypeMismatch, QT_TRANSLATE_NOOP("Brevita", "Type mismatch"));
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
            RaiseError(ErrDatabase,
                       FillMessage(QT_TRANSLATE_NOOP("Brevita", "Procedure %1 has no parameter %2"),
                                   {procedure, p.name}));
        }
        SetValue(bound[static_cast<size_t>(d->position - 1)], p);
    }
    return bound;
}

// Markers are numbered over the given parameters only: the call text
// leaves the others out.
void BindParams(const OdbcStatement &st, std::vector<BoundParam> &bound,
                const std::string &procedure) {
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

void ExecuteProcedureNow(const std::string &connection, const std::string &procedure,
                         const std::vector<ProcParam> &params) {
    CheckProcedureName(procedure);
    OdbcConnection c(connection);
    const auto &declared = Declaration(c, connection, procedure);
    if (declared.empty() && !params.empty()) {
        RaiseError(ErrDatabase, FillMessage(QT_TRANSLATE_NOOP(
                                                "Brevita", "No procedure named %1 with parameters"),
                                            {procedure}));
    }
    std::vector<BoundParam> bound = ArrangeParams(declared, params, procedure);
    OdbcStatement st(c);
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

void ExecuteProcedure(const std::string &connection, const std::string &procedure,
                      const std::vector<ProcParam> &params) {
    RunWithDeadline(
        [connection, procedure, params] { ExecuteProcedureNow(connection, procedure, params); });
}

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

} // namespace brevita
