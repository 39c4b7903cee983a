#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "brevita/AppError.h"

namespace brevita_test {

// A fresh folder under the system's temporary folder, removed afterwards.
struct TempDir {
    std::filesystem::path dir = Make();
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    static std::filesystem::path Make() {
        std::string t = (std::filesystem::temp_directory_path() / "brevita-test-XXXXXX").string();
        if (!::mkdtemp(t.data()))
            std::abort();
        return t;
    }
    const std::filesystem::path &path() const { return dir; }
    std::filesystem::path operator/(const std::string &name) const { return dir / name; }
};

// Sets (or with nullopt unsets) a variable for the lifetime of a scope.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const std::optional<std::string> &value) : name(std::move(n)) {
        if (const char *v = std::getenv(name.c_str()))
            old = v;
        Set(value);
    }
    ~ScopedEnv() { Set(old); }
    void Set(const std::optional<std::string> &v) {
        v ? ::setenv(name.c_str(), v->c_str(), 1) : ::unsetenv(name.c_str());
    }
};

inline std::string ReadFile(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::filesystem::path &p, const std::string &text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The number of the AppError f raises (0 when none); its text goes to *why.
inline int32_t Raised(const std::function<void()> &f, std::string *why = nullptr) {
    try {
        f();
    } catch (const brevita::AppError &e) {
        if (why)
            *why = e.Description();
        return e.Number();
    }
    ADD_FAILURE() << "no error raised";
    return 0;
}

} // namespace brevita_test
