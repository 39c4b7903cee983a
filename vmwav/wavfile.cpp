// The file operations of vmwav.h: reading, converting and creating WAV files.
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "vmwav/codecmodule.h"
#include "vmwav/decode_pcm.h"
#include "VmLib/fdio.h"
#include "vmwav/filename.h"
#include "vmwav/riff.h"
#include "vmwav/riffwrite.h"
#include "vmwav/vmwav.h"
#include "vmwav/wavfmt.h"

#define WAV_UNIT L"wavfile"

struct VmWavFile {
    uint32_t dwVersion = WAV_VERSION;
    VMHINSTANCE hInstance = nullptr;
    VMHPROCESS hProcess = nullptr;
    uint32_t dwMode = 0;
    int fd = -1;
    std::string path;

    // Opened for reading.
    RiffInfo riff;
    std::vector<uint8_t> record; // the stored format record
    WavCodecInfo info;
    uint64_t nFrames = 0;
    std::shared_ptr<const WavLayout> layout;
    uint64_t offRaw = 0;
    WAVEFORMATEX play{};
    bool bConvert = false;
    uint64_t nPlayFrame = 0;
    const VmCodecApi *pCodec = nullptr;
    VmCodecStream *pStream = nullptr;
    std::vector<uint8_t> codecHeader;
    std::vector<uint8_t> scratch;
    void *pMap = nullptr; // WavMapData: the file from its start to the end of the data
    size_t cbMap = 0;

    // Created.
    RiffWriter writer;
};

namespace {

// A format record handed out by WavGetFormat(1) for a source file, linked to
// that source's layout, so that a file created from it can copy the layout.
// Never destroyed: records may still be freed by other static destructors.
std::unordered_map<const WAVEFORMATEX *, std::shared_ptr<const WavLayout>> &Layouts() {
    static auto *table =
        new std::unordered_map<const WAVEFORMATEX *, std::shared_ptr<const WavLayout>>();
    return *table;
}

int ReadAt(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    const int fd = *static_cast<const int *>(pUser);
    auto *b = static_cast<uint8_t *>(pBuffer);
    return FdTransferAll(
        cb, [&](size_t done) { return pread(fd, b + done, cb - done, off_t(offset + done)); });
}

int ReadData(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    auto *w = static_cast<VmWavFile *>(pUser);
    if (offset > w->riff.cbData || cb > w->riff.cbData - offset)
        return -1;
    return ReadAt(&w->fd, w->riff.offData + offset, pBuffer, cb);
}

bool IsRead(HWAVFILE h) {
    return HandleIsLive(h, HANDLE_KIND_WAVFILE) && h->dwMode == WAV_MODE_READ;
}

bool IsCreated(HWAVFILE h) {
    return HandleIsLive(h, HANDLE_KIND_WAVFILE) && h->dwMode == WAV_MODE_CREATE;
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

WAVEFORMATEX PcmFormat(uint32_t rate, uint16_t bits, uint16_t channels) {
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

void StopConverting(VmWavFile *w) {
    if (w->pStream != nullptr) {
        w->pCodec->pfnClose(w->pStream);
        w->pStream = nullptr;
    }
    w->bConvert = false;
}

void DestroyFile(VmWavFile *w) {
    StopConverting(w);
    if (w->pMap != nullptr)
        munmap(w->pMap, w->cbMap);
    if (w->fd >= 0)
        close(w->fd);
    w->~VmWavFile();
    VM_FREE(w, WAV_UNIT, 5);
}

int32_t MsOf(uint64_t nFrames, uint32_t rate) {
    if (rate == 0)
        return -1;
    const uint64_t ms = nFrames * 1000u / rate;
    return ms > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(ms);
}

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

std::shared_ptr<const WavLayout> SourceLayout(VmWavFile *w) {
    if (w->layout != nullptr)
        return w->layout;
    auto l = std::make_shared<WavLayout>();
    l->record = w->record;
    l->header.resize(size_t(w->riff.offData));
    l->trailer.resize(size_t(w->riff.offEnd - w->riff.offTrailer));
    if (ReadAt(&w->fd, 0, l->header.data(), l->header.size()) != 0 ||
        ReadAt(&w->fd, w->riff.offTrailer, l->trailer.data(), l->trailer.size()) != 0) {
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

int OpenForRead(VmWavFile *w) {
    // Not blocking on a FIFO or device named by mistake; fstat turns those away.
    w->fd = open(w->path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (w->fd < 0)
        return TracePosition(WAV_UNIT, 7), -1;
    struct stat st;
    if (fstat(w->fd, &st) != 0 || !S_ISREG(st.st_mode))
        return TracePosition(WAV_UNIT, 8), -1;
    const RiffSource src = {&w->fd, uint64_t(st.st_size), ReadAt};
    const int rc = RiffParse(src, &w->riff);
    if (rc != RIFF_OK)
        return TraceCode(L"riff", rc), -1;
    const int fc = WavFormatParse(w->riff.fmt.data(), w->riff.fmt.size(), &w->record, &w->info);
    if (fc != WAVFMT_OK)
        return TraceCode(L"wavfmt", fc), -1;
    if (w->riff.bClipped) {
        // Only whole blocks of a recording cut off are audio.
        w->riff.cbData -= w->riff.cbData % w->info.nBlockAlign;
        w->riff.offTrailer = w->riff.offEnd = w->riff.offData + w->riff.cbData;
        if (w->riff.cbData == 0)
            return TracePosition(WAV_UNIT, 9), -1;
    }
    w->nFrames = WavFrameCount(w->info, w->riff.cbData, w->riff.bHasFact, w->riff.dwFact);
    w->play = PcmFormat(w->info.nSamplesPerSec, 16, 1);
    return 0;
}

int OpenForCreate(VmWavFile *w, const WAVEFORMATEX *pwfx) {
    WavCodecInfo info;
    if (pwfx == nullptr || WavFormatClassify(pwfx, &info) != WAVFMT_OK)
        return TracePosition(WAV_UNIT, 10), -1;
    const size_t cbRecord = 18u + pwfx->cbSize;
    w->record.assign(reinterpret_cast<const uint8_t *>(pwfx),
                     reinterpret_cast<const uint8_t *>(pwfx) + cbRecord);
    // A format that still reads as its source's carries that file's layout.
    std::shared_ptr<const WavLayout> layout;
    auto it = Layouts().find(pwfx);
    if (it != Layouts().end() && it->second->record == w->record)
        layout = it->second;
    const int rc = RiffWriterCreate(w->path.c_str(), pwfx, layout, &w->writer);
    if (rc != 0)
        return TraceCode(L"riffwrite", rc), -1;
    w->info = info;
    return 0;
}

} // namespace

HWAVFILE WavOpen(uint32_t dwVersion, VMHINSTANCE hInstance, const wchar_t *pszFile,
                 const WAVEFORMATEX *pwfx, uint32_t, uint32_t, uint32_t dwMode) {
    if (dwVersion != WAV_VERSION || hInstance == nullptr) {
        TracePosition(WAV_UNIT, 11);
        return nullptr;
    }
    if (dwMode != WAV_MODE_READ && dwMode != WAV_MODE_CREATE) {
        TracePosition(WAV_UNIT, 12);
        return nullptr;
    }
    std::string path;
    if (!FileNameToLocal(pszFile, &path)) {
        TracePosition(WAV_UNIT, 13);
        return nullptr;
    }
    void *mem = VM_ALLOC(sizeof(VmWavFile), 0, WAV_UNIT, 14);
    if (mem == nullptr) {
        TracePosition(WAV_UNIT, 15);
        return nullptr;
    }
    auto *w = new (mem) VmWavFile;
    w->hInstance = hInstance;
    w->hProcess = VmCurrentProcess();
    w->dwMode = dwMode;
    w->path = std::move(path);
    const int rc = dwMode == WAV_MODE_READ ? OpenForRead(w) : OpenForCreate(w, pwfx);
    if (rc != 0 || HandleAdd(w, HANDLE_KIND_WAVFILE) != 0) {
        TracePosition(WAV_UNIT, 16);
        if (dwMode == WAV_MODE_CREATE)
            RiffWriterDiscard(&w->writer);
        DestroyFile(w);
        return nullptr;
    }
    return w;
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
    const WAVEFORMATEX f = PcmFormat(nSamplesPerSec, wBitsPerSample, nChannels);
    WavCodecInfo info;
    if (WavFormatClassify(&f, &info) != WAVFMT_OK) {
        TracePosition(WAV_UNIT, 22);
        return nullptr;
    }
    return NewRecord(&f, sizeof f);
}

int32_t WavSetFormat(HWAVFILE hWav, const WAVEFORMATEX *pwfx, uint32_t dwWhich) {
    if (!IsRead(hWav) || pwfx == nullptr || dwWhich != WAV_FORMAT_PLAY) {
        TracePosition(WAV_UNIT, 23);
        return -1;
    }
    // Reads convert to 16-bit mono at the stored rate, nothing else.
    if (pwfx->wFormatTag != WAVE_FORMAT_PCM || pwfx->wBitsPerSample != 16 || pwfx->nChannels != 1 ||
        pwfx->nSamplesPerSec != hWav->info.nSamplesPerSec) {
        TracePosition(WAV_UNIT, 24);
        return -1;
    }
    hWav->play = PcmFormat(pwfx->nSamplesPerSec, 16, 1);
    return 0;
}

int32_t WavAcmConvertInit(HWAVFILE hWav, uint32_t, uint32_t) {
    if (!IsRead(hWav)) {
        TracePosition(WAV_UNIT, 25);
        return -1;
    }
    StopConverting(hWav);
    hWav->nPlayFrame = 0;
    if (WavCodecIsBlockCoded(hWav->info.kind)) {
        hWav->pCodec = CodecModuleGet();
        if (hWav->pCodec == nullptr) {
            TracePosition(WAV_UNIT, 26);
            return -1;
        }
        BuildCodecHeader(hWav);
        hWav->pStream = hWav->pCodec->pfnOpen(hWav->codecHeader.data(), hWav->codecHeader.size(),
                                              hWav->riff.cbData, ReadData, hWav);
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

int32_t WavGetLength(HWAVFILE hWav) {
    if (IsCreated(hWav)) {
        const RiffWriter &wr = hWav->writer;
        if (hWav->info.kind == WAV_CODEC_UNKNOWN)
            return wr.wfx.nAvgBytesPerSec == 0
                       ? -1
                       : int32_t(std::min<uint64_t>(wr.cbWritten * 1000u / wr.wfx.nAvgBytesPerSec,
                                                    0x7FFFFFFF));
        return MsOf(WavFrameCount(hWav->info, wr.cbWritten, false, 0), hWav->info.nSamplesPerSec);
    }
    if (!IsRead(hWav)) {
        TracePosition(WAV_UNIT, 29);
        return -1;
    }
    if (hWav->info.kind != WAV_CODEC_UNKNOWN)
        return MsOf(hWav->nFrames, hWav->info.nSamplesPerSec);
    // Without a decoder the fact count, or else the average rate, tells.
    if (hWav->riff.bHasFact && hWav->riff.dwFact != 0)
        return MsOf(hWav->riff.dwFact, hWav->info.nSamplesPerSec);
    const uint32_t avg =
        reinterpret_cast<const WAVEFORMATEX *>(hWav->record.data())->nAvgBytesPerSec;
    if (avg == 0) {
        TracePosition(WAV_UNIT, 30);
        return -1;
    }
    return int32_t(std::min<uint64_t>(uint64_t(hWav->riff.cbData) * 1000u / avg, 0x7FFFFFFF));
}

int32_t WavGetDataSize(HWAVFILE hWav) {
    uint64_t cb;
    if (IsRead(hWav))
        cb = hWav->riff.cbData;
    else if (IsCreated(hWav))
        cb = hWav->writer.cbWritten;
    else {
        TracePosition(WAV_UNIT, 31);
        return -1;
    }
    return cb > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(cb);
}

int32_t WavReadFormatPlay(HWAVFILE hWav, void *pBuffer, int32_t cb) {
    if (!IsRead(hWav) || !hWav->bConvert || pBuffer == nullptr || cb < 0) {
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
            if (ReadData(hWav, off, dst, size_t(n * info.nBlockAlign)) != 0) {
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

const void *WavMapData(HWAVFILE hWav) {
    if (!IsRead(hWav) || hWav->riff.cbData == 0) {
        TracePosition(WAV_UNIT, 35);
        return nullptr;
    }
    if (hWav->pMap == nullptr) {
        const uint64_t cbMap = hWav->riff.offData + hWav->riff.cbData;
        struct stat st;
        // Pages past the end of the file cannot be read, not even once.
        if (fstat(hWav->fd, &st) != 0 || uint64_t(st.st_size) < cbMap) {
            TracePosition(WAV_UNIT, 36);
            return nullptr;
        }
        void *p = mmap(nullptr, size_t(cbMap), PROT_READ, MAP_PRIVATE, hWav->fd, 0);
        if (p == MAP_FAILED) {
            TracePosition(WAV_UNIT, 37);
            return nullptr;
        }
        hWav->pMap = p;
        hWav->cbMap = size_t(cbMap);
    }
    return static_cast<const uint8_t *>(hWav->pMap) + hWav->riff.offData;
}

int32_t WavSeek(HWAVFILE hWav, int32_t lOffset, int32_t nOrigin) {
    if (!IsRead(hWav)) {
        TracePosition(WAV_UNIT, 38);
        return -1;
    }
    int64_t base;
    switch (nOrigin) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = int64_t(hWav->offRaw);
        break;
    case SEEK_END:
        base = int64_t(hWav->riff.cbData);
        break;
    default:
        TracePosition(WAV_UNIT, 39);
        return -1;
    }
    const int64_t to = base + lOffset;
    if (to < 0 || to > int64_t(hWav->riff.cbData) || to > 0x7FFFFFFF) {
        TracePosition(WAV_UNIT, 40);
        return -1;
    }
    hWav->offRaw = uint64_t(to);
    return int32_t(to);
}

int32_t WavRead(HWAVFILE hWav, void *pBuffer, int32_t cb) {
    if (!IsRead(hWav) || pBuffer == nullptr || cb <= 0) {
        TracePosition(WAV_UNIT, 41);
        return -1;
    }
    const uint64_t n = std::min<uint64_t>(uint64_t(cb), hWav->riff.cbData - hWav->offRaw);
    if (n > 0 && ReadData(hWav, hWav->offRaw, pBuffer, size_t(n)) != 0) {
        TracePosition(WAV_UNIT, 42);
        return -1;
    }
    hWav->offRaw += n;
    return int32_t(n);
}

int32_t WavWrite(HWAVFILE hWav, const void *pBuffer, int32_t cb) {
    if (!IsCreated(hWav) || cb < 0 || (pBuffer == nullptr && cb > 0)) {
        TracePosition(WAV_UNIT, 43);
        return -1;
    }
    const int rc = RiffWriterWrite(&hWav->writer, pBuffer, size_t(cb));
    if (rc != 0) {
        TraceCode(L"riffwrite", rc);
        return -1;
    }
    return cb;
}

int32_t WavCopyRaw(HWAVFILE hSource, HWAVFILE hDest, int32_t cb) {
    if (!IsRead(hSource) || !IsCreated(hDest) || cb <= 0) {
        TracePosition(WAV_UNIT, 44);
        return -1;
    }
    const uint64_t n = std::min<uint64_t>(uint64_t(cb), hSource->riff.cbData - hSource->offRaw);
    if (n == 0) {
        TracePosition(WAV_UNIT, 45);
        return -1;
    }
    const int rc = RiffWriterCopyFrom(&hDest->writer, hSource->fd,
                                      hSource->riff.offData + hSource->offRaw, size_t(n));
    if (rc != 0) {
        TraceCode(L"riffwrite", rc);
        return -1;
    }
    hSource->offRaw += n;
    return int32_t(n);
}

int32_t WavAcmConvertTerm(HWAVFILE hWav, uint32_t) {
    if (!HandleIsLive(hWav, HANDLE_KIND_WAVFILE)) {
        TracePosition(WAV_UNIT, 46);
        return -1;
    }
    StopConverting(hWav);
    return 0;
}

int32_t WavClose(HWAVFILE hWav) {
    if (HandleRemove(hWav, HANDLE_KIND_WAVFILE) != 0) {
        TracePosition(WAV_UNIT, 47);
        return -1;
    }
    int32_t result = 0;
    if (hWav->dwMode == WAV_MODE_CREATE) {
        const int rc = RiffWriterClose(&hWav->writer);
        if (rc != 0) {
            TraceCode(L"riffwrite", rc);
            result = -1;
        }
    }
    DestroyFile(hWav);
    return result;
}

int32_t WavDiscard(HWAVFILE hWav) {
    if (!IsCreated(hWav) || HandleRemove(hWav, HANDLE_KIND_WAVFILE) != 0) {
        TracePosition(WAV_UNIT, 48);
        return -1;
    }
    const int rc = RiffWriterDiscard(&hWav->writer);
    if (rc != 0)
        TraceCode(L"riffwrite", rc);
    DestroyFile(hWav);
    return rc == 0 ? 0 : -1;
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
