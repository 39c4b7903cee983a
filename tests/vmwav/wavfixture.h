// Helpers shared by the WAV library tests: scratch folders, test signals and
// whole-file decoding through the library's own calls.
#ifndef TESTS_VMWAV_WAVFIXTURE_H
#define TESTS_VMWAV_WAVFIXTURE_H

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <unistd.h>

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
