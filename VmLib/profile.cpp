#include "VmLib/profile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VmLib/fdio.h"
#include "VmLib/unseen.h"

namespace {

std::string_view Trim(std::string_view s) {
    const char *blanks = " \t\r\n";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// A "[name]" line yields name; anything else yields nothing.
bool SectionName(std::string_view line, std::string_view &name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos)
        return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

// A "key=value" line yields both, trimmed; comments and other lines yield nothing.
bool KeyValue(std::string_view line, std::string_view &key, std::string_view &value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';')
        return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

// Lines with their terminators, so that a rewrite keeps them byte for byte.
// Plain reads: every run of sndprobe comes here, and a stream would cost it
// more than reading the file.
bool ReadLines(const char *pszPath, std::vector<std::string> &lines, bool &exists) {
    const int fd = open(pszPath, O_RDONLY | O_CLOEXEC);
    exists = fd >= 0;
    if (!exists)
        return errno == ENOENT || errno == ENOTDIR;
    std::string text;
    char buf[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buf, size_t(n));
    }
    close(fd);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.emplace_back(text, pos, end - pos);
        pos = end;
    }
    return ok;
}

std::string Terminator(const std::vector<std::string> &lines) {
    for (const auto &l : lines)
        if (l.size() >= 2 && l.compare(l.size() - 2, 2, "\r\n") == 0)
            return "\r\n";
    return "\n";
}

// The new text takes the file's name only when it is complete and on disk.
bool WriteWhole(const std::string &path, const std::string &text, mode_t mode) {
    UnseenFile file;
    if (UnseenCreate(path.c_str(), 0, &file) != UNSEEN_OK)
        return false;
    if (fchmod(file.fd, mode) != 0 || FdWriteAll(file.fd, text.data(), text.size()) != 0 ||
        fsync(file.fd) != 0) {
        UnseenDiscard(&file);
        return false;
    }
    return UnseenPublish(&file) == UNSEEN_OK;
}

} // namespace

int32_t ProfileGetInt(const char *pszPath, const char *pszSection, const char *pszKey,
                      int32_t nDefault) {
    if (pszPath == nullptr || pszSection == nullptr || pszKey == nullptr)
        return nDefault;
    std::vector<std::string> lines;
    bool exists = false;
    if (!ReadLines(pszPath, lines, exists) || !exists)
        return nDefault;
    bool inSection = false;
    for (const auto &line : lines) {
        std::string_view name, key, value;
        if (SectionName(line, name)) {
            // The first matching section is the one that counts.
            if (inSection)
                break;
            inSection = SameName(name, pszSection);
            continue;
        }
        if (!inSection || !KeyValue(line, key, value) || !SameName(key, pszKey))
            continue;
        if (value.empty())
            return nDefault;
        std::string digits(value);
        errno = 0;
        char *end = nullptr;
        long v = std::strtol(digits.c_str(), &end, 10);
        if (end == digits.c_str())
            return 0;
        if (v > INT32_MAX)
            return INT32_MAX;
        if (v < INT32_MIN)
            return INT32_MIN;
        return static_cast<int32_t>(v);
    }
    return nDefault;
}

int32_t ProfileWriteString(const char *pszPath, const char *pszSection, const char *pszKey,
                           const char *pszValue) {
    if (pszPath == nullptr || *pszPath == '\0' || pszSection == nullptr || pszKey == nullptr ||
        pszValue == nullptr)
        return -1;
    std::error_code ec;
    std::filesystem::path target(pszPath);
    // Rewrite what a link points at, not the link itself.
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::weakly_canonical(target, ec);
        if (ec)
            return -1;
    }

    std::vector<std::string> lines;
    bool exists = false;
    if (!ReadLines(target.c_str(), lines, exists))
        return -1;
    mode_t mode = 0644;
    struct stat st;
    if (exists && stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    if (!exists && target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec)
            return -1;
    }

    const std::string eol = Terminator(lines);
    const std::string entry = std::string(pszKey) + "=" + pszValue;
    size_t sectionAt = lines.size(); // index of the header line
    size_t insertAt = lines.size();  // after the section's last non-blank line
    bool replaced = false;
    for (size_t i = 0; i < lines.size() && !replaced; ++i) {
        std::string_view name, key, value;
        if (SectionName(lines[i], name)) {
            if (sectionAt != lines.size())
                break;
            if (SameName(name, pszSection))
                sectionAt = insertAt = i;
            continue;
        }
        if (sectionAt == lines.size())
            continue;
        if (!Trim(lines[i]).empty())
            insertAt = i;
        if (KeyValue(lines[i], key, value) && SameName(key, pszKey)) {
            std::string &l = lines[i];
            size_t end = l.find_last_not_of("\r\n");
            std::string term = end == std::string::npos ? l : l.substr(end + 1);
            l = entry + term;
            replaced = true;
        }
    }
    if (!replaced) {
        if (!lines.empty() && lines.back().back() != '\n')
            lines.back() += eol;
        if (sectionAt == lines.size()) {
            lines.push_back("[" + std::string(pszSection) + "]" + eol);
            lines.push_back(entry + eol);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt) + 1, entry + eol);
        }
    }
    std::string text;
    for (const auto &l : lines)
        text += l;
    return WriteWhole(target.string(), text, mode) ? 0 : -1;
}
