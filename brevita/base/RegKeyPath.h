#pragma once
// The names of keys in the store file: the roots, and the paths below them.

#include "RegistryAPI.h"

#include <optional>
#include <string>

namespace brevita::regfile {

// Whether s holds a control character, which no key or value name may.
bool HasControl(const std::string &s);

// The root a name stands for, its letters in either case; nothing for a
// name that is no root's.
std::optional<HKEY> RootNamed(const std::string &name);

// The full path of a key as the store writes it (root name and sub-keys,
// e.g. HKEY_LOCAL_MACHINE\Software), or nothing when the path cannot name a
// key. One trailing backslash is allowed; the empty path is the root itself.
std::optional<std::string> FullKeyPath(HKEY root, std::string keyPath);

} // namespace brevita::regfile
