#include "RegFileWriter.h"

#include "RegistryAPI.h"
#include "modCommon.h"

#include <algorithm>
#include <cstdio>

namespace brevita::regfile {

namespace {

std::string Quote(const std::string &s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + '"';
}

std::string HexList(const std::vector<uint8_t> &data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) {
            out += ',';
        }
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string ValueLine(const std::string &name, uint32_t type, const std::vector<uint8_t> &data) {
    std::string out = name.empty() ? std::string("@") : Quote(name);
    out += '=';
    bool plainText = type == REG_SZ && !data.empty() && data.back() == 0 &&
                     std::none_of(data.begin(), data.end() - 1,
                                  [](uint8_t b) { return b == 0 || b == '\r' || b == '\n'; });
    if (plainText) {
        out += Quote(std::string(data.begin(), data.end() - 1));
    } else if (type == REG_DWORD && data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", DwordOf(data));
        out += buf;
    } else if (type == REG_BINARY) {
        out += "hex:" + HexList(data);
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", type);
        out += buf + HexList(data);
    }
    return out;
}

// The text of the last line the document writes.
std::string LastLine(const Document &doc) {
    for (auto it = doc.lines.rbegin(); it != doc.lines.rend(); ++it) {
        if (!it->added.empty()) {
            return it->added.back();
        }
        if (!it->dropped) {
            return it->text;
        }
    }
    return {};
}

} // namespace

void AppendSection(Document &doc, StoredKey &key) {
    if (!IsBlankLine(LastLine(doc))) {
        doc.lines.push_back({"", false, {}});
    }
    doc.lines.push_back({"[" + key.path + "]", false, {}});
    key.anchor = doc.lines.size() - 1;
    doc.lines.push_back({"", false, {}});
}

void PutValue(Document &doc, const std::string &full, const std::string &name, uint32_t type,
              std::vector<uint8_t> data) {
    StoredKey &key = doc.store.Slot(full);
    if (!key.anchor) {
        AppendSection(doc, key);
    }
    auto it = key.values.find(AsciiLower(name));
    if (it != key.values.end()) {
        StoredValue &v = it->second;
        const std::string line = ValueLine(v.name, type, data);
        Place &p = v.place;
        if (p.added) {
            doc.lines[p.line].added[*p.added] = line;
        } else {
            doc.lines[p.line].text = line;
            for (size_t k = 1; k < p.count; ++k) {
                doc.lines[p.line + k].dropped = true;
            }
            p.count = 1;
        }
        v.type = type;
        v.data = std::move(data);
        return;
    }
    DocLine &anchor = doc.lines[*key.anchor];
    anchor.added.push_back(ValueLine(name, type, data));
    key.values[AsciiLower(name)] = {
        name, type, std::move(data), {*key.anchor, 1, anchor.added.size() - 1}};
}

std::string Serialise(const Document &doc) {
    std::string text;
    bool first = true;
    const auto put = [&](const std::string &line) {
        if (!first) {
            text += doc.lineEnd;
        }
        text += line;
        first = false;
    };
    for (const DocLine &line : doc.lines) {
        if (!line.dropped) {
            put(line.text);
        }
        for (const std::string &added : line.added) {
            put(added);
        }
    }
    if (doc.finalLineEnd && !first) {
        text += doc.lineEnd;
    }
    return EncodeStoreText(doc.encoding, text);
}

} // namespace brevita::regfile
