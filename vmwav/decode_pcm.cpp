#include "vmwav/decode_pcm.h"

#include <math.h>
#include <string.h>

#include "vmwav/decode_g711.h"

namespace {

// One stored sample of each kind as a 16-bit value.
struct U8 {
    static int32_t Get(const uint8_t *p) { return (int32_t(p[0]) - 128) * 256; }
};
struct S16 {
    static int32_t Get(const uint8_t *p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }
};
// Wider samples keep their top 16 bits, which is where the valid bits of a
// container lie.
struct S24 {
    static int32_t Get(const uint8_t *p) { return int16_t(uint16_t(p[1] | p[2] << 8)); }
};
struct S32 {
    static int32_t Get(const uint8_t *p) { return int16_t(uint16_t(p[2] | p[3] << 8)); }
};

int32_t FloatToPcm(double x) {
    // Scaled by 32768 so that 16-bit audio stored as float comes back exactly.
    if (!(x == x))
        return 0;
    const double v = nearbyint(x * 32768.0);
    if (v >= 32767.0)
        return 32767;
    if (v <= -32768.0)
        return -32768;
    return int32_t(v);
}
struct F32 {
    static int32_t Get(const uint8_t *p) {
        float f;
        memcpy(&f, p, 4);
        return FloatToPcm(f);
    }
};
struct F64 {
    static int32_t Get(const uint8_t *p) {
        double d;
        memcpy(&d, p, 8);
        return FloatToPcm(d);
    }
};
struct Table {
    const int16_t *t;
    int32_t Get(const uint8_t *p) const { return t[p[0]]; }
};

template <class S>
void Mix(const S &s, const uint8_t *pIn, size_t nFrames, int16_t *pOut, uint16_t nChannels,
         uint16_t cbSample, uint16_t cbFrame) {
    if (nChannels == 1) {
        for (size_t i = 0; i < nFrames; ++i)
            pOut[i] = int16_t(s.Get(pIn + i * cbSample));
        return;
    }
    for (size_t i = 0; i < nFrames; ++i) {
        const uint8_t *f = pIn + i * cbFrame;
        int32_t sum = 0;
        for (uint16_t c = 0; c < nChannels; ++c)
            sum += s.Get(f + c * cbSample);
        pOut[i] = int16_t(sum / nChannels);
    }
}

} // namespace

bool DecodeIsFrameKind(WavCodecKind kind) {
    return kind == WAV_CODEC_PCM || kind == WAV_CODEC_FLOAT || kind == WAV_CODEC_ALAW ||
           kind == WAV_CODEC_MULAW;
}

void DecodeFrames(const WavCodecInfo &info, const uint8_t *pIn, size_t nFrames, int16_t *pOut) {
    const uint16_t ch = info.nChannels, cb = info.cbSample, frame = info.nBlockAlign;
    switch (info.kind) {
    case WAV_CODEC_PCM:
        if (cb == 1)
            Mix(U8{}, pIn, nFrames, pOut, ch, cb, frame);
        else if (cb == 2 && ch == 1)
            memmove(pOut, pIn, nFrames * 2);
        else if (cb == 2)
            Mix(S16{}, pIn, nFrames, pOut, ch, cb, frame);
        else if (cb == 3)
            Mix(S24{}, pIn, nFrames, pOut, ch, cb, frame);
        else
            Mix(S32{}, pIn, nFrames, pOut, ch, cb, frame);
        break;
    case WAV_CODEC_FLOAT:
        if (cb == 4)
            Mix(F32{}, pIn, nFrames, pOut, ch, cb, frame);
        else
            Mix(F64{}, pIn, nFrames, pOut, ch, cb, frame);
        break;
    case WAV_CODEC_ALAW:
        Mix(Table{G711AlawTable()}, pIn, nFrames, pOut, ch, cb, frame);
        break;
    case WAV_CODEC_MULAW:
        Mix(Table{G711MulawTable()}, pIn, nFrames, pOut, ch, cb, frame);
        break;
    default:
        memset(pOut, 0, nFrames * 2);
        break;
    }
}
