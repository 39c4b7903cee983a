#include "brevita/modPendingSync.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace brevita {

namespace fs = std::filesystem;

namespace {

void Save(const std::vector<std::string> &ids) {
    const fs::path file = PendingSyncPath();
    if (ids.empty()) {
        fs::remove(file);
        return;
    }
    const fs::path next = file.string() + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        for (const std::string &id : ids) {
            out << id << '\n';
        }
        out.flush();
        if (!out) {
            throw ErrorFromErrno(errno ? errno : EIO);
        }
    }
    fs::rename(next, file);
}

} // namespace

fs::path PendingSyncPath() {
    return StateFolder() / "Brevita.pending";
}

std::vector<std::string> PendingSyncs() {
    std::vector<std::string> ids;
    std::ifstream in(PendingSyncPath(), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && std::find(ids.begin(), ids.end(), line) == ids.end()) {
            ids.push_back(line);
        }
    }
    return ids;
}

void NotePendingSync(const std::string &objectId) {
    std::vector<std::string> ids = PendingSyncs();
    if (objectId.empty() || objectId.find('\n') != std::string::npos ||
        std::find(ids.begin(), ids.end(), objectId) != ids.end()) {
        return;
    }
    ids.push_back(objectId);
    Save(ids);
}

void ClearPendingSync(const std::string &objectId) {
    std::vector<std::string> ids = PendingSyncs();
    const auto end = std::remove(ids.begin(), ids.end(), objectId);
    if (end == ids.end()) {
        return;
    }
    ids.erase(end, ids.end());
    Save(ids);
}

} // namespace brevita
