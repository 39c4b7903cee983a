#include "VmLib/handles.h"

#include <unordered_map>

namespace {
// Created on first use and never destroyed, so that records created during
// static initialisation or released from static destructors still work.
std::unordered_map<const void *, uint32_t> &Live() {
    static auto *table = new std::unordered_map<const void *, uint32_t>;
    return *table;
}
} // namespace

int32_t HandleAdd(const void *p, uint32_t dwKind) {
    if (p == nullptr)
        return -1;
    return Live().emplace(p, dwKind).second ? 0 : -1;
}

int32_t HandleRemove(const void *p, uint32_t dwKind) {
    auto it = Live().find(p);
    if (it == Live().end() || it->second != dwKind)
        return -1;
    Live().erase(it);
    return 0;
}

int32_t HandleIsLive(const void *p, uint32_t dwKind) {
    auto it = Live().find(p);
    return it != Live().end() && it->second == dwKind;
}
