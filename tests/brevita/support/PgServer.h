#pragma once
// The PostgreSQL server the database tests talk to. Under ctest one server
// is shared (BREVITA_PG_ENV names the settings file its fixture wrote);
// run by hand, the test program starts its own and stops it at the end.

#include <string>

namespace brevita_test {

// Runs SQL through psql against CorvoxDb; its output, rows as a|b lines.
std::string Psql(const std::string &sql);

} // namespace brevita_test
