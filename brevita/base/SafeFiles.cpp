#include "SafeFiles.h"

#include "AppError.h"
#include "TreeCopy.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace brevita {

namespace fs = std::filesystem;

namespace {

// Unpredictable, so nothing planted beforehand can be in the way, and
// hidden, with no ".wav" ending, so the server never takes it for a
// recording.
std::string HiddenSiblingName(const std::string &base, const char *kind) {
    static std::random_device seed;
    static std::mt19937_64 gen(seed());
    char tag[20];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(gen()));
    return "." + base + "." + tag + "." + kind;
}

// An unnamed file in dir where the file system allows one (nothing to
// clean up if we die), otherwise an exclusive hidden name.
int OpenScratch(int dirFd, const std::string &base, std::string &name) {
    int fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        name.clear();
        return fd;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        RaiseErrno();
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = HiddenSiblingName(base, "brevita-tmp");
        fd = ::openat(dirFd, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd >= 0 || errno != EEXIST) {
            return CheckErrno(fd);
        }
    }
    RaiseErrno();
}

void GiveName(int fd, int dirFd, const std::string &base, std::string &name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = HiddenSiblingName(base, "brevita-tmp");
        if (::linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    RaiseErrno();
}

// Removes a tree whatever the modes inside it, read-only folders included.
void RemoveTree(const fs::path &p) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(p, ec))) {
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
            entries.push_back(it->path());
        }
        for (const fs::path &e : entries) {
            RemoveTree(e);
        }
    }
    fs::remove(p, ec);
}

bool IsHex(const std::string &s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// ".<name>.<16 hex digits>.<kind>", as HiddenSiblingName makes them, with a
// kind used here: a file being written, a folder being copied, a backup
// set aside.
bool IsLeftover(const std::string &n) {
    const size_t k = n.rfind('.');
    if (n.empty() || n[0] != '.' || k == std::string::npos || k < 19 || n[k - 17] != '.' ||
        !IsHex(n.substr(k - 16, 16))) {
        return false;
    }
    const std::string kind = n.substr(k + 1);
    return kind == "brevita-tmp" || kind == "old" ||
           (kind.size() == 14 && kind.compare(0, 8, "partial-") == 0);
}

FileIdentity IdentityFrom(const struct stat &st) {
    return {st.st_dev, st.st_ino, static_cast<uint64_t>(st.st_size),
            int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

// The scratch file in target's folder is filled by fill, flushed, given
// target's mode, owner and group (newMode for a new target) and renamed over
// target. Only a regular file is ever replaced: never a link, a folder or a
// device. With expected, a target that is no longer that version of the
// file is left as it is.
void WriteAtomically(const fs::path &target, mode_t newMode,
                     const std::function<void(int fd)> &fill,
                     const FileIdentity *expected = nullptr) {
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string base = target.filename().string();
    struct stat old;
    const bool replacing = ::lstat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        throw ErrorFromErrno(EEXIST);
    }

    UniqueFd dirFd(CheckErrno(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    std::string name;
    UniqueFd out(OpenScratch(dirFd.get(), base, name));
    try {
        fill(out.get());
        CheckErrno(::fchmod(out.get(), (replacing ? old.st_mode : newMode) & 07777));
        struct stat made;
        CheckErrno(::fstat(out.get(), &made));
        if (replacing && (made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
            ::fchown(out.get(), old.st_uid, old.st_gid) != 0) {
            // Only root gives a file away. An administrator of the file's
            // group keeps the group, and with it the access that the group
            // and the mode grant; the file becomes hers.
            if (errno != EPERM) {
                RaiseErrno();
            }
            if (made.st_gid != old.st_gid) {
                CheckErrno(::fchown(out.get(), static_cast<uid_t>(-1), old.st_gid));
            }
        }
        CheckErrno(::fsync(out.get()));
        if (name.empty()) {
            GiveName(out.get(), dirFd.get(), base, name);
        }
        // As late as can be: a recording rewritten since it was read would
        // otherwise be lost under the result of the old one.
        if (expected && IdentityOf(target) != *expected) {
            RaiseError(ErrPathFileAccess, "The file changed while it was being trimmed");
        }
        // The content is on disk before the name moves, so even a power cut
        // leaves the old file or the new one; the rename itself need not be
        // forced out.
        CheckErrno(::renameat(dirFd.get(), name.c_str(), dirFd.get(), base.c_str()));
        name.clear();
    } catch (...) {
        if (!name.empty()) {
            ::unlinkat(dirFd.get(), name.c_str(), 0);
        }
        throw;
    }
}

} // namespace

std::optional<FileIdentity> IdentityOf(const fs::path &path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return IdentityFrom(st);
}

void ReplaceFileAtomically(const fs::path &source, const fs::path &target,
                           const FileIdentity *expected) {
    UniqueFd in(CheckErrno(::open(source.c_str(), O_RDONLY | O_CLOEXEC)));
    struct stat from;
    CheckErrno(::fstat(in.get(), &from));
    if (!S_ISREG(from.st_mode)) {
        throw ErrorFromErrno(EISDIR);
    }
    WriteAtomically(
        target, from.st_mode, [&](int fd) { CopyContent(in.get(), fd); }, expected);
}

void WriteFileAtomically(const fs::path &target, const std::string &content, mode_t newMode) {
    WriteAtomically(target, newMode, [&](int fd) {
        for (size_t done = 0; done < content.size();) {
            ssize_t n = ::write(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno != EINTR) {
                RaiseErrno();
            }
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
    });
}

void CopyFolderAtomically(const fs::path &source, const fs::path &target, bool replaceExisting) {
    const fs::path parent = target.parent_path();
    const std::string base = target.filename().string();
    fs::create_directories(parent);
    if (!fs::is_directory(source)) {
        throw ErrorFromErrno(ENOENT);
    }
    std::string tmpl = (parent / HiddenSiblingName(base, "partial-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) {
        RaiseErrno();
    }
    const fs::path partial = tmpl;
    try {
        CopyTree(source, partial);
        fs::permissions(partial, fs::status(source).permissions());
        // One flush for the whole copy; a disk that cannot keep it fails the
        // backup here rather than after the recordings were replaced.
        UniqueFd sync(CheckErrno(::open(partial.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
        CheckErrno(::syncfs(sync.get()));
        if (fs::exists(fs::symlink_status(target))) {
            if (!replaceExisting) {
                throw ErrorFromErrno(EEXIST);
            }
            const fs::path old = parent / HiddenSiblingName(base, "old");
            fs::rename(target, old);
            fs::rename(partial, target);
        } else {
            fs::rename(partial, target);
        }
    } catch (...) {
        RemoveTree(partial);
        throw;
    }
    // The copy is in place: what earlier copies that were cut short (or
    // the one just replaced) left beside it can go.
    RemoveLeftovers(parent, false);
}

void RemoveLeftovers(const fs::path &dir, bool recursive) {
    std::error_code ec;
    std::vector<fs::path> found;
    if (recursive) {
        for (fs::recursive_directory_iterator
                 it(dir, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (IsLeftover(it->path().filename().string())) {
                found.push_back(it->path());
                it.disable_recursion_pending();
            }
        }
    } else {
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (IsLeftover(it->path().filename().string())) {
                found.push_back(it->path());
            }
        }
    }
    for (const fs::path &p : found) {
        RemoveTree(p);
    }
}

void CopyFolderContentsOnto(const fs::path &source, const fs::path &target) {
    for (auto it = fs::recursive_directory_iterator(source);
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::path to = target / fs::relative(it->path(), source);
        if (it->is_symlink()) {
            continue; // never followed into, never planted in the live folder
        }
        if (it->is_directory()) {
            fs::create_directories(to);
        } else if (it->is_regular_file()) {
            ReplaceFileAtomically(it->path(), to);
        }
    }
}

void FlushFolder(const fs::path &folder) {
    const UniqueFd fd(CheckErrno(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    CheckErrno(::fsync(fd.get()));
}

std::string JoinPath(const std::string &dir, const std::string &name) {
    if (!dir.empty() && dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

} // namespace brevita
