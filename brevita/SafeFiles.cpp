#include "brevita/SafeFiles.h"

#include "brevita/AppError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <random>

namespace brevita {

namespace fs = std::filesystem;

namespace {

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

[[noreturn]] void RaiseErrno() {
    throw ErrorFromErrno(errno);
}

int Check(int r) {
    if (r < 0) {
        RaiseErrno();
    }
    return r;
}

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

void CopyContent(int from, int to) {
    bool inKernel = true;
    while (true) {
        ssize_t n;
        if (inKernel) {
            n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 20, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            char buf[1 << 16];
            n = ::read(from, buf, sizeof buf);
            for (ssize_t done = 0; n > 0 && done < n;) {
                ssize_t w = ::write(to, buf + done, static_cast<size_t>(n - done));
                if (w < 0 && errno != EINTR) {
                    RaiseErrno();
                }
                done += w > 0 ? w : 0;
            }
        }
        if (n == 0) {
            return;
        }
        if (n < 0 && errno != EINTR) {
            RaiseErrno();
        }
    }
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
            return Check(fd);
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

// The scratch file in target's folder is filled by fill, flushed, given
// target's mode, owner and group (newMode for a new target) and renamed over
// target. Only a regular file is ever replaced: never a link, a folder or a
// device.
void WriteAtomically(const fs::path &target, mode_t newMode,
                     const std::function<void(int fd)> &fill) {
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string base = target.filename().string();
    struct stat old;
    const bool replacing = ::lstat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        throw ErrorFromErrno(EEXIST);
    }

    Fd dirFd(Check(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    std::string name;
    Fd out(OpenScratch(dirFd.get(), base, name));
    try {
        fill(out.get());
        Check(::fchmod(out.get(), (replacing ? old.st_mode : newMode) & 07777));
        struct stat made;
        Check(::fstat(out.get(), &made));
        if (replacing && (made.st_uid != old.st_uid || made.st_gid != old.st_gid)) {
            Check(::fchown(out.get(), old.st_uid, old.st_gid));
        }
        Check(::fsync(out.get()));
        if (name.empty()) {
            GiveName(out.get(), dirFd.get(), base, name);
        }
        // The content is on disk before the name moves, so even a power cut
        // leaves the old file or the new one; the rename itself need not be
        // forced out.
        Check(::renameat(dirFd.get(), name.c_str(), dirFd.get(), base.c_str()));
        name.clear();
    } catch (...) {
        if (!name.empty()) {
            ::unlinkat(dirFd.get(), name.c_str(), 0);
        }
        throw;
    }
}

} // namespace

void ReplaceFileAtomically(const fs::path &source, const fs::path &target) {
    Fd in(Check(::open(source.c_str(), O_RDONLY | O_CLOEXEC)));
    struct stat from;
    Check(::fstat(in.get(), &from));
    if (!S_ISREG(from.st_mode)) {
        throw ErrorFromErrno(EISDIR);
    }
    WriteAtomically(target, from.st_mode, [&](int fd) { CopyContent(in.get(), fd); });
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
        fs::copy(source, partial, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        fs::permissions(partial, fs::status(source).permissions());
        Fd sync(::open(partial.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (sync.get() >= 0) {
            ::syncfs(sync.get());
        }
        if (fs::exists(fs::symlink_status(target))) {
            if (!replaceExisting) {
                throw ErrorFromErrno(EEXIST);
            }
            const fs::path old = parent / HiddenSiblingName(base, "old");
            fs::rename(target, old);
            fs::rename(partial, target);
            std::error_code ec;
            fs::remove_all(old, ec);
        } else {
            fs::rename(partial, target);
        }
    } catch (...) {
        std::error_code ec;
        fs::remove_all(partial, ec);
        throw;
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

std::string JoinPath(const std::string &dir, const std::string &name) {
    if (!dir.empty() && dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

} // namespace brevita
