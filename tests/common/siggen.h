// Test signals for the detectors and end-to-end runs: sines, noise, digital
// silence, DTMF digit strings and TTY (45.45 baud Baudot FSK) text, as 16-bit
// samples at any rate, with conversions to PCM bytes and a minimal WAV file
// writer. Header-only. Durations are in ms and rounded to whole samples.
#ifndef TESTS_COMMON_SIGGEN_H
#define TESTS_COMMON_SIGGEN_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vmwav/waveformat.h"

namespace siggen {

using Samples = std::vector<int16_t>;

constexpr double kPi = 3.14159265358979323846;

inline size_t SampleCount(double ms, unsigned nRate) {
    return size_t(llround(ms * nRate / 1000.0));
}

// The amplitude of dB relative to full scale (32767).
inline double DbToAmplitude(double db) {
    return 32767.0 * pow(10.0, db / 20.0);
}

inline int16_t Clip(double v) {
    return int16_t(lrint(std::clamp(v, -32768.0, 32767.0)));
}

inline Samples Silence(double ms, unsigned nRate) {
    return Samples(SampleCount(ms, nRate), 0);
}

// A sum of sines of equal peak amplitude, each starting at phase 0.
inline Samples Tones(const std::vector<double> &hz, double amplitude, double ms, unsigned nRate) {
    Samples out(SampleCount(ms, nRate));
    for (size_t i = 0; i < out.size(); ++i) {
        double v = 0;
        for (double f : hz)
            v += amplitude * sin(2 * kPi * f * double(i) / nRate);
        out[i] = Clip(v);
    }
    return out;
}

inline Samples Sine(double hz, double amplitude, double ms, unsigned nRate) {
    return Tones({hz}, amplitude, ms, nRate);
}

// Uniform in (0, 1), reproducible from its start state.
struct Uniform {
    uint64_t state;
    double operator()() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (double(state >> 11) + 0.5) / 9007199254740992.0;
    }
};

// Gaussian white noise of the given RMS, reproducible from seed.
inline Samples Noise(double rms, double ms, unsigned nRate, uint32_t seed = 1) {
    Samples out(SampleCount(ms, nRate));
    Uniform uniform{seed * 0x9E3779B97F4A7C15ull + 1};
    for (auto &s : out)
        s = Clip(rms * sqrt(-2 * log(uniform())) * cos(2 * kPi * uniform()));
    return out;
}

// Pink (1/f) noise of the given RMS: white noise through a sum of first-order
// low passes an octave apart, scaled to the RMS. Reproducible from seed.
inline Samples PinkNoise(double rms, double ms, unsigned nRate, uint32_t seed = 1) {
    const size_t n = SampleCount(ms, nRate);
    Uniform uniform{seed * 0x9E3779B97F4A7C15ull + 3};
    std::vector<double> v(n);
    double b[7] = {};
    static const double kPole[7] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616, 0};
    static const double kGain[7] = {0.0555179, 0.0750759,  0.1538520, 0.3104856,
                                    0.5329522, -0.0168980, 0};
    double sumSq = 0;
    for (double &x : v) {
        const double w = sqrt(-2 * log(uniform())) * cos(2 * kPi * uniform());
        double sum = 0;
        for (int k = 0; k < 6; ++k)
            sum += b[k] = kPole[k] * b[k] + kGain[k] * w;
        x = sum + b[6] + w * 0.5362;
        b[6] = w * 0.115926;
        sumSq += x * x;
    }
    const double gain = n > 0 && sumSq > 0 ? rms / sqrt(sumSq / double(n)) : 0;
    Samples out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = Clip(v[i] * gain);
    return out;
}

// Mains hum: hz and its harmonics 2 to 5, each half the one below, of the
// given total RMS.
inline Samples Hum(double hz, double rms, double ms, unsigned nRate) {
    Samples out(SampleCount(ms, nRate));
    double sumSqAmp = 0;
    for (int h = 1; h <= 5; ++h)
        sumSqAmp += pow(0.5, 2 * (h - 1)) / 2;
    const double a = rms / sqrt(sumSqAmp);
    for (size_t i = 0; i < out.size(); ++i) {
        double v = 0;
        for (int h = 1; h <= 5; ++h)
            v += a * pow(0.5, h - 1) * sin(2 * kPi * hz * h * double(i) / nRate);
        out[i] = Clip(v);
    }
    return out;
}

inline Samples &Append(Samples &dst, const Samples &src) {
    dst.insert(dst.end(), src.begin(), src.end());
    return dst;
}

inline Samples Concat(std::initializer_list<Samples> parts) {
    Samples out;
    for (const Samples &p : parts)
        Append(out, p);
    return out;
}

// Sample by sample sum of two signals (the shorter one padded with 0).
inline Samples Mix(const Samples &a, const Samples &b) {
    Samples out(std::max(a.size(), b.size()));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Clip(double(i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0));
    return out;
}

// Little-endian signed 16-bit PCM bytes.
inline std::vector<uint8_t> ToPcm16(const Samples &s) {
    std::vector<uint8_t> out;
    for (int16_t v : s)
        out.insert(out.end(), {uint8_t(uint16_t(v) & 0xFF), uint8_t(uint16_t(v) >> 8)});
    return out;
}

// Unsigned 8-bit PCM bytes (128 is zero), keeping the high byte.
inline std::vector<uint8_t> ToPcm8(const Samples &s) {
    std::vector<uint8_t> out;
    for (int16_t v : s)
        out.push_back(uint8_t((v >> 8) + 128));
    return out;
}

// A PCM format record for nChannels of nBits (8 or 16) at nRate.
inline WAVEFORMATEX PcmFormat(unsigned nRate, unsigned nBits = 16, unsigned nChannels = 1) {
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = uint16_t(nChannels);
    wfx.nSamplesPerSec = nRate;
    wfx.nBlockAlign = uint16_t(nChannels * nBits / 8);
    wfx.nAvgBytesPerSec = nRate * wfx.nBlockAlign;
    wfx.wBitsPerSample = uint16_t(nBits);
    return wfx;
}

// Writes a canonical 44-byte-header mono 16-bit PCM WAV file; false on failure.
inline bool WriteWav16(const std::string &path, const Samples &s, unsigned nRate) {
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const WAVEFORMATEX wfx = PcmFormat(nRate);
    const uint32_t cbData = uint32_t(s.size() * 2);
    const uint32_t cbRiff = 36 + cbData, cbFmt = 16;
    bool ok = fwrite("RIFF", 1, 4, f) == 4 && fwrite(&cbRiff, 4, 1, f) == 1 &&
              fwrite("WAVEfmt ", 1, 8, f) == 8 && fwrite(&cbFmt, 4, 1, f) == 1 &&
              fwrite(&wfx, 16, 1, f) == 1 && fwrite("data", 1, 4, f) == 4 &&
              fwrite(&cbData, 4, 1, f) == 1;
    const std::vector<uint8_t> pcm = ToPcm16(s);
    ok = ok && fwrite(pcm.data(), 1, pcm.size(), f) == pcm.size();
    return fclose(f) == 0 && ok;
}

// DTMF: each key of keys ("0"-"9", "*", "#", "A"-"D") as a row and a column
// tone of the given peak amplitude each, for msTone, followed by msGap of
// digital silence.
inline Samples Dtmf(const std::string &keys, double msTone, double msGap, double amplitude,
                    unsigned nRate) {
    static const char *const kRows[4] = {"123A", "456B", "789C", "*0#D"};
    static const double kRowHz[4] = {697, 770, 852, 941};
    static const double kColumnHz[4] = {1209, 1336, 1477, 1633};
    Samples out;
    for (char key : keys) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (kRows[r][c] == key)
                    Append(out, Tones({kRowHz[r], kColumnHz[c]}, amplitude, msTone, nRate));
        Append(out, Silence(msGap, nRate));
    }
    return out;
}

// TTY: 45.45 baud, mark (1) 1400 Hz, space (0) 1800 Hz, continuous phase.
// Each character is a start bit (space), its five code bits with the most
// significant first, and stopBits of mark; a figures (27) or letters (31)
// shift is sent before a character that needs the other shift, the receiver
// starting in letters. Text is upper case letters, digits, space, CR, LF and
// the figures punctuation; other characters are skipped. msCharGap adds idle
// mark between characters; unshiftOnSpace sends no letters shift where the
// receiver is to return to letters by itself after a space.
struct BaudotOptions {
    double stopBits = 2;
    double amplitude = 8000;
    double msLeadMark = 150;     // mark before the first character
    double msTrailMark = 150;    // mark after the last one
    double msCharGap = 0;        // extra mark between characters
    double speed = 1;            // bit rate against 45.45 baud
    bool unshiftOnSpace = false; // a space returns to letters without a shift
};

constexpr double kBaudotBitMs = 1000.0 / 45.45;

// The five-bit code and shift (31 letters, 27 figures, 0 either) of c; false
// when c has none.
inline bool BaudotCode(char c, int *pCode, int *pShift) {
    static const char kLetters[] = "\0T\rO HNM\nLRGIPCVEZDBSYFXAWJ\x1bUQK\x1f";
    static const char kFigures[] = "\0"
                                   "5\r9 #,.\n)4&80:;3\"$?\a6!/-2'\x1b"
                                   "71(\x1f";
    for (int i = 0; i < 32; ++i)
        if (i != 27 && i != 31 && (kLetters[i] == c || kFigures[i] == c)) {
            *pCode = i;
            *pShift = kLetters[i] == kFigures[i] ? 0 : kLetters[i] == c ? 31 : 27;
            return true;
        }
    return false;
}

inline Samples Baudot(const std::string &text, unsigned nRate, const BaudotOptions &opt = {}) {
    // Sample boundaries follow the running time so that 1.5 stop bits and
    // 22.002 ms bits do not drift.
    Samples out;
    double phase = 0, tBits = 0;
    auto send = [&](int value, double bits) {
        tBits += bits;
        const size_t end = SampleCount(tBits * kBaudotBitMs / opt.speed, nRate);
        const double step = 2 * kPi * (value ? 1400.0 : 1800.0) / nRate;
        for (; out.size() < end; phase = fmod(phase + step, 2 * kPi))
            out.push_back(Clip(opt.amplitude * sin(phase)));
    };
    auto sendCode = [&](int code) {
        send(0, 1);
        for (int b = 4; b >= 0; --b)
            send((code >> b) & 1, 1);
        send(1, opt.stopBits + opt.msCharGap / kBaudotBitMs);
    };
    send(1, opt.msLeadMark / kBaudotBitMs);
    int shift = 31;
    for (char c : text) {
        int code, need;
        if (!BaudotCode(c, &code, &need))
            continue;
        if (need != 0 && need != shift)
            sendCode(shift = need);
        sendCode(code);
        if (code == 4 && opt.unshiftOnSpace)
            shift = 31;
    }
    send(1, opt.msTrailMark / kBaudotBitMs);
    return out;
}

// Speech-like audio for talk-off tests: syllables voiced by a glottal pulse
// train of gliding pitch (85 to 260 Hz) through three formants that move
// between vowels, unvoiced noise bursts and pauses, each syllable at -26 to
// -14 dBFS RMS. Reproducible from seed.
inline Samples SpeechLike(double ms, unsigned nRate, uint32_t seed = 1) {
    static const double kVowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240},
                                        {530, 1840, 2480}, {570, 840, 2410},  {660, 1720, 2410},
                                        {520, 1190, 2390}, {490, 1350, 1690}};
    const size_t nVowels = sizeof kVowels / sizeof kVowels[0];
    Uniform uniform{seed * 0x9E3779B97F4A7C15ull + 7};
    auto between = [&](double lo, double hi) { return lo + (hi - lo) * uniform(); };
    // A two-pole resonator per formant, retuned every sample.
    struct Resonator {
        double y1 = 0, y2 = 0;
        double Step(double x, double hz, double bw, unsigned rate) {
            const double r = exp(-kPi * bw / rate);
            const double y = (1 - r) * x + 2 * r * cos(2 * kPi * hz / rate) * y1 - r * r * y2;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    const size_t total = SampleCount(ms, nRate);
    Samples out;
    const double *from = kVowels[0];
    double phase = 0, gPrev = 0;
    Resonator f1, f2, f3;
    while (out.size() < total) {
        const double kind = uniform();
        std::vector<double> seg;
        if (kind < 0.2) {
            seg.assign(SampleCount(between(100, 400), nRate), 0.0);
        } else if (kind < 0.35) {
            // A fricative: noise through a high resonance.
            const double hz = between(2000, std::min(3500.0, 0.45 * nRate));
            seg.resize(SampleCount(between(40, 150), nRate));
            for (double &v : seg)
                v = f3.Step(sqrt(-2 * log(uniform())) * cos(2 * kPi * uniform()), hz, 600, nRate);
        } else {
            const double *to = kVowels[size_t(uniform() * nVowels) % nVowels];
            const double f0a = between(85, 260), f0b = f0a * between(0.8, 1.25);
            seg.resize(SampleCount(between(80, 280), nRate));
            for (size_t i = 0; i < seg.size(); ++i) {
                const double t = double(i) / double(seg.size());
                phase += (f0a + (f0b - f0a) * t) / nRate;
                phase -= floor(phase);
                // Rosenberg pulse: opens over 30% of the period, closes over 12%.
                double g = 0;
                if (phase < 0.3)
                    g = 0.5 * (1 - cos(kPi * phase / 0.3));
                else if (phase < 0.42)
                    g = cos(kPi * (phase - 0.3) / 0.24);
                double v = g - gPrev; // the lips radiate the derivative
                gPrev = g;
                const double *fm = from;
                v = f1.Step(v, fm[0] + (to[0] - fm[0]) * t, 80, nRate);
                v = f2.Step(v, fm[1] + (to[1] - fm[1]) * t, 100, nRate);
                if (fm[2] + (to[2] - fm[2]) * t < 0.45 * nRate)
                    v = f3.Step(v, fm[2] + (to[2] - fm[2]) * t, 140, nRate);
                seg[i] = v;
            }
            from = to;
        }
        double sumSq = 0;
        for (double v : seg)
            sumSq += v * v;
        const double rms = seg.empty() ? 0 : sqrt(sumSq / double(seg.size()));
        const double gain = rms > 0 ? DbToAmplitude(between(-26, -14)) / rms : 0;
        // Syllables swell and fade rather than switch.
        const size_t nEdge = std::min(seg.size() / 2, SampleCount(15, nRate));
        for (size_t i = 0; i < seg.size(); ++i) {
            double env = 1;
            if (i < nEdge)
                env = 0.5 * (1 - cos(kPi * double(i) / double(nEdge)));
            else if (seg.size() - i <= nEdge)
                env = 0.5 * (1 - cos(kPi * double(seg.size() - i) / double(nEdge)));
            out.push_back(Clip(seg[i] * gain * env));
        }
    }
    out.resize(total);
    return out;
}

} // namespace siggen

#endif
