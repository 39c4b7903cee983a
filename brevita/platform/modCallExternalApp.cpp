#include "modCallExternalApp.h"

#include "Messages.h"
#include "AppError.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>

extern char **environ;

namespace brevita {

namespace {

// The batch's trims start and wait for their children on threads of their
// own; this guards the two lists below.
std::mutex childLock;
// Children we started and have not reaped yet. Those that outlive the wait
// are reaped later, so none stays a zombie for long.
std::vector<pid_t> children;
// How reaped children ended, until FinishProcess asks; bounded, since a
// caller that never asks must not make it grow.
std::map<pid_t, int> endings;
constexpr size_t kMaxEndings = 256;

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void NoteEnding(pid_t pid, int status) {
    if (endings.size() >= kMaxEndings) {
        endings.erase(endings.begin());
    }
    endings[pid] = ExitCode(status);
}

// Blocks until the child is reaped; false when it was not ours to reap.
bool WaitBlocking(pid_t pid, int &status) {
    pid_t r;
    do {
        r = ::waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    return r == pid;
}

void ReapEndedChildren() {
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](pid_t pid) {
                                      int status = 0;
                                      pid_t r = ::waitpid(pid, &status, WNOHANG);
                                      if (r == pid) {
                                          NoteEnding(pid, status);
                                      }
                                      return r == pid || (r < 0 && errno == ECHILD);
                                  }),
                   children.end());
}

void Reap(pid_t pid) {
    auto it = std::find(children.begin(), children.end(), pid);
    if (it != children.end()) {
        int status = 0;
        if (WaitBlocking(pid, status)) {
            NoteEnding(pid, status);
        }
        children.erase(it);
    }
}

int64_t MonotonicMs() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

} // namespace

int32_t StartHiddenProgram(const std::vector<std::string> &argv, const std::string &workingDir,
                           int keepOpen) {
    {
        const std::lock_guard held(childLock);
        ReapEndedChildren();
    }
    if (argv.empty() || argv[0].empty()) {
        RaiseError(ErrFileNotFound, QT_TRANSLATE_NOOP("Brevita", "File not found"));
    }
    SpawnSetup s;
    ::posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&s.actions, 2, "/dev/null", O_WRONLY, 0);
    if (keepOpen >= 0) {
        ::posix_spawn_file_actions_adddup2(&s.actions, keepOpen, 3);
    }
    ::posix_spawn_file_actions_addclosefrom_np(&s.actions, keepOpen >= 0 ? 4 : 3);
    if (!workingDir.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&s.actions, workingDir.c_str());
    }
    // The child starts with default signal handling, whatever the GUI set up.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    ::posix_spawnattr_setsigmask(&s.attr, &none);
    ::posix_spawnattr_setsigdefault(&s.attr, &all);
    ::posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char *> args;
    for (const auto &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = 0;
    bool onPath = argv[0].find('/') == std::string::npos;
    int err = onPath ? ::posix_spawnp(&pid, args[0], &s.actions, &s.attr, args.data(), environ)
                     : ::posix_spawn(&pid, args[0], &s.actions, &s.attr, args.data(), environ);
    if (err != 0) {
        throw ErrorFromErrno(err);
    }
    const std::lock_guard held(childLock);
    children.push_back(pid);
    return static_cast<int32_t>(pid);
}

bool WaitForProcessExit(int32_t processId, int32_t timeoutMs) {
    if (processId <= 0) {
        return false;
    }
    {
        const std::lock_guard held(childLock);
        ReapEndedChildren();
        // Ours and reaped already: its id may belong to another process by now.
        if (endings.contains(processId)) {
            return false;
        }
    }
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0));
    if (fd < 0) {
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    // A process that has ended before we look has nothing to wait for.
    if (::poll(&p, 1, 0) == 1) {
        ::close(fd);
        const std::lock_guard held(childLock);
        Reap(processId);
        return false;
    }
    bool ok = true;
    const int64_t deadline = MonotonicMs() + timeoutMs;
    while (true) {
        int wait = -1;
        if (timeoutMs >= 0) {
            wait = static_cast<int>(std::max<int64_t>(0, deadline - MonotonicMs()));
        }
        int r = ::poll(&p, 1, wait);
        if (r >= 0) {
            if (r == 1) {
                const std::lock_guard held(childLock);
                Reap(processId);
            }
            break;
        }
        if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

int32_t FinishProcess(int32_t processId) {
    const pid_t pid = static_cast<pid_t>(processId);
    const std::lock_guard held(childLock);
    if (std::find(children.begin(), children.end(), pid) != children.end()) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            NoteEnding(pid, status);
        } else {
            ::kill(pid, SIGKILL);
            if (WaitBlocking(pid, status)) {
                NoteEnding(pid, status);
            }
        }
        children.erase(std::find(children.begin(), children.end(), pid));
    }
    auto it = endings.find(pid);
    if (it == endings.end()) {
        return -1;
    }
    int code = it->second;
    endings.erase(it);
    return code;
}

} // namespace brevita
