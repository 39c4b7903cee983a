#include "RegKeyPath.h"

#include "modCommon.h"

#include <algorithm>

namespace brevita::regfile {

namespace {

constexpr size_t kMaxKeyNameLength = 255;

struct Root {
    HKEY key;
    const char *name;
};

constexpr Root kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

const char *RootName(HKEY root) {
    for (const Root &r : kRoots) {
        if (r.key == root) {
            return r.name;
        }
    }
    return nullptr;
}

} // namespace

bool HasControl(const std::string &s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::optional<HKEY> RootNamed(const std::string &name) {
    const std::string lower = AsciiLower(name);
    for (const Root &r : kRoots) {
        if (lower == AsciiLower(r.name)) {
            return r.key;
        }
    }
    return std::nullopt;
}

std::optional<std::string> FullKeyPath(HKEY root, std::string keyPath) {
    const char *rootName = RootName(root);
    if (!rootName) {
        return std::nullopt;
    }
    if (!keyPath.empty() && keyPath.back() == '\\') {
        keyPath.pop_back();
    }
    std::string full = rootName;
    if (keyPath.empty()) {
        return full;
    }
    size_t start = 0;
    while (true) {
        size_t end = keyPath.find('\\', start);
        std::string part = keyPath.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || part.size() > kMaxKeyNameLength || HasControl(part)) {
            return std::nullopt;
        }
        full += '\\';
        full += part;
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return full;
}

} // namespace brevita::regfile
