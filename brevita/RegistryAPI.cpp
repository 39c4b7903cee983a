#include "brevita/RegistryAPI.h"

#include "brevita/AppError.h"
#include "brevita/SafeFiles.h"
#include "brevita/modCommon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace brevita {

namespace {

constexpr const char *kHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kMaxStringRead = 1024; // bytes, terminating null included
constexpr size_t kMaxBinaryRead = 4096;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct StoredValue {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
};

struct StoredKey {
    std::string path; // root name and sub-keys as written, e.g. HKEY_LOCAL_MACHINE\Software
    std::vector<StoredValue> values;
};

struct Store {
    std::vector<StoredKey> keys;
};

bool SameName(const std::string &a, const std::string &b) {
    return AsciiLower(a) == AsciiLower(b);
}

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

std::optional<HKEY> RootNamed(const std::string &name) {
    for (const Root &r : kRoots) {
        if (SameName(name, r.name)) {
            return r.key;
        }
    }
    return std::nullopt;
}

bool HasControl(const std::string &s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The full path of a key, or nothing when the path cannot name a key. One
// trailing backslash is allowed; the empty path is the root itself.
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

// ---- parsing ---------------------------------------------------------------

bool ParseHexDigit(char c, int &v) {
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    } else {
        return false;
    }
    return true;
}

// A dword value as the store keeps it: four bytes, least significant first
// (fewer bytes read as if the missing ones were 0).
std::vector<uint8_t> DwordBytes(uint32_t n) {
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
}

uint32_t DwordOf(const std::vector<uint8_t> &data) {
    uint32_t n = 0;
    for (size_t i = std::min<size_t>(data.size(), 4); i > 0; --i) {
        n = n << 8 | data[i - 1];
    }
    return n;
}

// One to eight hexadecimal digits as a number; nothing for any other text.
std::optional<uint32_t> ParseHexNumber(const std::string &digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t n = 0;
    for (char c : digits) {
        int d;
        if (!ParseHexDigit(c, d)) {
            return std::nullopt;
        }
        n = n * 16 + static_cast<uint32_t>(d);
    }
    return n;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.pop_back();
    }
    return s;
}

std::string TrimLeft(const std::string &s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
        ++i;
    }
    return s.substr(i);
}

// A quoted string at s[pos] ("..." with \\ and \" escapes); pos ends after it.
bool ParseQuoted(const std::string &s, size_t &pos, std::string &out) {
    if (pos >= s.size() || s[pos] != '"') {
        return false;
    }
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= s.size() || (s[pos] != '\\' && s[pos] != '"')) {
                return false;
            }
            c = s[pos];
        }
        out += c;
    }
    return false;
}

// "xx,xx,..." with blanks around the bytes; one pass, since a long value
// makes a long line.
bool ParseHexBytes(const std::string &text, std::vector<uint8_t> &out) {
    out.clear();
    const std::string t = TrimRight(text);
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) {
            ++i;
        }
    };
    skipBlanks();
    if (i == t.size()) {
        return true;
    }
    while (true) {
        skipBlanks();
        int hi, lo;
        if (i + 2 > t.size() || !ParseHexDigit(t[i], hi) || !ParseHexDigit(t[i + 1], lo)) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        skipBlanks();
        if (i == t.size()) {
            return true;
        }
        if (t[i] != ',') {
            return false;
        }
        ++i;
    }
}

bool ParseValueLine(const std::string &line, StoredValue &v) {
    size_t pos = 0;
    if (line[0] == '@') {
        v.name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, pos, v.name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        return false;
    }
    std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
        size_t p = 0;
        std::string text;
        if (!ParseQuoted(data, p, text) || !TrimLeft(data.substr(p)).empty()) {
            return false;
        }
        v.type = REG_SZ;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
        return true;
    }
    if (data.rfind("dword:", 0) == 0) {
        auto n = ParseHexNumber(TrimLeft(TrimRight(data.substr(6))));
        if (!n) {
            return false;
        }
        v.type = REG_DWORD;
        v.data = DwordBytes(*n);
        return true;
    }
    if (data.rfind("hex", 0) == 0) {
        size_t colon = data.find(':');
        if (colon == std::string::npos) {
            return false;
        }
        std::string kind = data.substr(3, colon - 3);
        if (kind.empty()) {
            v.type = REG_BINARY;
        } else {
            auto type = kind.size() >= 2 && kind.front() == '(' && kind.back() == ')'
                            ? ParseHexNumber(kind.substr(1, kind.size() - 2))
                            : std::nullopt;
            if (!type) {
                return false;
            }
            v.type = *type;
        }
        return ParseHexBytes(data.substr(colon + 1), v.data);
    }
    return false;
}

StoredKey *FindKey(Store &store, const std::string &full) {
    for (auto &k : store.keys) {
        if (SameName(k.path, full)) {
            return &k;
        }
    }
    return nullptr;
}

template <class Key> auto FindValue(Key &key, const std::string &name) {
    return std::find_if(key.values.begin(), key.values.end(),
                        [&](const StoredValue &v) { return SameName(v.name, name); });
}

// The file's text without a byte order mark, or nothing when it exists but
// cannot be read or is not text. No file yet reads as an empty text.
std::optional<std::string> ReadStoreText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::error_code ec;
        bool exists = std::filesystem::exists(file, ec);
        return (!exists && !ec) ? std::optional<std::string>("") : std::nullopt;
    }
    std::stringstream buf;
    buf << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    std::string text = buf.str();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    if (text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

// The full path of the key a "[root\sub\key]" line opens; nothing when the
// line does not open one.
std::optional<std::string> SectionPath(const std::string &line) {
    if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
        return std::nullopt;
    }
    std::string path = line.substr(1, line.size() - 2);
    size_t slash = path.find('\\');
    auto root = RootNamed(path.substr(0, slash));
    if (!root) {
        return std::nullopt;
    }
    return FullKeyPath(*root, slash == std::string::npos ? "" : path.substr(slash + 1));
}

// Long hex values continue on the next lines after a backslash; joins them
// onto line, moving i to the last line used. False when the file ends first.
bool JoinContinuedLines(const std::vector<std::string> &lines, size_t &i, std::string &line) {
    while (line.back() == '\\' && line.find("=hex") != std::string::npos) {
        line.pop_back();
        if (++i >= lines.size()) {
            return false;
        }
        line += TrimLeft(lines[i]);
    }
    return true;
}

// Nothing when the file exists but cannot be read or parsed; an empty store
// when there is no file yet.
std::optional<Store> LoadStore(const std::filesystem::path &file) {
    auto text = ReadStoreText(file);
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::istringstream ls(*text);
    for (std::string l; std::getline(ls, l);) {
        lines.push_back(TrimRight(l));
    }

    Store store;
    bool sawHeader = false;
    StoredKey *key = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (TrimLeft(line).empty() || line[0] == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader) {
                return std::nullopt;
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            auto full = SectionPath(line);
            if (!full) {
                return std::nullopt;
            }
            key = FindKey(store, *full);
            if (!key) {
                store.keys.push_back({*full, {}});
                key = &store.keys.back();
            }
            continue;
        }
        StoredValue v;
        if (!key || !JoinContinuedLines(lines, i, line) || !ParseValueLine(line, v)) {
            return std::nullopt;
        }
        auto same = FindValue(*key, v.name);
        if (same != key->values.end()) {
            *same = std::move(v);
        } else {
            key->values.push_back(std::move(v));
        }
    }
    return store;
}

// ---- writing ---------------------------------------------------------------

std::string Quote(const std::string &s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + '"';
}

std::string HexList(const std::vector<uint8_t> &data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) {
            out += ',';
        }
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string Serialise(const Store &store) {
    std::string out = std::string(kHeader) + "\r\n\r\n";
    for (const auto &k : store.keys) {
        out += "[" + k.path + "]\r\n";
        for (const auto &v : k.values) {
            out += v.name.empty() ? std::string("@") : Quote(v.name);
            out += '=';
            bool plainText = v.type == REG_SZ && !v.data.empty() && v.data.back() == 0 &&
                             std::none_of(v.data.begin(), v.data.end() - 1, [](uint8_t b) {
                                 return b == 0 || b == '\r' || b == '\n';
                             });
            if (plainText) {
                out += Quote(std::string(v.data.begin(), v.data.end() - 1));
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", DwordOf(v.data));
                out += buf;
            } else if (v.type == REG_BINARY) {
                out += "hex:" + HexList(v.data);
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                out += buf + HexList(v.data);
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

// Written whole to a sibling file that is renamed into place, so the store
// is never left half-written.
bool SaveStore(const std::filesystem::path &file, const Store &store) {
    std::error_code ec;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    // A store that is a link to the real file is written where it points.
    const std::filesystem::path real =
        std::filesystem::is_symlink(file, ec) ? std::filesystem::canonical(file, ec) : file;
    try {
        WriteFileAtomically(ec ? file : real, Serialise(store));
        return true;
    } catch (const AppError &) {
        return false;
    }
}

// A key exists when it has a section, or a section below it does, or it is
// a root.
bool KeyInStore(const Store &store, const std::string &full) {
    if (full.find('\\') == std::string::npos) {
        return true;
    }
    std::string lower = AsciiLower(full);
    for (const auto &k : store.keys) {
        std::string kl = AsciiLower(k.path);
        if (kl == lower || kl.rfind(lower + "\\", 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

std::filesystem::path RegistryStorePath() {
    const char *env = std::getenv("BREVITA_REGISTRY");
    return (env && *env) ? std::filesystem::path(env)
                         : std::filesystem::path("/etc/brevita/registry.reg");
}

bool KeyExists(HKEY root, const std::string &keyPath) {
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        return false;
    }
    auto store = LoadStore(RegistryStorePath());
    return store && KeyInStore(*store, *full);
}

bool CreateRegistryKey(HKEY root, const std::string &keyPath) {
    auto full = FullKeyPath(root, keyPath);
    auto file = RegistryStorePath();
    auto store = full ? LoadStore(file) : std::nullopt;
    if (!store) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    if (KeyInStore(*store, *full)) {
        return true;
    }
    store->keys.push_back({*full, {}});
    if (!SaveStore(file, *store)) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    return false;
}

RegValue GetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                          int32_t typeCode, const RegValue &defaultValue) {
    auto full = FullKeyPath(root, keyPath);
    auto store = full ? LoadStore(RegistryStorePath()) : std::nullopt;
    if (!store || !KeyInStore(*store, *full)) {
        return defaultValue;
    }
    if (typeCode != REG_SZ && typeCode != REG_BINARY && typeCode != REG_DWORD) {
        RaiseError(ErrRaised, "Unsupported value type");
    }
    const StoredKey *key = FindKey(*store, *full);
    if (!key) {
        return defaultValue;
    }
    auto v = FindValue(*key, valueName);
    if (v == key->values.end()) {
        return defaultValue;
    }
    // Only the buffer sizes matter; the stored type is not checked.
    const auto &data = v->data;
    switch (typeCode) {
    case REG_SZ: {
        if (data.size() > kMaxStringRead) {
            return defaultValue;
        }
        std::string s(data.begin(), data.end());
        if (!s.empty() && s.back() == '\0') {
            s.pop_back();
        }
        return s;
    }
    case REG_BINARY:
        if (data.size() > kMaxBinaryRead) {
            return defaultValue;
        }
        return data;
    default: {
        if (data.size() > 4) {
            return defaultValue;
        }
        return static_cast<int32_t>(DwordOf(data));
    }
    }
}

void SetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                      int32_t typeCode, const RegValue &value) {
    auto full = FullKeyPath(root, keyPath);
    if (!full || valueName.size() > kMaxValueNameLength || HasControl(valueName)) {
        return;
    }
    auto file = RegistryStorePath();
    auto store = LoadStore(file);
    if (!store || !KeyInStore(*store, *full)) {
        return;
    }
    StoredValue nv{valueName, static_cast<uint32_t>(typeCode), {}};
    switch (typeCode) {
    case REG_SZ: {
        std::string s;
        if (auto *t = std::get_if<std::string>(&value)) {
            s = *t;
        } else if (auto *n = std::get_if<int32_t>(&value)) {
            s = std::to_string(*n);
        } else if (auto *b = std::get_if<std::vector<uint8_t>>(&value)) {
            s.assign(b->begin(), b->end());
        }
        nv.data.assign(s.begin(), s.end());
        nv.data.push_back(0);
        break;
    }
    case REG_BINARY:
        if (auto *b = std::get_if<std::vector<uint8_t>>(&value)) {
            nv.data = *b;
        } else if (auto *t = std::get_if<std::string>(&value)) {
            nv.data.assign(t->begin(), t->end());
        } else {
            return;
        }
        break;
    case REG_DWORD: {
        int32_t n;
        try {
            n = RegValueLong(value);
        } catch (const AppError &) {
            return;
        }
        nv.data = DwordBytes(static_cast<uint32_t>(n));
        break;
    }
    default:
        return;
    }
    StoredKey *key = FindKey(*store, *full);
    if (!key) {
        store->keys.push_back({*full, {}});
        key = &store->keys.back();
    }
    auto same = FindValue(*key, valueName);
    if (same != key->values.end()) {
        same->type = nv.type;
        same->data = std::move(nv.data);
    } else {
        key->values.push_back(std::move(nv));
    }
    SaveStore(file, *store);
}

std::string RegValueText(const RegValue &value) {
    if (auto *t = std::get_if<std::string>(&value)) {
        return *t;
    }
    if (auto *n = std::get_if<int32_t>(&value)) {
        return std::to_string(*n);
    }
    if (auto *b = std::get_if<std::vector<uint8_t>>(&value)) {
        return std::string(b->begin(), b->end());
    }
    return {};
}

int32_t RegValueLong(const RegValue &value) {
    if (auto *n = std::get_if<int32_t>(&value)) {
        return *n;
    }
    if (std::holds_alternative<std::monostate>(value)) {
        return 0;
    }
    if (auto *t = std::get_if<std::string>(&value)) {
        bool overflow;
        if (auto n = ParseWholeNumber(*t, overflow)) {
            return *n;
        }
        if (overflow) {
            RaiseError(ErrOverflow, "Overflow");
        }
    }
    RaiseError(ErrTypeMismatch, "Type mismatch");
}

} // namespace brevita
