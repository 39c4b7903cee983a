#pragma once
// The text written back for a document that was changed: the lines that
// were read stay as they were, but for the values rewritten where they
// stand, and new values and keys go at the end of their key's last section.

#include "RegDocument.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brevita::regfile {

// A new, empty section of the key at the end of the document, set apart by
// a blank line; the key's new values go into it.
void AppendSection(Document &doc, StoredKey &key);

// Sets the value name of the key at the full path: its line rewritten where
// it was last given, or a new one at the end of the key's last section (a
// new section when the key has none).
void PutValue(Document &doc, const std::string &full, const std::string &name, uint32_t type,
              std::vector<uint8_t> data);

// The file's bytes, in the encoding and with the line ends it was read in.
std::string Serialise(const Document &doc);

} // namespace brevita::regfile
