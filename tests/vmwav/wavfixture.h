// Helpers shared by the WAV library tests: scratch folders, test signals and
// whole-file decoding through the library's own calls.
#ifndef TESTS_VMWAV_WAVFIXTURE_H
#define TESTS_VMWAV_WAVFIXTURE_H

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vmwav/vmwav.h"

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/vmwav-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    static std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }
    const std::string &Path() const { return path_; }

  private:
    std::string path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// A RIFF file put together by hand, for layouts no library writes.
struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
};

inline void Put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

inline void Put32(std::vector<uint8_t> &v, uint32_t x) {
    Put16(v, uint16_t(x));
    Put16(v, uint16_t(x >> 16));
}

// Odd chunks get their pad byte; the RIFF size is right.
inline std::vector<uint8_t> BuildRiff(const std::vector<Chunk> &chunks) {
    std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Chunk &c : chunks) {
        v.insert(v.end(), c.id.begin(), c.id.end());
        Put32(v, uint32_t(c.body.size()));
        v.insert(v.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1)
            v.push_back(0);
    }
    const uint32_t cb = uint32_t(v.size() - 8);
    for (int i = 0; i < 4; ++i)
        v[4 + i] = uint8_t(cb >> (8 * i));
    return v;
}

// A "fmt " body; a negative cbSize leaves the field out (the 16-byte layout).
inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate,
                                    uint16_t blockAlign, uint16_t bits, int cbSize = -1,
                                    const std::vector<uint8_t> &extra = {}) {
    std::vector<uint8_t> v;
    Put16(v, tag);
    Put16(v, channels);
    Put32(v, rate);
    Put32(v, rate * blockAlign);
    Put16(v, blockAlign);
    Put16(v, bits);
    if (cbSize >= 0)
        Put16(v, uint16_t(cbSize));
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
}

// Offset of the body of the first chunk with this id (found by its name
// alone), or the size of bytes when there is none.
inline size_t FindBody(const std::vector<uint8_t> &bytes, const std::string &id) {
    const auto at = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
    return at == bytes.end() ? bytes.size() : size_t(at - bytes.begin()) + 8;
}

inline HWAVFILE OpenRead(const std::string &path) {
    return WavOpen(WAV_VERSION, VmModuleHandle(), TempDir::Wide(path).c_str(), nullptr, 0, 0,
                   WAV_MODE_READ);
}

// Two tones per channel, different in each, at about half of full scale.
inline std::vector<int16_t> TestSignal(size_t frames, int channels, int rate) {
    std::vector<int16_t> s(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / rate;
            const double v = 0.3 * sin(2 * M_PI * (300 + 150 * c) * t) +
                             0.2 * sin(2 * M_PI * (1100 - 200 * c) * t);
            s[i * channels + c] = int16_t(lrint(v * 32767));
        }
    return s;
}

// The library's mix-down: the mean of the channels, truncated.
inline std::vector<int16_t> MixMono(const std::vector<int16_t> &s, int channels) {
    std::vector<int16_t> m(s.size() / channels);
    for (size_t i = 0; i < m.size(); ++i) {
        int32_t sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += s[i * channels + c];
        m[i] = int16_t(sum / channels);
    }
    return m;
}

// Decodes the whole file to 16-bit mono in pieces; empty on any failure.
inline std::vector<int16_t> DecodeAll(const std::string &path, int32_t *pmsLength = nullptr) {
    std::vector<int16_t> out;
    HWAVFILE h = WavOpen(WAV_VERSION, VmModuleHandle(), TempDir::Wide(path).c_str(), nullptr, 0, 0,
                         WAV_MODE_READ);
    if (h == nullptr)
        return out;
    WAVEFORMATEX *stored = WavGetFormat(h, WAV_FORMAT_STORED);
    WAVEFORMATEX *pcm = stored ? WavFormatPcm(stored->nSamplesPerSec, 16, 1, 0) : nullptr;
    bool ok = pcm != nullptr && WavSetFormat(h, pcm, WAV_FORMAT_PLAY) == 0 &&
              WavAcmConvertInit(h, 1, 0) == 0;
    if (ok && pmsLength != nullptr)
        *pmsLength = WavGetLength(h);
    std::vector<int16_t> piece(6000);
    while (ok) {
        const int32_t n = WavReadFormatPlay(h, piece.data(), int32_t(piece.size() * 2));
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        out.insert(out.end(), piece.begin(), piece.begin() + n / 2);
    }
    if (!ok)
        out.clear();
    EXPECT_EQ(WavAcmConvertTerm(h, 0), 0);
    EXPECT_EQ(WavClose(h), 0);
    if (pcm) {
        EXPECT_EQ(WavFormatFree(pcm), 0);
    }
    if (stored) {
        EXPECT_EQ(WavFormatFree(stored), 0);
    }
    return out;
}

// Copies raw bytes [offset, offset + cb) of the source's data into a new file
// made from the source's stored format; cb < 0 copies through the end.
inline bool CopyStretch(const std::string &from, const std::string &to, int32_t offset,
                        int32_t cb) {
    HWAVFILE src = WavOpen(WAV_VERSION, VmModuleHandle(), TempDir::Wide(from).c_str(), nullptr, 0,
                           0, WAV_MODE_READ);
    if (src == nullptr)
        return false;
    WAVEFORMATEX *fmt = WavGetFormat(src, WAV_FORMAT_STORED);
    HWAVFILE dst = fmt ? WavOpen(WAV_VERSION, VmModuleHandle(), TempDir::Wide(to).c_str(), fmt, 0,
                                 0, WAV_MODE_CREATE)
                       : nullptr;
    bool ok = dst != nullptr && WavSeek(src, offset, 0) == offset;
    if (cb < 0)
        cb = WavGetDataSize(src) - offset;
    std::vector<uint8_t> buf(size_t(cb > 0 ? cb : 1));
    ok = ok && WavRead(src, buf.data(), cb) == cb && WavWrite(dst, buf.data(), cb) == cb;
    if (dst && WavClose(dst) != 0)
        ok = false;
    if (fmt)
        WavFormatFree(fmt);
    WavClose(src);
    return ok;
}

#endif
