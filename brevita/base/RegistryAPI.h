#pragma once
// Registry access on the machine-wide store file (the .reg text format).
// Every operation sees the store as the file holds it now (the last store
// parsed is reused while the file is unchanged) and, when it changes
// something, writes the whole store to a sibling file and renames it into
// place.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace brevita {

using HKEY = uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

inline constexpr int32_t REG_SZ = 1;
inline constexpr int32_t REG_BINARY = 3;
inline constexpr int32_t REG_DWORD = 4;

// A value as read or written: nothing (an empty default), text, bytes or a
// 32-bit number.
using RegValue = std::variant<std::monostate, std::string, std::vector<uint8_t>, int32_t>;

// $BREVITA_REGISTRY, else /etc/brevita/registry.reg.
std::filesystem::path RegistryStorePath();

// The store file is read as the platform's registry editor writes it
// (UTF-16LE or UTF-8, with or without a byte order mark, CR LF or LF, either
// header, deleting lines) and written back in the same form, its comments
// and order kept. While it cannot be read every key and value reads as
// missing; this says why: at which line (from 1), or for line 0 that the
// file as a whole is none (reason kNoRegistryFile) or cannot be read.
struct RegistryFault {
    size_t line;
    std::string reason;
};
inline constexpr const char kNoRegistryFile[] = "no registry file";
std::optional<RegistryFault> RegistryStoreFault();

// Whether the key is in the store: a root, or a key with a section of its
// own or below it. False while the store cannot be read.
bool KeyExists(HKEY root, const std::string &keyPath);
// True when the key existed already, false when it was made now; raises
// 1001 "Unable to create the registry key" when it cannot be made.
bool CreateRegistryKey(HKEY root, const std::string &keyPath);
// The value, or the default when the key, the value or the read fails;
// raises 1001 "Unsupported value type" for a type code other than 1, 3, 4
// on a key that could be opened.
RegValue GetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                          int32_t typeCode, const RegValue &defaultValue);
// Writes into an existing key; does nothing on any failure.
void SetRegistryValue(HKEY root, const std::string &keyPath, const std::string &valueName,
                      int32_t typeCode, const RegValue &value);

// How many times this process has parsed the store file: reads of a file
// that has not changed since reuse what was parsed.
uint64_t RegistryStoreParses();

// Conversions a caller applies to what it read: the text form of a value,
// and its number (an empty value is 0; raises 13 "Type mismatch" for text
// that is no whole number and 6 "Overflow" outside 32 bits).
std::string RegValueText(const RegValue &value);
int32_t RegValueLong(const RegValue &value);

} // namespace brevita
