#include "brevita/RegistryAPI.h"

#include "brevita/AppError.h"
#include "brevita/SafeFiles.h"
#include "brevita/modCommon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_map>

namespace brevita {

namespace {

constexpr const char *kHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kMaxStringRead = 1024; // bytes, terminating null included
constexpr size_t kMaxBinaryRead = 4096;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// Brevita reads the store from its one thread, but the snapshot below is
// process-wide; each operation holds the lock throughout.
std::mutex g_lock;
uint64_t g_parses = 0;

struct StoredValue {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
};

// Names are looked up through an index of their lower-case forms, so that a
// key with thousands of values, or a store with thousands of keys, is read
// in time proportional to its size.
struct StoredKey {
    std::string path; // root name and sub-keys as written, e.g. HKEY_LOCAL_MACHINE\Software
    std::vector<StoredValue> values;
    std::unordered_map<std::string, size_t> index;

    const StoredValue *Find(const std::string &name) const {
        auto it = index.find(AsciiLower(name));
        return it == index.end() ? nullptr : &values[it->second];
    }
    // The value of that name; a new one, so named, at the end when there is
    // none yet.
    StoredValue &Slot(const std::string &name) {
        auto [it, added] = index.try_emplace(AsciiLower(name), values.size());
        if (added) {
            values.push_back({name, REG_SZ, {}});
        }
        return values[it->second];
    }
};

struct Store {
    std::vector<StoredKey> keys;
    std::unordered_map<std::string, size_t> index;

    const StoredKey *Find(const std::string &full) const {
        auto it = index.find(AsciiLower(full));
        return it == index.end() ? nullptr : &keys[it->second];
    }
    StoredKey &Slot(const std::string &full) {
        auto [it, added] = index.try_emplace(AsciiLower(full), keys.size());
        if (added) {
            keys.push_back({full, {}, {}});
        }
        return keys[it->second];
    }
    // A key exists when it has a section, or a section below it does, or it
    // is a root.
    bool Has(const std::string &full) const {
        if (full.find('\\') == std::string::npos) {
            return true;
        }
        const std::string lower = AsciiLower(full);
        if (index.count(lower)) {
            return true;
        }
        const std::string below = lower + '\\';
        return std::any_of(index.begin(), index.end(),
                           [&](const auto &entry) { return entry.first.rfind(below, 0) == 0; });
    }
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
// The line is searched once: a value of many lines makes it long.
bool JoinContinuedLines(const std::vector<std::string> &lines, size_t &i, std::string &line) {
    if (line.back() != '\\' || line.find("=hex") == std::string::npos) {
        return true;
    }
    while (line.back() == '\\') {
        line.pop_back();
        if (++i >= lines.size()) {
            return false;
        }
        line += TrimLeft(lines[i]);
    }
    return true;
}

// Nothing when the text is no store.
std::optional<Store> ParseStore(const std::string &text) {
    ++g_parses;
    std::vector<std::string> lines;
    std::istringstream ls(text);
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
            key = &store.Slot(*full);
            continue;
        }
        StoredValue v;
        if (!key || !JoinContinuedLines(lines, i, line) || !ParseValueLine(line, v)) {
            return std::nullopt;
        }
        // A name given twice keeps its first place and its last value.
        key->Slot(v.name) = std::move(v);
    }
    return store;
}

// ---- the file --------------------------------------------------------------

// Tells one version of the store file from another: replacing, rewriting,
// truncating or touching it changes at least one of these. The change time
// is among them because no one can set it back.
struct FileVersion {
    dev_t device;
    ino_t inode;
    off_t size;
    int64_t modifiedNs, changedNs;
    bool operator==(const FileVersion &) const = default;
};

FileVersion VersionOf(const struct stat &st) {
    const auto ns = [](const timespec &t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    return {st.st_dev, st.st_ino, st.st_size, ns(st.st_mtim), ns(st.st_ctim)};
}

// Time stamps are coarse: a file changed again within the same tick keeps
// its version. A version is trusted only when the file's last change was
// this long before it was read.
constexpr int64_t kStampGrainNs = 2'000'000'000;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What the store file held when it was last read, and what that parsed to.
struct Snapshot {
    std::filesystem::path file;
    std::optional<FileVersion> version; // nothing: unknown, compare the text
    int64_t readAtNs = 0;
    std::optional<std::string> text; // nothing: unreadable, or no text
    std::optional<Store> store;
};

std::optional<Snapshot> g_last;

class OpenFile {
  public:
    explicit OpenFile(const std::filesystem::path &file)
        : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC)), errno_(errno) {}
    ~OpenFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    int fd() const { return fd_; }
    int error() const { return errno_; }

  private:
    int fd_;
    int errno_;
};

std::optional<std::string> ReadAll(int fd) {
    std::string out;
    char buf[1 << 16];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            return out;
        } else if (errno != EINTR) {
            return std::nullopt;
        }
    }
}

// The file's text without a byte order mark, or nothing when it exists but
// cannot be read or is not text. No file yet (or a folder in its place)
// reads as an empty text.
std::optional<std::string> ReadStoreText(const OpenFile &in, const struct stat *st) {
    if (in.fd() < 0) {
        const bool missing = in.error() == ENOENT || in.error() == ENOTDIR;
        return missing ? std::optional<std::string>("") : std::nullopt;
    }
    if (st && S_ISDIR(st->st_mode)) {
        return "";
    }
    auto text = ReadAll(in.fd());
    if (!text) {
        return std::nullopt;
    }
    if (text->rfind("\xEF\xBB\xBF", 0) == 0) {
        text->erase(0, 3);
    }
    if (text->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

// The store as the file holds it now: nothing when the file exists but
// cannot be read or parsed, an empty store when there is no file yet. A
// start asks a dozen times, so the last store is kept: reused unread while
// the file's version is the one read, and unparsed while its text is.
const std::optional<Store> &LoadStore(const std::filesystem::path &file) {
    const int64_t startNs = NowNs();
    const OpenFile in(file);
    struct stat st;
    std::optional<FileVersion> version;
    if (in.fd() >= 0 && ::fstat(in.fd(), &st) == 0) {
        version = VersionOf(st);
    }
    Snapshot *last = g_last && g_last->file == file ? &*g_last : nullptr;
    if (last && version && last->version == version &&
        version->changedNs < last->readAtNs - kStampGrainNs) {
        return last->store;
    }
    auto text = ReadStoreText(in, version ? &st : nullptr);
    if (!last || last->text != text) {
        g_last = Snapshot{file, {}, 0, text, text ? ParseStore(*text) : std::nullopt};
        last = &*g_last;
    }
    last->version = version;
    last->readAtNs = startNs;
    return last->store;
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
// is never left half-written. Once written it is what the file holds.
bool SaveStore(const std::filesystem::path &file, Store store) {
    std::error_code ec;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    // A store that is a link to the real file is written where it points.
    const std::filesystem::path real =
        std::filesystem::is_symlink(file, ec) ? std::filesystem::canonical(file, ec) : file;
    std::string text = Serialise(store);
    try {
        WriteFileAtomically(ec ? file : real, text);
    } catch (const AppError &) {
        return false;
    }
    g_last = Snapshot{file, std::nullopt, 0, std::move(text), std::move(store)};
    return true;
}

} // namespace

std::filesystem::path RegistryStorePath() {
    const char *env = std::getenv("BREVITA_REGISTRY");
    return (env && *env) ? std::filesystem::path(env)
                         : std::filesystem::path("/etc/brevita/registry.reg");
}

uint64_t RegistryStoreParses() {
    std::lock_guard hold(g_lock);
    return g_parses;
}

bool KeyExists(HKEY root, const std::string &keyPath) {
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        return false;
    }
    const auto &store = LoadStore(RegistryStorePath());
    return store && store->Has(*full);
}

bool CreateRegistryKey(HKEY root, const std::string &keyPath) {
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    auto file = RegistryStorePath();
    const auto &loaded = LoadStore(file);
    if (!loaded) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    if (loaded->Has(*full)) {
        return true;
    }
    Store store = *loaded;
    store.Slot(*full);
    if (!SaveStore(file, std::move(store))) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    return false;
}

RegValue GetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                          int32_t typeCode, const RegValue &defaultValue) {
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        return defaultValue;
    }
    const auto &store = LoadStore(RegistryStorePath());
    if (!store || !store->Has(*full)) {
        return defaultValue;
    }
    if (typeCode != REG_SZ && typeCode != REG_BINARY && typeCode != REG_DWORD) {
        RaiseError(ErrRaised, "Unsupported value type");
    }
    const StoredKey *key = store->Find(*full);
    const StoredValue *v = key ? key->Find(valueName) : nullptr;
    if (!v) {
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
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full || valueName.size() > kMaxValueNameLength || HasControl(valueName)) {
        return;
    }
    auto file = RegistryStorePath();
    const auto &loaded = LoadStore(file);
    if (!loaded || !loaded->Has(*full)) {
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
    Store store = *loaded;
    StoredValue &slot = store.Slot(*full).Slot(valueName);
    slot.type = nv.type;
    slot.data = std::move(nv.data);
    SaveStore(file, std::move(store));
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
