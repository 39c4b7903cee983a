// Files for the sndprobe tests: a private folder and whole-file bytes.
#ifndef TESTS_COMMON_FILES_H
#define TESTS_COMMON_FILES_H

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
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

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline void SetLe32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (size_t i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

// A narrow name as a wide one (the tests' names are plain ASCII).
inline std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

#endif
