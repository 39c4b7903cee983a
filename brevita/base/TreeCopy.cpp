#include "TreeCopy.h"

#include "AppError.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace brevita {

namespace fs = std::filesystem;

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

namespace {

struct FileToCopy {
    fs::path from, to;
    mode_t mode;
};

struct FolderMode {
    fs::path path;
    mode_t mode;
};

// Makes the folders, links and named pipes below source in target and lists
// the regular files to copy and the folders' modes, deepest first. Sockets
// and devices hold no audio and are left out.
void PlanTree(const fs::path &source, const fs::path &target, std::vector<FileToCopy> &files,
              std::vector<FolderMode> &folders) {
    std::vector<fs::path> entries;
    for (const auto &e : fs::directory_iterator(source)) {
        entries.push_back(e.path());
    }
    for (const fs::path &from : entries) {
        const fs::path to = target / from.filename();
        struct stat st;
        CheckErrno(::lstat(from.c_str(), &st));
        const mode_t mode = st.st_mode & 07777;
        if (S_ISDIR(st.st_mode)) {
            CheckErrno(::mkdir(to.c_str(), 0700));
            PlanTree(from, to, files, folders);
            folders.push_back({to, mode});
        } else if (S_ISREG(st.st_mode)) {
            files.push_back({from, to, mode});
        } else if (S_ISLNK(st.st_mode)) {
            fs::copy_symlink(from, to);
        } else if (S_ISFIFO(st.st_mode)) {
            CheckErrno(::mkfifo(to.c_str(), mode));
        }
    }
}

void CopyOneFile(const FileToCopy &f) {
    UniqueFd in(CheckErrno(::open(f.from.c_str(), O_RDONLY | O_CLOEXEC)));
    UniqueFd out(CheckErrno(::open(f.to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)));
    CopyContent(in.get(), out.get());
    CheckErrno(::fchmod(out.get(), f.mode));
}

} // namespace

// Copies everything below source into the folder target: files through
// CopyContent, so that a full disk says so; links as links, named pipes as
// named pipes. A folder's files are copied one after another, different
// folders at once: creating files in one folder from several threads queues
// them on the folder and measured slower than one thread. A folder gets its
// mode once it is filled, so a read-only one is copied too. The first failure
// stops the copy and is the one raised.
void CopyTree(const fs::path &source, const fs::path &target) {
    std::vector<FileToCopy> files;
    std::vector<FolderMode> folders;
    PlanTree(source, target, files, folders);
    // The files of each folder, in the order they were listed.
    std::map<fs::path, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < files.size(); ++i) {
        byFolder[files[i].to.parent_path()].push_back(i);
    }
    std::vector<const std::vector<size_t> *> groups;
    for (const auto &[folder, group] : byFolder) {
        groups.push_back(&group);
    }
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr first;
    std::mutex firstLock;
    const auto work = [&] {
        for (size_t g; !failed && (g = next++) < groups.size();) {
            for (size_t i : *groups[g]) {
                if (failed) {
                    break;
                }
                try {
                    CopyOneFile(files[i]);
                } catch (...) {
                    std::lock_guard<std::mutex> hold(firstLock);
                    if (!failed.exchange(true)) {
                        first = std::current_exception();
                    }
                }
            }
        }
    };
    const size_t nWorkers =
        std::min(std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8), groups.size());
    std::vector<std::thread> workers;
    for (size_t w = 1; w < nWorkers; ++w) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread &t : workers) {
        t.join();
    }
    if (first) {
        std::rethrow_exception(first);
    }
    for (const FolderMode &f : folders) {
        CheckErrno(::chmod(f.path.c_str(), f.mode));
    }
}

} // namespace brevita
