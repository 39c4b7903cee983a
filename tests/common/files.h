// Files for the sndprobe tests and fuzz targets: a private folder, whole-file
// bytes and RIFF files put together and taken apart by hand.
#ifndef TESTS_COMMON_FILES_H
#define TESTS_COMMON_FILES_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

// A private folder for one test, removed with everything in it.
class TempDir {
  public:
    TempDir() : path_(std::filesystem::temp_directory_path() / "sndprobetest.XXXXXX") {
        path_ = mkdtemp(path_.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    const std::string &Path() const { return path_; }
    // The names in the folder, sorted; trace.ini, which every run of the
    // program may write, left out.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(path_))
            if (e.path().filename() != "trace.ini")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

// The folder of the built programs and libraries; the tests are built into
// it as well.
inline std::string BinDir() {
    const char *dir = getenv("SNDPROBE_BIN_DIR");
    return dir && *dir ? dir : std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    return bool(f);
}

inline std::string ReadText(const std::string &path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline bool WriteText(const std::string &path, const std::string &text) {
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline void SetLe32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (size_t i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

inline uint32_t Le32(const std::vector<uint8_t> &v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
           uint32_t(v[at + 3]) << 24;
}

// Appends x as n little-endian bytes.
inline void Put(std::vector<uint8_t> &v, uint32_t x, int n) {
    for (int i = 0; i < n; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

// A narrow name as a wide one (the tests' names are plain ASCII).
inline std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

// A RIFF file put together by hand, for layouts no library writes. Odd
// chunks get their pad byte; the RIFF size is right.
struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
};

inline std::vector<uint8_t> BuildRiff(const std::vector<Chunk> &chunks) {
    std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Chunk &c : chunks) {
        v.insert(v.end(), c.id.begin(), c.id.end());
        Put(v, uint32_t(c.body.size()), 4);
        v.insert(v.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1)
            v.push_back(0);
    }
    SetLe32(v, 4, uint32_t(v.size() - 8));
    return v;
}

// A "fmt " body; a negative cbSize leaves the field out (the 16-byte layout).
inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate,
                                    uint16_t blockAlign, uint16_t bits, int cbSize = -1,
                                    const std::vector<uint8_t> &extra = {}) {
    std::vector<uint8_t> v;
    Put(v, tag, 2);
    Put(v, channels, 2);
    Put(v, rate, 4);
    Put(v, rate * blockAlign, 4);
    Put(v, blockAlign, 2);
    Put(v, bits, 2);
    if (cbSize >= 0)
        Put(v, uint32_t(cbSize), 2);
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
}

// The first chunk of each kind in a RIFF/WAVE file, cut at the file's end.
inline std::map<std::string, std::vector<uint8_t>> Chunks(const std::vector<uint8_t> &file) {
    std::map<std::string, std::vector<uint8_t>> chunks;
    for (size_t at = 12; at + 8 <= file.size();) {
        const uint32_t cb = Le32(file, at + 4);
        const auto body = file.begin() + long(at) + 8;
        chunks.emplace(
            std::string(body - 8, body - 4),
            std::vector<uint8_t>(body, body + long(std::min<size_t>(cb, file.size() - at - 8))));
        at += 8 + size_t(cb) + (cb & 1);
    }
    return chunks;
}

// True when the RIFF size is the file's and the chunks fill the file exactly.
inline bool WellFormed(const std::vector<uint8_t> &file) {
    if (file.size() < 12 || Le32(file, 4) != file.size() - 8)
        return false;
    size_t at = 12;
    for (uint32_t cb; at + 8 <= file.size(); at += 8 + size_t(cb) + (cb & 1))
        cb = Le32(file, at + 4);
    return at == file.size();
}

#endif
