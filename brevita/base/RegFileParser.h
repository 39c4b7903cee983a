#pragma once
// Reading the store file's bytes into the document they make: its lines,
// keys and values, or the line at which they stop being a store.

#include "RegDocument.h"
#include "RegistryAPI.h"

#include <optional>
#include <string_view>

namespace brevita::regfile {

// A document, or (with no document) why the file is none: at which line,
// from 1, or for line 0 the file as a whole.
struct Parsed {
    std::optional<Document> doc;
    RegistryFault fault;
};

// The document the file's bytes make, read as an import would apply them,
// or why they make none. A file of blank lines (or none) is an empty store,
// to be written with the usual header and CR LF line ends.
Parsed ParseStore(std::string_view bytes);

} // namespace brevita::regfile
