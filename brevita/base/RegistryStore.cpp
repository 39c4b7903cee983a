#include "RegistryStore.h"

#include "AppError.h"
#include "RegFileWriter.h"
#include "SafeFiles.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>

namespace brevita::regfile {

namespace {

// Brevita reads the store from its one thread, but the snapshot below is
// process-wide; each operation holds the lock throughout.
std::mutex g_lock;
uint64_t g_parses = 0;

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
// yet (or a folder in its place) reads as an empty text. openError is the
// errno of an open that gave no descriptor.
std::optional<std::string> ReadStoreText(const UniqueFd &in, int openError, const struct stat *st) {
    if (in.get() < 0) {
        const bool missing = openError == ENOENT || openError == ENOTDIR;
        return missing ? std::optional<std::string>("") : std::nullopt;
    }
    if (st && S_ISDIR(st->st_mode)) {
        return "";
    }
    return ReadAll(in.get());
}

Parsed Parse(const std::optional<std::string> &text) {
    if (!text) {
        return {std::nullopt, {0, "the file cannot be read"}};
    }
    ++g_parses;
    return ParseStore(*text);
}

} // namespace

std::unique_lock<std::mutex> LockStore() {
    return std::unique_lock(g_lock);
}

// A start asks a dozen times, so the last store is kept: reused unread while
// the file's version is the one read, and unparsed while its text is.
const Parsed &LoadStore(const std::filesystem::path &file) {
    const int64_t startNs = NowNs();
    const UniqueFd in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    const int openError = errno;
    struct stat st;
    std::optional<FileVersion> version;
    if (in.get() >= 0 && ::fstat(in.get(), &st) == 0) {
        version = VersionOf(st);
    }
    Snapshot *last = g_last && g_last->file == file ? &*g_last : nullptr;
    if (last && version && last->version == version &&
        version->changedNs < last->readAtNs - kStampGrainNs) {
        return last->parsed;
    }
    auto text = ReadStoreText(in, openError, version ? &st : nullptr);
    if (!last || last->text != text) {
        g_last = Snapshot{file, {}, 0, text, Parse(text)};
        last = &*g_last;
    }
    last->version = version;
    last->readAtNs = startNs;
    return last->parsed;
}

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

uint64_t StoreParses() {
    return g_parses;
}

} // namespace brevita::regfile
