// Whole-file read through the WAV library, the way sndprobe does it: open,
// set the 16-bit mono play format, then one WavReadFormatPlay of the whole
// length. Bytes per second count the 16-bit PCM delivered.
#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "VmLib/vmapi.h"
#include "common/siggen.h"
#include "sndkit/wavtime.h"
#include "vmwav/vmwav.h"

namespace {

constexpr unsigned kRate = 8000;

// G.711 µ-law of one 16-bit sample (the usual biased segment encoding).
uint8_t MuLaw(int16_t s) {
    const int kBias = 0x84;
    int v = s;
    int sign = 0;
    if (v < 0) {
        v = -v;
        sign = 0x80;
    }
    if (v > 32635)
        v = 32635;
    v += kBias;
    int seg = 7;
    for (int mask = 0x4000; (v & mask) == 0 && seg > 0; mask >>= 1)
        --seg;
    const int mant = (v >> (seg + 3)) & 0x0F;
    return uint8_t(~(sign | (seg << 4) | mant));
}

void Put16(std::vector<uint8_t> &b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

bool WriteMuLawWav(const std::string &path, const siggen::Samples &s) {
    std::vector<uint8_t> b;
    const uint32_t cb = uint32_t(s.size());
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    Put32(b, 4 + 26 + 12 + 8 + cb + (cb & 1));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 18);
    Put16(b, WAVE_FORMAT_MULAW);
    Put16(b, 1);
    Put32(b, kRate);
    Put32(b, kRate);
    Put16(b, 1);
    Put16(b, 8);
    Put16(b, 0);
    b.insert(b.end(), {'f', 'a', 'c', 't'});
    Put32(b, 4);
    Put32(b, cb);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, cb);
    for (int16_t v : s)
        b.push_back(MuLaw(v));
    if (cb & 1)
        b.push_back(0);
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

// Speech-like enough for a reader: tones over noise, loud and quiet stretches.
siggen::Samples Signal(double seconds) {
    const siggen::Samples one =
        siggen::Concat({siggen::Noise(12, 700, kRate, 7),
                        siggen::Mix(siggen::Tones({180, 620, 1700}, 3000, 2300, kRate),
                                    siggen::Noise(400, 2300, kRate, 9))});
    siggen::Samples out;
    out.reserve(size_t(seconds * kRate));
    while (out.size() < size_t(seconds * kRate))
        siggen::Append(out, one);
    out.resize(size_t(seconds * kRate));
    return out;
}

// Files live for the whole program, one per kind and length, in one folder
// that goes away at exit.
struct TempFiles {
    std::string dir;
    std::vector<std::string> files;
    ~TempFiles() {
        for (const std::string &f : files)
            unlink(f.c_str());
        if (!dir.empty())
            rmdir(dir.c_str());
    }
};

const std::string &TestFile(bool bMuLaw, int seconds) {
    static TempFiles temp;
    static std::string paths[2][2];
    if (temp.dir.empty()) {
        char dir[] = "/tmp/bench_wavread.XXXXXX";
        if (mkdtemp(dir) == nullptr)
            abort();
        temp.dir = dir;
    }
    std::string &p = paths[bMuLaw][seconds >= 600 ? 1 : 0];
    if (p.empty()) {
        p = temp.dir + (bMuLaw ? "/ulaw" : "/pcm") + std::to_string(seconds) + ".wav";
        const siggen::Samples s = Signal(seconds);
        if (!(bMuLaw ? WriteMuLawWav(p, s) : siggen::WriteWav16(p, s, kRate)))
            abort();
        temp.files.push_back(p);
    }
    return p;
}

std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

// One whole-file read; returns the bytes delivered, or -1.
int64_t ReadWhole(const std::wstring &name, std::vector<uint8_t> &buffer) {
    VMHINSTANCE hInst = VmModuleHandle();
    HWAVFILE h = WavOpen(WAV_VERSION, hInst, name.c_str(), nullptr, 0, 0, WAV_MODE_READ);
    if (h == nullptr)
        return -1;
    int64_t result = -1;
    WAVEFORMATEX *stored = WavGetFormat(h, WAV_FORMAT_STORED);
    WAVEFORMATEX *analysis = stored ? WavFormatPcm(stored->nSamplesPerSec, 16, 1, 0) : nullptr;
    if (analysis != nullptr && WavSetFormat(h, analysis, WAV_FORMAT_PLAY) == 0 &&
        WavAcmConvertInit(h, 1, 0) == 0) {
        const int32_t ms = WavGetLength(h);
        WAVEFORMATEX *play = WavGetFormat(h, WAV_FORMAT_PLAY);
        const int32_t total = ms >= 0 && play ? WavFormatMsToBytes(play, uint32_t(ms), 1) : -1;
        if (total >= 0) {
            if (buffer.size() < size_t(total))
                buffer.resize(size_t(total));
            result = WavReadFormatPlay(h, buffer.data(), total);
        }
        if (play != nullptr)
            WavFormatFree(play);
        WavAcmConvertTerm(h, 0);
    }
    if (analysis != nullptr)
        WavFormatFree(analysis);
    if (stored != nullptr)
        WavFormatFree(stored);
    if (WavClose(h) != 0)
        return -1;
    return result;
}

void BM_WavReadWhole(benchmark::State &state) {
    const bool bMuLaw = state.range(0) != 0;
    const int seconds = int(state.range(1));
    const std::wstring name = Wide(TestFile(bMuLaw, seconds));
    std::vector<uint8_t> buffer;
    const int64_t expect = int64_t(seconds) * kRate * 2;
    int64_t bytes = 0;
    for (auto _ : state) {
        const int64_t n = ReadWhole(name, buffer);
        if (n != expect) {
            state.SkipWithError("whole-file read delivered the wrong length");
            return;
        }
        benchmark::DoNotOptimize(buffer.data());
        bytes += n;
    }
    state.SetBytesProcessed(bytes);
    state.SetLabel(bMuLaw ? "mu-law 8 kHz" : "PCM 16-bit 8 kHz");
}

} // namespace

BENCHMARK(BM_WavReadWhole)
    ->ArgNames({"mulaw", "seconds"})
    ->Args({0, 60})
    ->Args({1, 60})
    ->Args({0, 3600})
    ->Args({1, 3600})
    ->Unit(benchmark::kMillisecond);
