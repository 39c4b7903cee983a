#include "PendingSync.h"

#include "AppEnv.h"
#include "AppError.h"
#include "SafeFiles.h"
#include "StateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brevita {

namespace fs = std::filesystem;

namespace {

const char kPendingName[] = "Brevita.pending";

UniqueFd OpenStateFolder() {
    UniqueFd dir = OpenFolderNoFollow(StateFolder());
    if (dir.get() < 0) {
        RaiseErrno();
    }
    return dir;
}

void Save(const std::vector<std::string> &ids) {
    if (ids.empty()) {
        const UniqueFd dir = OpenStateFolder();
        if (::unlinkat(dir.get(), kPendingName, 0) != 0 && errno != ENOENT) {
            RaiseErrno();
        }
        return;
    }
    std::string text;
    for (const std::string &id : ids) {
        text += id + '\n';
    }
    // Group-writable like the folder, for the other administrators' runs.
    WriteFileAtomically(PendingSyncPath(), text, 0664);
}

} // namespace

fs::path PendingSyncPath() {
    return StateFolder() / kPendingName;
}

std::vector<std::string> PendingSyncs() {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(StateFolder(), ec))) {
        return {};
    }
    const UniqueFd dir = OpenStateFolder();
    // Not blocking, so that a named pipe in its place cannot stop the run.
    UniqueFd in(::openat(dir.get(), kPendingName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) {
        if (errno == ENOENT) {
            return {};
        }
        if (errno == ELOOP) {
            throw RefusedLink(PendingSyncPath());
        }
        RaiseErrno();
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0) {
        RaiseErrno();
    }
    if (!S_ISREG(st.st_mode)) {
        throw RefusedNonFile(PendingSyncPath());
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(in.get(), buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseErrno();
        }
        text.append(buf, static_cast<size_t>(n));
    }
    std::vector<std::string> ids;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && std::find(ids.begin(), ids.end(), line) == ids.end()) {
            ids.push_back(std::move(line));
        }
        start = end + 1;
    }
    return ids;
}

void UpdatePendingSyncs(const std::vector<std::string> &noted,
                        const std::vector<std::string> &cleared) {
    const std::vector<std::string> before = PendingSyncs();
    std::vector<std::string> ids = before;
    std::erase_if(ids, [&](const std::string &id) {
        return std::find(cleared.begin(), cleared.end(), id) != cleared.end();
    });
    for (const std::string &id : noted) {
        if (!id.empty() && id.find('\n') == std::string::npos &&
            std::find(ids.begin(), ids.end(), id) == ids.end()) {
            ids.push_back(id);
        }
    }
    if (ids != before) {
        Save(ids);
    }
}

void NotePendingSync(const std::string &objectId) {
    UpdatePendingSyncs({objectId}, {});
}

void ClearPendingSync(const std::string &objectId) {
    UpdatePendingSyncs({}, {objectId});
}

} // namespace brevita
