#pragma once
// The store file on disk: read and parsed only when it has changed since the
// last time, and written whole through a sibling file renamed into place.
// One snapshot serves the whole process; every call below is made holding
// the lock LockStore gives.

#include "RegDocument.h"
#include "RegFileParser.h"

#include <cstdint>
#include <filesystem>
#include <mutex>

namespace brevita::regfile {

// The store's lock, held until the guard given goes out of scope.
std::unique_lock<std::mutex> LockStore();

// The store as the file holds it now: no document (and why) when the file
// exists but cannot be read or parsed, an empty store when there is no file
// yet. The reference stays good until the next LoadStore or SaveStore.
const Parsed &LoadStore(const std::filesystem::path &file);

// Writes the document to the file (where it points, for a link), making
// its folder when missing; false, with the file unchanged, when that fails.
// Once written the document is what the file holds.
bool SaveStore(const std::filesystem::path &file, Document doc);

// How many times the file has been parsed so far.
uint64_t StoreParses();

} // namespace brevita::regfile
