#include "RegistryAPI.h"

#include "Messages.h"
#include "AppError.h"
#include "RegFileWriter.h"
#include "RegKeyPath.h"
#include "RegistryStore.h"
#include "modCommon.h"

#include <cstdlib>

namespace brevita {

namespace {

constexpr size_t kMaxStringRead = 1024; // bytes, terminating null included
constexpr size_t kMaxBinaryRead = 4096;
constexpr size_t kMaxValueNameLength = 16383;

// The bytes the store keeps for a value written with the type code, or
// nothing when the value cannot be written so.
std::optional<std::vector<uint8_t>> StoredBytes(int32_t typeCode, const RegValue &value) {
    switch (typeCode) {
    case REG_SZ: {
        const std::string s = RegValueText(value);
        std::vector<uint8_t> data(s.begin(), s.end());
        data.push_back(0);
        return data;
    }
    case REG_BINARY:
        if (auto *b = std::get_if<std::vector<uint8_t>>(&value)) {
            return *b;
        }
        if (auto *t = std::get_if<std::string>(&value)) {
            return std::vector<uint8_t>(t->begin(), t->end());
        }
        return std::nullopt;
    case REG_DWORD:
        try {
            return regfile::DwordBytes(static_cast<uint32_t>(RegValueLong(value)));
        } catch (const AppError &) {
            return std::nullopt;
        }
    default:
        return std::nullopt;
    }
}

} // namespace

std::filesystem::path RegistryStorePath() {
    const char *env = std::getenv("BREVITA_REGISTRY");
    return (env && *env) ? std::filesystem::path(env)
                         : std::filesystem::path("/etc/brevita/registry.reg");
}

uint64_t RegistryStoreParses() {
    const auto hold = regfile::LockStore();
    return regfile::StoreParses();
}

std::optional<RegistryFault> RegistryStoreFault() {
    const auto hold = regfile::LockStore();
    const regfile::Parsed &parsed = regfile::LoadStore(RegistryStorePath());
    if (parsed.doc) {
        return std::nullopt;
    }
    return parsed.fault;
}

bool KeyExists(HKEY root, const std::string &keyPath) {
    const auto hold = regfile::LockStore();
    auto full = regfile::FullKeyPath(root, keyPath);
    if (!full) {
        return false;
    }
    const auto &loaded = regfile::LoadStore(RegistryStorePath());
    return loaded.doc && loaded.doc->store.Has(*full);
}

bool CreateRegistryKey(HKEY root, const std::string &keyPath) {
    const auto hold = regfile::LockStore();
    auto full = regfile::FullKeyPath(root, keyPath);
    if (!full) {
        RaiseError(ErrRaised, QT_TRANSLATE_NOOP("Brevita", "Unable to create the registry key"));
    }
    auto file = RegistryStorePath();
    const auto &loaded = regfile::LoadStore(file);
    if (!loaded.doc) {
        RaiseError(ErrRaised, QT_TRANSLATE_NOOP("Brevita", "Unable to create the registry key"));
    }
    if (loaded.doc->store.Has(*full)) {
        return true;
    }
    regfile::Document doc = *loaded.doc;
    regfile::AppendSection(doc, doc.store.Slot(*full));
    if (!regfile::SaveStore(file, std::move(doc))) {
        RaiseError(ErrRaised, QT_TRANSLATE_NOOP("Brevita", "Unable to create the registry key"));
    }
    return false;
}

RegValue GetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                          int32_t typeCode, const RegValue &defaultValue) {
    const auto hold = regfile::LockStore();
    auto full = regfile::FullKeyPath(root, keyPath);
    if (!full) {
        return defaultValue;
    }
    const auto &loaded = regfile::LoadStore(RegistryStorePath());
    if (!loaded.doc || !loaded.doc->store.Has(*full)) {
        return defaultValue;
    }
    if (typeCode != REG_SZ && typeCode != REG_BINARY && typeCode != REG_DWORD) {
        RaiseError(ErrRaised, QT_TRANSLATE_NOOP("Brevita", "Unsupported value type"));
    }
    const regfile::StoredKey *key = loaded.doc->store.Find(*full);
    const regfile::StoredValue *v = key ? key->Find(valueName) : nullptr;
    if (!v) {
        return defaultValue;
    }
    // Only the buffer sizes matter; the stored type is not checked.
    const auto &data = v->data;
    switch (typeCode) {
    case REG_SZ: {
        if (data.size() > kMaxStringRead) {
            return defaultValue;
        }
        std::string s(data.begin(), data.end());
        if (!s.empty() && s.back() == '\0') {
            s.pop_back();
        }
        return s;
    }
    case REG_BINARY:
        if (data.size() > kMaxBinaryRead) {
            return defaultValue;
        }
        return data;
    default: {
        if (data.size() > 4) {
            return defaultValue;
        }
        return static_cast<int32_t>(regfile::DwordOf(data));
    }
    }
}

void SetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                      int32_t typeCode, const RegValue &value) {
    const auto hold = regfile::LockStore();
    auto full = regfile::FullKeyPath(root, keyPath);
    if (!full || valueName.size() > kMaxValueNameLength || regfile::HasControl(valueName)) {
        return;
    }
    auto file = RegistryStorePath();
    const auto &loaded = regfile::LoadStore(file);
    if (!loaded.doc || !loaded.doc->store.Has(*full)) {
        return;
    }
    auto data = StoredBytes(typeCode, value);
    if (!data) {
        return;
    }
    regfile::Document doc = *loaded.doc;
    regfile::PutValue(doc, *full, valueName, static_cast<uint32_t>(typeCode), std::move(*data));
    regfile::SaveStore(file, std::move(doc));
}

std::string RegValueText(const RegValue &value) {
    if (auto *t = std::get_if<std::string>(&value)) {
        return *t;
    }
    if (auto *n = std::get_if<int32_t>(&value)) {
        return std::to_string(*n);
    }
    if (auto *b = std::get_if<std::vector<uint8_t>>(&value)) {
        return std::string(b->begin(), b->end());
    }
    return {};
}

int32_t RegValueLong(const RegValue &value) {
    if (auto *n = std::get_if<int32_t>(&value)) {
        return *n;
    }
    if (std::holds_alternative<std::monostate>(value)) {
        return 0;
    }
    if (auto *t = std::get_if<std::string>(&value)) {
        bool overflow;
        if (auto n = ParseWholeNumber(*t, overflow)) {
            return *n;
        }
        if (overflow) {
            RaiseError(ErrOverflow, QT_TRANSLATE_NOOP("Brevita", "Overflow"));
        }
    }
    RaiseError(ErrTypeMismatch, QT_TRANSLATE_NOOP("Brevita", "Type mismatch"));
}

} // namespace brevita
