#include "RegistryAPI.h"

#include "AppError.h"
#include "SafeFiles.h"
#include "modCommon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_map>

namespace brevita {

namespace {

constexpr const char *kHeader = "Windows Registry Editor Version 5.00";
constexpr const char *kHeader4 = "REGEDIT4";
constexpr size_t kMaxStringRead = 1024; // bytes, terminating null included
constexpr size_t kMaxBinaryRead = 4096;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// Brevita reads the store from its one thread, but the snapshot below is
// process-wide; each operation holds the lock throughout.
std::mutex g_lock;
uint64_t g_parses = 0;

// Where a value's line is in the document: a line of the file (and the
// continuation lines after it), or a line added after one of them.
struct Place {
    size_t line = 0;
    size_t count = 1;
    std::optional<size_t> added;
};

struct StoredValue {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
    Place place;
};

// Names are looked up through their lower-case forms, so that a key with
// thousands of values, or a store with thousands of keys, is read in time
// proportional to its size.
struct StoredKey {
    std::string path; // root name and sub-keys as written, e.g. HKEY_LOCAL_MACHINE\Software
    std::unordered_map<std::string, StoredValue> values;
    // The line of its last section after which a new value goes.
    std::optional<size_t> anchor;

    const StoredValue *Find(const std::string &name) const {
        auto it = values.find(AsciiLower(name));
        return it == values.end() ? nullptr : &it->second;
    }
};

// The keys and values that the file's lines leave, read in order as an
// import would apply them: a deleting line removes what came before it.
struct Store {
    std::map<std::string, StoredKey> keys; // by lower-case full path

    const StoredKey *Find(const std::string &full) const {
        auto it = keys.find(AsciiLower(full));
        return it == keys.end() ? nullptr : &it->second;
    }
    StoredKey &Slot(const std::string &full) {
        auto [it, added] = keys.try_emplace(AsciiLower(full));
        if (added) {
            it->second.path = full;
        }
        return it->second;
    }
    void Delete(const std::string &full) {
        const std::string lower = AsciiLower(full);
        keys.erase(lower);
        const std::string below = lower + '\\';
        auto it = keys.lower_bound(below);
        while (it != keys.end() && it->first.rfind(below, 0) == 0) {
            it = keys.erase(it);
        }
    }
    // A key exists when it has a section, or a section below it does, or it
    // is a root.
    bool Has(const std::string &full) const {
        if (full.find('\\') == std::string::npos) {
            return true;
        }
        const std::string lower = AsciiLower(full);
        if (keys.count(lower)) {
            return true;
        }
        const std::string below = lower + '\\';
        auto it = keys.lower_bound(below);
        return it != keys.end() && it->first.rfind(below, 0) == 0;
    }
};

enum class Encoding { Plain, Utf8Mark, Utf16LeMark };

// One line of the file as it was read, and the lines written after it since.
struct DocLine {
    std::string text;
    bool dropped = false;
    std::vector<std::string> added;
};

// The file as lines, so that what is written back keeps its comments, its
// order, its encoding and its line ends; and the store those lines make.
struct Document {
    Encoding encoding = Encoding::Plain;
    std::string lineEnd = "\r\n";
    bool finalLineEnd = true;
    std::vector<DocLine> lines;
    Store store;
};

// Why a file is no store: at line (from 1), or as a whole (line 0).
struct Fault {
    size_t line = 0;
    std::string reason;
};

struct Parsed {
    std::optional<Document> doc;
    Fault fault;
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

// A value line; deleting is set for "name"=-, which removes the value.
bool ParseValueLine(const std::string &line, StoredValue &v, bool &deleting) {
    size_t pos = 0;
    deleting = false;
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
    if (TrimLeft(data) == "-") {
        deleting = true;
        return true;
    }
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

// The full path of the key a "[root\sub\key]" or "[-root\sub\key]" line
// names; nothing when the line names none.
std::optional<std::string> SectionPath(const std::string &line, bool &deleting) {
    deleting = line.size() > 1 && line[1] == '-';
    const size_t from = deleting ? 2 : 1;
    if (line.back() != ']' || line.size() < from + 2) {
        return std::nullopt;
    }
    std::string path = line.substr(from, line.size() - from - 1);
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
bool JoinContinuedLines(const std::vector<DocLine> &lines, size_t &i, std::string &line) {
    if (line.back() != '\\' || line.find("=hex") == std::string::npos) {
        return true;
    }
    while (line.back() == '\\') {
        line.pop_back();
        if (++i >= lines.size()) {
            return false;
        }
        line += TrimLeft(TrimRight(lines[i].text));
    }
    return true;
}

// ---- encodings -------------------------------------------------------------

void AppendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE bytes as UTF-8; nothing for an odd length or a lone surrogate.
std::optional<std::string> FromUtf16Le(std::string_view in) {
    if (in.size() % 2) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(in.size() / 2);
    const auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(in[i]) | static_cast<uint8_t>(in[i + 1])
                                                                       << 8);
    };
    for (size_t i = 0; i < in.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00) {
            const uint32_t low = i + 3 < in.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c < 0xE000) {
            return std::nullopt;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// The text as UTF-16LE. Bytes that are no UTF-8 (a value may hold any)
// stand for the characters of the same number.
std::string ToUtf16Le(const std::string &in) {
    std::string out;
    out.reserve(in.size() * 2);
    const auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<uint8_t>(in[i]);
        const size_t n = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        uint32_t c = n == 4 ? b & 0x07 : n == 3 ? b & 0x0F : n == 2 ? b & 0x1F : b;
        bool valid = b < 0x80 || n > 1;
        for (size_t k = 1; valid && k < n; ++k) {
            const auto t = i + k < in.size() ? static_cast<uint8_t>(in[i + k]) : 0;
            valid = (t & 0xC0) == 0x80;
            c = c << 6 | (t & 0x3F);
        }
        valid = valid && !(n == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) &&
                !(n == 4 && (c < 0x10000 || c > 0x10FFFF));
        if (!valid) {
            put(b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
        i += n;
    }
    return out;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// ---- parsing the file ------------------------------------------------------

Parsed Refused(size_t line, std::string reason) {
    return {std::nullopt, {line, std::move(reason)}};
}

// The document the file's bytes make, or why they make none.
Parsed ParseStore(std::string_view bytes) {
    ++g_parses;
    Document doc;
    std::string text;
    if (bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
        doc.encoding = Encoding::Utf16LeMark;
        auto decoded = FromUtf16Le(bytes.substr(kUtf16LeMark.size()));
        if (!decoded) {
            return Refused(0, kNoRegistryFile);
        }
        text = std::move(*decoded);
    } else if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        doc.encoding = Encoding::Utf8Mark;
        text = bytes.substr(kUtf8Mark.size());
    } else {
        text = bytes;
    }
    if (text.find('\0') != std::string::npos) {
        return Refused(0, kNoRegistryFile);
    }
    const size_t firstEnd = text.find('\n');
    doc.lineEnd =
        firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    doc.finalLineEnd = text.empty() || text.back() == '\n';
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        doc.lines.push_back({std::move(line), false, {}});
        at = end + 1;
    }

    Store &store = doc.store;
    bool sawHeader = false;
    StoredKey *key = nullptr;
    bool underDeletedKey = false;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const size_t first = i;
        std::string line = TrimRight(doc.lines[i].text);
        if (TrimLeft(line).empty() || line[0] == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader && line != kHeader4) {
                return Refused(0, kNoRegistryFile);
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            bool deleting;
            auto full = SectionPath(line, deleting);
            if (!full) {
                return Refused(i + 1, "the key name is not valid");
            }
            if (deleting) {
                store.Delete(*full);
                key = nullptr;
                underDeletedKey = true;
            } else {
                key = &store.Slot(*full);
                key->anchor = i;
                underDeletedKey = false;
            }
            continue;
        }
        if (line[0] != '"' && line[0] != '@') {
            return Refused(i + 1, "it is no key, value or comment");
        }
        if (!key) {
            return Refused(i + 1, underDeletedKey ? "a value under a key that is deleted"
                                                  : "a value before the first key");
        }
        if (!JoinContinuedLines(doc.lines, i, line)) {
            return Refused(first + 1, "the value goes on past the end of the file");
        }
        StoredValue v;
        bool deleting;
        if (!ParseValueLine(line, v, deleting)) {
            return Refused(first + 1, "the value is not valid");
        }
        key->anchor = i;
        if (deleting) {
            key->values.erase(AsciiLower(v.name));
            continue;
        }
        // A name given twice keeps its last value, and is written where it
        // was last given.
        v.place = {first, i - first + 1, std::nullopt};
        key->values[AsciiLower(v.name)] = std::move(v);
    }
    if (!sawHeader) {
        // Nothing but blank lines: a store with nothing in it yet.
        doc.lines = {{kHeader, false, {}}, {"", false, {}}};
        doc.lineEnd = "\r\n";
        doc.finalLineEnd = true;
    }
    return {std::move(doc), {}};
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
    std::optional<std::string> text; // the bytes; nothing: unreadable
    Parsed parsed;
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

// The file's bytes, or nothing when it exists but cannot be read. No file
// yet (or a folder in its place) reads as an empty text.
std::optional<std::string> ReadStoreText(const OpenFile &in, const struct stat *st) {
    if (in.fd() < 0) {
        const bool missing = in.error() == ENOENT || in.error() == ENOTDIR;
        return missing ? std::optional<std::string>("") : std::nullopt;
    }
    if (st && S_ISDIR(st->st_mode)) {
        return "";
    }
    return ReadAll(in.fd());
}

// The store as the file holds it now: no document (and why) when the file
// exists but cannot be read or parsed, an empty store when there is no file
// yet. A start asks a dozen times, so the last store is kept: reused unread
// while the file's version is the one read, and unparsed while its text is.
const Parsed &LoadStore(const std::filesystem::path &file) {
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
        return last->parsed;
    }
    auto text = ReadStoreText(in, version ? &st : nullptr);
    if (!last || last->text != text) {
        g_last = Snapshot{
            file, {}, 0, text, text ? ParseStore(*text) : Refused(0, "the file cannot be read")};
        last = &*g_last;
    }
    last->version = version;
    last->readAtNs = startNs;
    return last->parsed;
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

std::string ValueLine(const std::string &name, uint32_t type, const std::vector<uint8_t> &data) {
    std::string out = name.empty() ? std::string("@") : Quote(name);
    out += '=';
    bool plainText = type == REG_SZ && !data.empty() && data.back() == 0 &&
                     std::none_of(data.begin(), data.end() - 1,
                                  [](uint8_t b) { return b == 0 || b == '\r' || b == '\n'; });
    if (plainText) {
        out += Quote(std::string(data.begin(), data.end() - 1));
    } else if (type == REG_DWORD && data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", DwordOf(data));
        out += buf;
    } else if (type == REG_BINARY) {
        out += "hex:" + HexList(data);
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", type);
        out += buf + HexList(data);
    }
    return out;
}

// The text of the last line the document writes.
std::string LastLine(const Document &doc) {
    for (auto it = doc.lines.rbegin(); it != doc.lines.rend(); ++it) {
        if (!it->added.empty()) {
            return it->added.back();
        }
        if (!it->dropped) {
            return it->text;
        }
    }
    return {};
}

// A new section of the key at the end, after a blank line.
void AppendSection(Document &doc, StoredKey &key) {
    if (!TrimLeft(TrimRight(LastLine(doc))).empty()) {
        doc.lines.push_back({"", false, {}});
    }
    doc.lines.push_back({"[" + key.path + "]", false, {}});
    key.anchor = doc.lines.size() - 1;
    doc.lines.push_back({"", false, {}});
}

// The value's line rewritten where it stands, or a new one at the end of
// the key's last section.
void PutValue(Document &doc, const std::string &full, const std::string &name, uint32_t type,
              std::vector<uint8_t> data) {
    StoredKey &key = doc.store.Slot(full);
    if (!key.anchor) {
        AppendSection(doc, key);
    }
    auto it = key.values.find(AsciiLower(name));
    if (it != key.values.end()) {
        StoredValue &v = it->second;
        const std::string line = ValueLine(v.name, type, data);
        Place &p = v.place;
        if (p.added) {
            doc.lines[p.line].added[*p.added] = line;
        } else {
            doc.lines[p.line].text = line;
            for (size_t k = 1; k < p.count; ++k) {
                doc.lines[p.line + k].dropped = true;
            }
            p.count = 1;
        }
        v.type = type;
        v.data = std::move(data);
        return;
    }
    DocLine &anchor = doc.lines[*key.anchor];
    anchor.added.push_back(ValueLine(name, type, data));
    key.values[AsciiLower(name)] = {
        name, type, std::move(data), {*key.anchor, 1, anchor.added.size() - 1}};
}

// The file's bytes, in the encoding and with the line ends it was read in.
std::string Serialise(const Document &doc) {
    std::string text;
    bool first = true;
    const auto put = [&](const std::string &line) {
        if (!first) {
            text += doc.lineEnd;
        }
        text += line;
        first = false;
    };
    for (const DocLine &line : doc.lines) {
        if (!line.dropped) {
            put(line.text);
        }
        for (const std::string &added : line.added) {
            put(added);
        }
    }
    if (doc.finalLineEnd && !first) {
        text += doc.lineEnd;
    }
    switch (doc.encoding) {
    case Encoding::Utf16LeMark:
        return std::string(kUtf16LeMark) + ToUtf16Le(text);
    case Encoding::Utf8Mark:
        return std::string(kUtf8Mark) + text;
    default:
        return text;
    }
}

// Written whole to a sibling file that is renamed into place, so the store
// is never left half-written. Once written it is what the file holds.
bool SaveStore(const std::filesystem::path &file, Document doc) {
    std::error_code ec;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    // A store that is a link to the real file is written where it points.
    const std::filesystem::path real =
        std::filesystem::is_symlink(file, ec) ? std::filesystem::canonical(file, ec) : file;
    std::string bytes = Serialise(doc);
    try {
        WriteFileAtomically(ec ? file : real, bytes);
    } catch (const AppError &) {
        return false;
    }
    g_last = Snapshot{file, std::nullopt, 0, std::move(bytes), Parsed{std::move(doc), {}}};
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

std::optional<RegistryFault> RegistryStoreFault() {
    std::lock_guard hold(g_lock);
    const Parsed &parsed = LoadStore(RegistryStorePath());
    if (parsed.doc) {
        return std::nullopt;
    }
    return RegistryFault{parsed.fault.line, parsed.fault.reason};
}

bool KeyExists(HKEY root, const std::string &keyPath) {
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        return false;
    }
    const auto &loaded = LoadStore(RegistryStorePath());
    return loaded.doc && loaded.doc->store.Has(*full);
}

bool CreateRegistryKey(HKEY root, const std::string &keyPath) {
    std::lock_guard hold(g_lock);
    auto full = FullKeyPath(root, keyPath);
    if (!full) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    auto file = RegistryStorePath();
    const auto &loaded = LoadStore(file);
    if (!loaded.doc) {
        RaiseError(ErrRaised, "Unable to create the registry key");
    }
    if (loaded.doc->store.Has(*full)) {
        return true;
    }
    Document doc = *loaded.doc;
    AppendSection(doc, doc.store.Slot(*full));
    if (!SaveStore(file, std::move(doc))) {
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
    const auto &loaded = LoadStore(RegistryStorePath());
    if (!loaded.doc || !loaded.doc->store.Has(*full)) {
        return defaultValue;
    }
    if (typeCode != REG_SZ && typeCode != REG_BINARY && typeCode != REG_DWORD) {
        RaiseError(ErrRaised, "Unsupported value type");
    }
    const StoredKey *key = loaded.doc->store.Find(*full);
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
    if (!loaded.doc || !loaded.doc->store.Has(*full)) {
        return;
    }
    StoredValue nv{valueName, static_cast<uint32_t>(typeCode), {}, {}};
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
    Document doc = *loaded.doc;
    PutValue(doc, *full, valueName, nv.type, std::move(nv.data));
    SaveStore(file, std::move(doc));
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
