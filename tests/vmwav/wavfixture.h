// Helpers shared by the WAV library tests: test signals and whole-file
// decoding and copying through the library's own calls.
#ifndef TESTS_VMWAV_WAVFIXTURE_H
#define TESTS_VMWAV_WAVFIXTURE_H

#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "VmLib/trace_capture.h"
#include "vmwav/vmwav.h"

// Offset of the body of the first chunk with this id (found by its name
// alone), or the size of bytes when there is none.
inline size_t FindBody(const std::vector<uint8_t> &bytes, const std::string &id) {
    const auto at = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
    return at == bytes.end() ? bytes.size() : size_t(at - bytes.begin()) + 8;
}

inline HWAVFILE OpenRead(const std::string &path) {
    return WavOpen(WAV_VERSION, VmModuleHandle(), Wide(path).c_str(), nullptr, 0, 0, WAV_MODE_READ);
}

inline HWAVFILE Create(const std::string &path, const WAVEFORMATEX *pwfx) {
    return WavOpen(WAV_VERSION, VmModuleHandle(), Wide(path).c_str(), pwfx, 0, 0, WAV_MODE_CREATE);
}

// Two tones per channel, different in each, at about half of full scale.
inline std::vector<int16_t> TestSignal(size_t frames, int channels, int rate) {
    std::vector<int16_t> s(frames * channels);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i / channels) / rate;
        const int c = int(i % channels);
        s[i] = int16_t(lrint(32767 * (0.3 * sin(2 * M_PI * (300 + 150 * c) * t) +
                                      0.2 * sin(2 * M_PI * (1100 - 200 * c) * t))));
    }
    return s;
}

// The library's mix-down: the mean of the channels, truncated.
inline std::vector<int16_t> MixMono(const std::vector<int16_t> &s, int channels) {
    std::vector<int16_t> m;
    for (auto at = s.begin(); s.end() - at >= channels; at += channels)
        m.push_back(int16_t(std::accumulate(at, at + channels, 0) / channels));
    return m;
}

// Decodes the whole file to 16-bit mono in pieces; empty on any failure.
inline std::vector<int16_t> DecodeAll(const std::string &path, int32_t *pmsLength = nullptr) {
    std::vector<int16_t> out, piece(6000);
    HWAVFILE h = OpenRead(path);
    WAVEFORMATEX *stored = h ? WavGetFormat(h, WAV_FORMAT_STORED) : nullptr;
    WAVEFORMATEX *pcm = stored ? WavFormatPcm(stored->nSamplesPerSec, 16, 1, 0) : nullptr;
    bool ok = pcm != nullptr && WavSetFormat(h, pcm, WAV_FORMAT_PLAY) == 0 &&
              WavAcmConvertInit(h, 1, 0) == 0;
    if (ok && pmsLength != nullptr)
        *pmsLength = WavGetLength(h);
    for (int32_t n = 1; ok && n > 0;) {
        n = WavReadFormatPlay(h, piece.data(), int32_t(piece.size() * 2));
        ok = n >= 0;
        out.insert(out.end(), piece.begin(), piece.begin() + std::max(n, 0) / 2);
    }
    if (!ok)
        out.clear();
    for (WAVEFORMATEX *f : {pcm, stored})
        EXPECT_TRUE(f == nullptr || WavFormatFree(f) == 0);
    if (h != nullptr) {
        EXPECT_EQ(WavAcmConvertTerm(h, 0), 0);
        EXPECT_EQ(WavClose(h), 0);
    }
    return out;
}

// Copies raw bytes [offset, offset + cb) of the source's data into a new file
// made from the source's stored format, as the strip writer does; cb < 0
// copies through the end.
inline bool CopyStretch(const std::string &from, const std::string &to, int32_t offset,
                        int32_t cb) {
    HWAVFILE src = OpenRead(from);
    WAVEFORMATEX *fmt = src ? WavGetFormat(src, WAV_FORMAT_STORED) : nullptr;
    HWAVFILE dst = fmt ? Create(to, fmt) : nullptr;
    if (cb < 0 && src != nullptr)
        cb = WavGetDataSize(src) - offset;
    bool ok = dst != nullptr && WavSeek(src, offset, 0) == offset && WavCopyRaw(src, dst, cb) == cb;
    ok = (dst == nullptr || WavClose(dst) == 0) && ok;
    ok = (fmt == nullptr || WavFormatFree(fmt) == 0) && ok;
    return (src == nullptr || WavClose(src) == 0) && ok;
}

#endif
