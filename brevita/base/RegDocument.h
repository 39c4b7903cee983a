#pragma once
// The store file as read: its lines, kept so that what is written back
// keeps the file's comments, order, encoding and line ends, and the keys and
// values those lines make.

#include "RegFileEncoding.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace brevita::regfile {

// Where a value's line is in the document: a line of the file (and the
// continuation lines after it), or a line added after one of them.
struct Place {
    size_t line = 0;
    size_t count = 1;
    std::optional<size_t> added;
};

struct StoredValue {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
    Place place;
};

// Names are looked up through their lower-case forms, so that a key with
// thousands of values, or a store with thousands of keys, is read in time
// proportional to its size.
struct StoredKey {
    std::string path; // root name and sub-keys as written, e.g. HKEY_LOCAL_MACHINE\Software
    std::unordered_map<std::string, StoredValue> values; // by lower-case name
    // The line of its last section after which a new value goes.
    std::optional<size_t> anchor;

    // The value of that name in any letters, or null.
    const StoredValue *Find(const std::string &name) const;
};

// The keys and values that the file's lines leave, read in order as an
// import would apply them: a deleting line removes what came before it.
struct Store {
    std::map<std::string, StoredKey> keys; // by lower-case full path

    // The key kept at that full path, its letters in either case, or null.
    const StoredKey *Find(const std::string &full) const;
    // The key at that full path, made (with no section yet) when missing.
    StoredKey &Slot(const std::string &full);
    // Removes the key and every key below it.
    void Delete(const std::string &full);
    // A key exists when it has a section, or a section below it does, or it
    // is a root.
    bool Has(const std::string &full) const;
};

// One line of the file as it was read, and the lines written after it since.
struct DocLine {
    std::string text;
    bool dropped = false;
    std::vector<std::string> added;
};

struct Document {
    Encoding encoding = Encoding::Plain;
    std::string lineEnd = "\r\n";
    bool finalLineEnd = true;
    std::vector<DocLine> lines;
    Store store;
};

// Whether the line holds nothing but blanks.
bool IsBlankLine(const std::string &line);

// A dword value as the store keeps it: four bytes, least significant first.
std::vector<uint8_t> DwordBytes(uint32_t n);
// The number a dword value's bytes hold; fewer than four read as if the
// missing ones were 0, more than four as their first four.
uint32_t DwordOf(const std::vector<uint8_t> &data);

} // namespace brevita::regfile
