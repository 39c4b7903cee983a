#include "VmLib/unseen.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>

namespace {

// Signals that end a program by default and may arrive at any moment. The
// faults of the program itself (SIGSEGV and its kind) are not among them.
constexpr int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
                            SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPWR,  SIGABRT};
constexpr size_t kSignalCount = std::size(kSignals);

// The temporary names a signal removes. A slot is filled and emptied with
// the signals blocked, so the handler only ever sees whole ones.
struct GuardSlot {
    volatile sig_atomic_t used;
    int dirfd;
    char name[256];
};
GuardSlot g_slots[8];
int g_nUsed = 0;
struct sigaction g_previous[kSignalCount];
bool g_installed[kSignalCount];

sigset_t GuardedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals)
        sigaddset(&set, sig);
    return set;
}

// The guarded signals wait while one of these lives.
class SignalBlock {
  public:
    SignalBlock() {
        const sigset_t set = GuardedSet();
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    SignalBlock(const SignalBlock &) = delete;
    SignalBlock &operator=(const SignalBlock &) = delete;

  private:
    sigset_t old_;
};

void OnSignal(int sig) {
    const int saved = errno;
    for (GuardSlot &s : g_slots)
        if (s.used)
            unlinkat(s.dirfd, s.name, 0);
    errno = saved;
    // The handler was reset on entry: once it returns, the signal does what
    // it would have done without us.
    raise(sig);
}

// Only where the signal would end the program: one that is ignored or
// handled by the program stays as it is.
void InstallGuard() {
    for (size_t i = 0; i < kSignalCount; ++i) {
        struct sigaction current;
        if (sigaction(kSignals[i], nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
            current.sa_handler != SIG_DFL)
            continue;
        struct sigaction sa = {};
        sa.sa_handler = OnSignal;
        sa.sa_mask = GuardedSet();
        sa.sa_flags = int(SA_RESETHAND);
        g_installed[i] = sigaction(kSignals[i], &sa, &g_previous[i]) == 0;
    }
}

void RemoveGuard() {
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (g_installed[i])
            sigaction(kSignals[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
}

// Call with the signals blocked.
int TakeSlot(int dirfd, const std::string &name) {
    for (int i = 0; i < int(std::size(g_slots)); ++i) {
        GuardSlot &s = g_slots[i];
        if (s.used)
            continue;
        if (name.size() >= sizeof s.name)
            return -1;
        s.dirfd = dirfd;
        memcpy(s.name, name.c_str(), name.size() + 1);
        s.used = 1;
        if (g_nUsed++ == 0)
            InstallGuard();
        return i;
    }
    return -1;
}

// Call with the signals blocked.
void FreeSlot(int slot) {
    if (slot < 0)
        return;
    g_slots[slot].used = 0;
    if (--g_nUsed == 0)
        RemoveGuard();
}

// "." + the name + "." + 24 random hex digits + ".tmp": hidden, a sibling of
// the name, and not to be guessed in advance.
bool RandomName(const std::string &base, std::string *pName) {
    unsigned char r[12];
    size_t got = 0;
    while (got < sizeof r) {
        const ssize_t n = getrandom(r + got, sizeof r - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    char hex[2 * sizeof r + 1];
    for (size_t i = 0; i < sizeof r; ++i)
        snprintf(hex + 2 * i, 3, "%02x", r[i]);
    // Room for the rest within a file name's 255 bytes.
    *pName = "." + base.substr(0, 200) + "." + hex + ".tmp";
    return true;
}

// Absent, a regular file or a link (which is replaced, never followed).
bool Replaceable(int dirfd, const std::string &base) {
    struct stat st;
    if (fstatat(dirfd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

// Gives the unnamed file fd a name; never replaces what has it.
int LinkUnnamed(int fd, int dirfd, const std::string &name) {
    char proc[64];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, proc, dirfd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno == EEXIST)
        return -1;
    // Without /proc, with the right to do so.
    return linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH);
}

void CloseAll(UnseenFile *f) {
    if (f->fd >= 0)
        close(f->fd);
    if (f->dirfd >= 0)
        close(f->dirfd);
    f->fd = -1;
    f->dirfd = -1;
}

// Call with the signals blocked.
void DropTemporary(UnseenFile *f) {
    if (f->temp.empty())
        return;
    unlinkat(f->dirfd, f->temp.c_str(), 0);
    FreeSlot(f->slot);
    f->slot = -1;
    f->temp.clear();
}

int CreateNamed(UnseenFile *f) {
    SignalBlock block;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string temp;
        if (!RandomName(f->base, &temp))
            return UNSEEN_ERR_CREATE;
        const int fd = openat(f->dirfd, temp.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return UNSEEN_ERR_CREATE;
        f->slot = TakeSlot(f->dirfd, temp);
        if (f->slot < 0) {
            unlinkat(f->dirfd, temp.c_str(), 0);
            close(fd);
            return UNSEEN_ERR_GUARD;
        }
        f->fd = fd;
        f->temp = temp;
        return UNSEEN_OK;
    }
    return UNSEEN_ERR_CREATE;
}

} // namespace

int UnseenCreate(const char *pszPath, unsigned dwFlags, UnseenFile *f) {
    if (pszPath == nullptr || f == nullptr)
        return UNSEEN_ERR_NAME;
    *f = UnseenFile();
    const std::string path = pszPath;
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    f->base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (f->base.empty() || f->base == "." || f->base == "..")
        return UNSEEN_ERR_NAME;
    f->dirfd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (f->dirfd < 0)
        return UNSEEN_ERR_FOLDER;
    int rc = UNSEEN_OK;
    if (!Replaceable(f->dirfd, f->base)) {
        rc = UNSEEN_ERR_NOT_REGULAR;
    } else {
        // An unnamed file is given its name through /proc.
        bool named = (dwFlags & UNSEEN_NAMED) || access("/proc/self/fd", X_OK) != 0;
        if (!named) {
            f->fd = openat(f->dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            // How file systems and kernels without unnamed files refuse them.
            named = f->fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
            if (f->fd < 0 && !named)
                rc = UNSEEN_ERR_CREATE;
        }
        if (named)
            rc = CreateNamed(f);
    }
    if (rc != UNSEEN_OK)
        CloseAll(f);
    return rc;
}

int UnseenPublish(UnseenFile *f) {
    if (f == nullptr || f->fd < 0)
        return UNSEEN_ERR_CREATE;
    int rc = UNSEEN_OK;
    {
        // A signal now waits until the name is in place or nothing is left.
        SignalBlock block;
        if (!Replaceable(f->dirfd, f->base)) {
            rc = UNSEEN_ERR_NOT_REGULAR;
        } else if (f->temp.empty() && LinkUnnamed(f->fd, f->dirfd, f->base) != 0) {
            // The name is taken: by way of a temporary name and a rename.
            rc = UNSEEN_ERR_LINK;
            for (int attempt = 0; attempt < 16 && errno == EEXIST; ++attempt) {
                std::string temp;
                if (!RandomName(f->base, &temp))
                    break;
                if (LinkUnnamed(f->fd, f->dirfd, temp) == 0) {
                    f->temp = temp;
                    rc = UNSEEN_OK;
                    break;
                }
            }
        }
        if (rc == UNSEEN_OK && !f->temp.empty()) {
            if (renameat(f->dirfd, f->temp.c_str(), f->dirfd, f->base.c_str()) == 0) {
                FreeSlot(f->slot);
                f->slot = -1;
                f->temp.clear();
            } else {
                rc = UNSEEN_ERR_RENAME;
            }
        }
        DropTemporary(f);
    }
    CloseAll(f);
    return rc;
}

void UnseenDiscard(UnseenFile *f) {
    if (f == nullptr)
        return;
    {
        SignalBlock block;
        DropTemporary(f);
    }
    CloseAll(f);
}
