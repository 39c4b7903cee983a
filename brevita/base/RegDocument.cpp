#include "RegDocument.h"

#include "modCommon.h"

#include <algorithm>

namespace brevita::regfile {

const StoredValue *StoredKey::Find(const std::string &name) const {
    auto it = values.find(AsciiLower(name));
    return it == values.end() ? nullptr : &it->second;
}

const StoredKey *Store::Find(const std::string &full) const {
    auto it = keys.find(AsciiLower(full));
    return it == keys.end() ? nullptr : &it->second;
}

StoredKey &Store::Slot(const std::string &full) {
    auto [it, added] = keys.try_emplace(AsciiLower(full));
    if (added) {
        it->second.path = full;
    }
    return it->second;
}

void Store::Delete(const std::string &full) {
    const std::string lower = AsciiLower(full);
    keys.erase(lower);
    const std::string below = lower + '\\';
    auto it = keys.lower_bound(below);
    while (it != keys.end() && it->first.rfind(below, 0) == 0) {
        it = keys.erase(it);
    }
}

bool Store::Has(const std::string &full) const {
    if (full.find('\\') == std::string::npos) {
        return true;
    }
    const std::string lower = AsciiLower(full);
    if (keys.count(lower)) {
        return true;
    }
    const std::string below = lower + '\\';
    auto it = keys.lower_bound(below);
    return it != keys.end() && it->first.rfind(below, 0) == 0;
}

bool IsBlankLine(const std::string &line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

std::vector<uint8_t> DwordBytes(uint32_t n) {
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
}

uint32_t DwordOf(const std::vector<uint8_t> &data) {
    uint32_t n = 0;
    for (size_t i = std::min<size_t>(data.size(), 4); i > 0; --i) {
        n = n << 8 | data[i - 1];
    }
    return n;
}

} // namespace brevita::regfile
