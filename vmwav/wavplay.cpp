// The converted reads of vmwav.h: a source's audio as 16-bit mono PCM,
// decoded here or by the codec module.
#include "vmwav/wavplay.h"

#include <string.h>

#include <algorithm>

#include "VmLib/trace.h"
#include "vmwav/codecmodule.h"
#include "vmwav/decode_pcm.h"
#include "vmwav/wavfile.h"

namespace {

// The source as the codec module sees it: a plain header over the data.
void BuildCodecHeader(VmWavFile *w) {
    std::vector<uint8_t> &h = w->codecHeader;
    h.clear();
    auto put = [&h](const void *p, size_t cb) {
        const auto *b = static_cast<const uint8_t *>(p);
        h.insert(h.end(), b, b + cb);
    };
    auto put32 = [&put](uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        put(b, 4);
    };
    const uint32_t cbFmt = uint32_t(w->riff.fmt.size());
    put("RIFF", 4);
    put32(0);
    put("WAVE", 4);
    put("fmt ", 4);
    put32(cbFmt);
    put(w->riff.fmt.data(), cbFmt);
    if (cbFmt & 1u)
        h.push_back(0);
    put("fact", 4);
    put32(4);
    put32(uint32_t(std::min<uint64_t>(w->nFrames, 0xFFFFFFFFu)));
    put("data", 4);
    put32(w->riff.cbData);
    const uint32_t cbRiff = uint32_t(h.size() - 8 + w->riff.cbData);
    memcpy(h.data() + 4, &cbRiff, 4);
}

} // namespace

void WavStopConverting(VmWavFile *w) {
    if (w->pStream != nullptr) {
        w->pCodec->pfnClose(w->pStream);
        w->pStream = nullptr;
    }
    w->bConvert = false;
}

int32_t WavAcmConvertInit(HWAVFILE hWav, uint32_t, uint32_t) {
    if (!WavIsRead(hWav)) {
        TracePosition(WAV_UNIT, 25);
        return -1;
    }
    WavStopConverting(hWav);
    hWav->nPlayFrame = 0;
    if (WavCodecIsBlockCoded(hWav->info.kind)) {
        hWav->pCodec = CodecModuleGet();
        if (hWav->pCodec == nullptr) {
            TracePosition(WAV_UNIT, 26);
            return -1;
        }
        BuildCodecHeader(hWav);
        hWav->pStream = hWav->pCodec->pfnOpen(hWav->codecHeader.data(), hWav->codecHeader.size(),
                                              hWav->riff.cbData, WavReadData, hWav);
        if (hWav->pStream == nullptr) {
            TracePosition(WAV_UNIT, 27);
            return -1;
        }
    } else if (!DecodeIsFrameKind(hWav->info.kind)) {
        TracePosition(WAV_UNIT, 28);
        return -1;
    }
    hWav->bConvert = true;
    return 0;
}

int32_t WavAcmConvertTerm(HWAVFILE hWav, uint32_t) {
    if (!HandleIsLive(hWav, HANDLE_KIND_WAVFILE)) {
        TracePosition(WAV_UNIT, 46);
        return -1;
    }
    WavStopConverting(hWav);
    return 0;
}

int32_t WavReadFormatPlay(HWAVFILE hWav, void *pBuffer, int32_t cb) {
    if (!WavIsRead(hWav) || !hWav->bConvert || pBuffer == nullptr || cb < 0) {
        TracePosition(WAV_UNIT, 32);
        return -1;
    }
    auto *out = static_cast<int16_t *>(pBuffer);
    const uint64_t want = std::min<uint64_t>(uint64_t(cb) / 2, hWav->nFrames - hWav->nPlayFrame);
    uint64_t done = 0;
    if (hWav->pStream != nullptr) {
        while (done < want) {
            const int64_t n =
                hWav->pCodec->pfnRead(hWav->pStream, out + done, int64_t(want - done));
            if (n < 0) {
                TracePosition(WAV_UNIT, 33);
                return -1;
            }
            if (n == 0)
                break;
            done += uint64_t(n);
        }
    } else {
        const WavCodecInfo &info = hWav->info;
        const bool bDirect =
            info.kind == WAV_CODEC_PCM && info.cbSample == 2 && info.nChannels == 1;
        const uint64_t kChunkBytes = 1u << 18;
        // No larger than the request: a short file's read would otherwise
        // spend longer clearing the scratch than decoding.
        const uint64_t perChunk =
            std::max<uint64_t>(1, std::min<uint64_t>(want, kChunkBytes / info.nBlockAlign));
        if (!bDirect && hWav->scratch.size() < perChunk * info.nBlockAlign)
            hWav->scratch.resize(size_t(perChunk * info.nBlockAlign));
        while (done < want) {
            const uint64_t n = bDirect ? want - done : std::min(perChunk, want - done);
            const uint64_t off = (hWav->nPlayFrame + done) * info.nBlockAlign;
            uint8_t *dst = bDirect ? reinterpret_cast<uint8_t *>(out + done) : hWav->scratch.data();
            if (WavReadData(hWav, off, dst, size_t(n * info.nBlockAlign)) != 0) {
                TracePosition(WAV_UNIT, 34);
                return -1;
            }
            if (!bDirect)
                DecodeFrames(info, dst, size_t(n), out + done);
            done += n;
        }
    }
    hWav->nPlayFrame += done;
    return int32_t(done * 2);
}
