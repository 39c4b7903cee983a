#pragma once
// Stored procedures through ODBC: each "@" parameter put where the
// procedure's declaration (as SQLProcedureColumns reports it) puts its name.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace brevita {

enum class ParamType { Guid, Integer, Boolean };
struct ProcParam {
    std::string name; // with its "@"
    ParamType type;
    std::variant<std::string, int32_t, bool> value;
};

// Calls the procedure once on a connection of its own, within the
// deadline, each parameter placed where the procedure's declaration puts
// its name and the declared ones not given left out, so that the server's
// defaults apply to them; any result is discarded. Raises 5 for a name that
// is not a plain identifier, 13 for a value its type cannot hold (a GUID
// that is not one), ErrDatabase for a parameter the procedure does not
// declare and for whatever the driver refuses.
void ExecuteProcedure(const std::string &connection, const std::string &procedure,
                      const std::vector<ProcParam> &params);

// The call escape for a procedure whose declared parameters are given or
// not, in declaration order: "{CALL p(?, , ?)}" for the first and third of
// four.
std::string ProcedureCallText(const std::string &procedure, const std::vector<bool> &given);

} // namespace brevita
