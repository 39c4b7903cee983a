#include "PgServer.h"
#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace brevita_test {

namespace {

const std::string kScript = BREVITA_PGSERVER_SCRIPT;

std::string Run(const std::string &command) {
    std::string out;
    if (RunCommand(command, &out) != 0)
        throw std::runtime_error(command + " failed: " + out);
    return out;
}

bool LoadEnv(const std::string &file) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            ::setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
    return bool(in.is_open());
}

// A failure here must fail the tests: a fatal assertion in an environment's
// set-up makes GoogleTest skip them, and ctest counts skipped as passed.
[[noreturn]] void SetUpFailed(const std::string &why) {
    std::fprintf(stderr, "database test server: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

struct PgEnvironment : ::testing::Environment {
    std::string own;
    void SetUp() override {
        // Nothing of the user's own ODBC set-up or PostgreSQL settings applies.
        for (const char *v : {"PGDATABASE", "PGPASSWORD", "PGSERVICE", "PGOPTIONS", "DSN"})
            ::unsetenv(v);
        if (const char *shared = std::getenv("BREVITA_PG_ENV")) {
            if (!LoadEnv(shared))
                SetUpFailed(std::string("no settings at ") + shared);
            return;
        }
        std::string tmpl = (std::filesystem::temp_directory_path() / "brevita-pg-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            SetUpFailed("no temporary folder");
        own = tmpl;
        try {
            Run("timeout 300 " + kScript + " start '" + own + "' 2>&1");
        } catch (const std::exception &e) {
            SetUpFailed(e.what());
        }
        if (!LoadEnv(own + "/env"))
            SetUpFailed("the server wrote no settings");
    }
    void TearDown() override {
        if (!own.empty() &&
            std::system(
                ("timeout 120 " + kScript + " stop '" + own + "' >/dev/null 2>&1").c_str()) != 0)
            std::fprintf(stderr, "the test server in %s did not stop\n", own.c_str());
    }
};

[[maybe_unused]] auto *const registered = ::testing::AddGlobalTestEnvironment(new PgEnvironment);

} // namespace

std::string Psql(const std::string &sql) {
    std::string quoted;
    for (char c : sql)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return Run("LC_ALL=C.UTF-8 timeout 60 psql -X -q -At -v ON_ERROR_STOP=1 -d CorvoxDb -c '" +
               quoted + "' 2>&1");
}

} // namespace brevita_test
