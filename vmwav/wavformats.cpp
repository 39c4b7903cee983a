// The format records of vmwav.h: those of a file, new PCM ones, the play
// format of a source, and the layout a stored format carries to a new file.
#include "vmwav/wavformats.h"

#include <string.h>

#include <unordered_map>

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "vmwav/wavfile.h"

namespace {

// A format record handed out by WavGetFormat(1) for a source file, linked to
// that source's layout, so that a file created from it can copy the layout.
// Never destroyed: records may still be freed by other static destructors.
std::unordered_map<const WAVEFORMATEX *, std::shared_ptr<const WavLayout>> &Layouts() {
    static auto *table =
        new std::unordered_map<const WAVEFORMATEX *, std::shared_ptr<const WavLayout>>();
    return *table;
}

WAVEFORMATEX *NewRecord(const void *p, size_t cb) {
    auto *r = static_cast<WAVEFORMATEX *>(VM_ALLOC(uint32_t(cb), 0, WAV_UNIT, 1));
    if (r == nullptr) {
        TracePosition(WAV_UNIT, 2);
        return nullptr;
    }
    memcpy(r, p, cb);
    if (HandleAdd(r, HANDLE_KIND_WAVFORMAT) != 0) {
        TracePosition(WAV_UNIT, 3);
        VM_FREE(r, WAV_UNIT, 4);
        return nullptr;
    }
    return r;
}

std::shared_ptr<const WavLayout> SourceLayout(VmWavFile *w) {
    if (w->layout != nullptr)
        return w->layout;
    auto l = std::make_shared<WavLayout>();
    l->record = w->record;
    l->header.resize(size_t(w->riff.offData));
    l->trailer.resize(size_t(w->riff.offEnd - w->riff.offTrailer));
    if (WavReadAt(&w->fd, 0, l->header.data(), l->header.size()) != 0 ||
        WavReadAt(&w->fd, w->riff.offTrailer, l->trailer.data(), l->trailer.size()) != 0) {
        TracePosition(WAV_UNIT, 6);
        return nullptr;
    }
    l->bHasFact = w->riff.bHasFact;
    l->offFact = size_t(w->riff.offFact);
    // A file cut short claims more samples than it holds.
    l->dwFact =
        w->riff.bClipped ? uint32_t(std::min<uint64_t>(w->nFrames, 0xFFFFFFFFu)) : w->riff.dwFact;
    l->cbData = w->riff.cbData;
    l->bPad = w->riff.bPad;
    // A recording cut off gets a correct file, not its own damage back.
    l->bPadMissing = (w->riff.cbData & 1u) && !w->riff.bDataPadded && !w->riff.bClipped;
    w->layout = l;
    return w->layout;
}

} // namespace

WAVEFORMATEX WavPcmFormat(uint32_t rate, uint16_t bits, uint16_t channels) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = uint16_t(channels * (bits / 8));
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    return f;
}

std::shared_ptr<const WavLayout> WavFormatLayout(const WAVEFORMATEX *pwfx,
                                                 const std::vector<uint8_t> &record) {
    auto it = Layouts().find(pwfx);
    if (it != Layouts().end() && it->second->record == record)
        return it->second;
    return nullptr;
}

WAVEFORMATEX *WavGetFormat(HWAVFILE hWav, uint32_t dwWhich) {
    if (!HandleIsLive(hWav, HANDLE_KIND_WAVFILE)) {
        TracePosition(WAV_UNIT, 17);
        return nullptr;
    }
    if (dwWhich == WAV_FORMAT_PLAY && hWav->dwMode == WAV_MODE_READ)
        return NewRecord(&hWav->play, sizeof hWav->play);
    if (dwWhich != WAV_FORMAT_STORED) {
        TracePosition(WAV_UNIT, 18);
        return nullptr;
    }
    std::shared_ptr<const WavLayout> layout;
    if (hWav->dwMode == WAV_MODE_READ && (layout = SourceLayout(hWav)) == nullptr) {
        TracePosition(WAV_UNIT, 19);
        return nullptr;
    }
    WAVEFORMATEX *r = NewRecord(hWav->record.data(), hWav->record.size());
    if (r == nullptr) {
        TracePosition(WAV_UNIT, 20);
        return nullptr;
    }
    if (layout != nullptr)
        Layouts()[r] = std::move(layout);
    return r;
}

WAVEFORMATEX *WavFormatPcm(uint32_t nSamplesPerSec, uint16_t wBitsPerSample, uint16_t nChannels,
                           uint32_t) {
    if (nSamplesPerSec == 0 || nChannels == 0 ||
        (wBitsPerSample != 8 && wBitsPerSample != 16 && wBitsPerSample != 24 &&
         wBitsPerSample != 32)) {
        TracePosition(WAV_UNIT, 21);
        return nullptr;
    }
    const WAVEFORMATEX f = WavPcmFormat(nSamplesPerSec, wBitsPerSample, nChannels);
    WavCodecInfo info;
    if (WavFormatClassify(&f, &info) != WAVFMT_OK) {
        TracePosition(WAV_UNIT, 22);
        return nullptr;
    }
    return NewRecord(&f, sizeof f);
}

int32_t WavSetFormat(HWAVFILE hWav, const WAVEFORMATEX *pwfx, uint32_t dwWhich) {
    if (!WavIsRead(hWav) || pwfx == nullptr || dwWhich != WAV_FORMAT_PLAY) {
        TracePosition(WAV_UNIT, 23);
        return -1;
    }
    // Reads convert to 16-bit mono at the stored rate, nothing else.
    if (pwfx->wFormatTag != WAVE_FORMAT_PCM || pwfx->wBitsPerSample != 16 || pwfx->nChannels != 1 ||
        pwfx->nSamplesPerSec != hWav->info.nSamplesPerSec) {
        TracePosition(WAV_UNIT, 24);
        return -1;
    }
    hWav->play = WavPcmFormat(pwfx->nSamplesPerSec, 16, 1);
    return 0;
}

int32_t WavFormatFree(WAVEFORMATEX *pwfx) {
    if (HandleRemove(pwfx, HANDLE_KIND_WAVFORMAT) != 0) {
        TracePosition(WAV_UNIT, 49);
        return -1;
    }
    Layouts().erase(pwfx);
    if (VM_FREE(pwfx, WAV_UNIT, 50) != nullptr) {
        TracePosition(WAV_UNIT, 51);
        return -1;
    }
    return 0;
}
