#include "ConnectionString.h"

#include "modCommon.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace brevita {

std::string DbConnectionString;

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

} // namespace brevita
