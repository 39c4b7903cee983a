#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AppError.h"
#include "RecordingPrompt.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

// For EXPECT_PRED2, which shows both on failure.
inline bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// Every name under dir, relative to it.
inline std::set<std::string> Names(const std::filesystem::path &dir) {
    std::set<std::string> out;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
        out.insert(e.path().lexically_relative(dir).string());
    return out;
}

// The exit status of a shell command (-1 when it did not exit); *out gets
// what it printed.
inline int RunCommand(const std::string &command, std::string *out) {
    out->clear();
    std::FILE *p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out->append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A section of a registry file as the store writes it.
inline std::string Section(const std::string &key, const std::vector<std::string> &values) {
    std::string out = "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
    for (const auto &v : values)
        out += v + "\r\n";
    return out + "\r\n";
}

// A store naming a Corvox 4.0(2.0) server installed at root (with its final
// "/"); the store's settings key follows when settings are given.
inline std::string ServerRegistry(const std::string &root, const std::string &settings = "") {
    std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\]\r\n"
                      "\"Version Number\"=dword:00040000\r\n"
                      "\"Build Number\"=dword:00020000\r\n\r\n";
    if (!root.empty())
        reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ostrel\\1.0]\r\n\"Root Path\"=\"" + root +
               "\"\r\n\r\n";
    if (!settings.empty())
        reg += "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Brevita]\r\n" + settings;
    return reg;
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

// A loopback TCP socket on a free port, listening or (closed) with nothing there.
inline int LoopbackPort(bool listening, int *fd) {
    *fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(::bind(*fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ::getsockname(*fd, reinterpret_cast<sockaddr *>(&a), &len);
    EXPECT_EQ(listening ? ::listen(*fd, 4) : ::close(*fd), 0);
    return ntohs(a.sin_port);
}

} // namespace brevita_test
