#include "RegFileParser.h"

#include "Messages.h"
#include "RegKeyPath.h"
#include "modCommon.h"

namespace brevita::regfile {

namespace {

constexpr const char *kHeader = "Windows Registry Editor Version 5.00";
constexpr const char *kHeader4 = "REGEDIT4";

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

Parsed Refused(size_t line, std::string reason) {
    return {std::nullopt, {line, std::move(reason)}};
}

} // namespace

Parsed ParseStore(std::string_view bytes) {
    auto decoded = DecodeStoreBytes(bytes);
    if (!decoded) {
        return Refused(0, kNoRegistryFile);
    }
    Document doc;
    doc.encoding = decoded->encoding;
    std::string text = std::move(decoded->text);
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
        if (IsBlankLine(line) || line[0] == ';') {
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
                return Refused(i + 1, QT_TRANSLATE_NOOP("Brevita", "the key name is not valid"));
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
            return Refused(i + 1, QT_TRANSLATE_NOOP("Brevita", "it is no key, value or comment"));
        }
        if (!key) {
            return Refused(i + 1,
                           underDeletedKey
                               ? QT_TRANSLATE_NOOP("Brevita", "a value under a key that is deleted")
                               : QT_TRANSLATE_NOOP("Brevita", "a value before the first key"));
        }
        if (!JoinContinuedLines(doc.lines, i, line)) {
            return Refused(first + 1, QT_TRANSLATE_NOOP(
                                          "Brevita", "the value goes on past the end of the file"));
        }
        StoredValue v;
        bool deleting;
        if (!ParseValueLine(line, v, deleting)) {
            return Refused(first + 1, QT_TRANSLATE_NOOP("Brevita", "the value is not valid"));
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

} // namespace brevita::regfile
