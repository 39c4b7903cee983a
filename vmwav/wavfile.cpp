// The file operations of vmwav.h that make and end a handle: opening a
// file to read or to create, its length, and closing or discarding it.
#include "vmwav/wavfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#include "VmLib/fdio.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "vmwav/filename.h"
#include "vmwav/wavformats.h"
#include "vmwav/wavplay.h"

int WavReadAt(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    const int fd = *static_cast<const int *>(pUser);
    auto *b = static_cast<uint8_t *>(pBuffer);
    return FdTransferAll(
        cb, [&](size_t done) { return pread(fd, b + done, cb - done, off_t(offset + done)); });
}

int WavReadData(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    auto *w = static_cast<VmWavFile *>(pUser);
    if (offset > w->riff.cbData || cb > w->riff.cbData - offset)
        return -1;
    return WavReadAt(&w->fd, w->riff.offData + offset, pBuffer, cb);
}

namespace {

void DestroyFile(VmWavFile *w) {
    WavStopConverting(w);
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

int OpenForRead(VmWavFile *w) {
    // Not blocking on a FIFO or device named by mistake; fstat turns those away.
    w->fd = open(w->path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (w->fd < 0)
        return TracePosition(WAV_UNIT, 7), -1;
    struct stat st;
    if (fstat(w->fd, &st) != 0 || !S_ISREG(st.st_mode))
        return TracePosition(WAV_UNIT, 8), -1;
    const RiffSource src = {&w->fd, uint64_t(st.st_size), WavReadAt};
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
    w->play = WavPcmFormat(w->info.nSamplesPerSec, 16, 1);
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
    const int rc =
        RiffWriterCreate(w->path.c_str(), pwfx, WavFormatLayout(pwfx, w->record), &w->writer);
    if (rc != 0)
        return TraceCode(L"riffwrite", rc), -1;
    w->info = info;
    return 0;
}

} // namespace

HWAVFILE WavOpen(uint32_t dwVersion, VMHINSTANCE hInstance, const wchar_t *pszFile,
                 const WAVEFORMATEX *pwfx, uint32_t, uint32_t, uint32_t dwMode) {
    if (!VmCheckCreate(dwVersion, WAV_VERSION, hInstance, WAV_UNIT, 11))
        return nullptr;
    if (dwMode != WAV_MODE_READ && dwMode != WAV_MODE_CREATE) {
        TracePosition(WAV_UNIT, 12);
        return nullptr;
    }
    std::string path;
    if (!FileNameToLocal(pszFile, &path)) {
        TracePosition(WAV_UNIT, 13);
        return nullptr;
    }
    auto *w = VmNewRecord<VmWavFile>(hInstance, WAV_UNIT, 14);
    if (w == nullptr) {
        TracePosition(WAV_UNIT, 15);
        return nullptr;
    }
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

int32_t WavGetLength(HWAVFILE hWav) {
    if (WavIsCreated(hWav)) {
        const RiffWriter &wr = hWav->writer;
        if (hWav->info.kind == WAV_CODEC_UNKNOWN)
            return wr.wfx.nAvgBytesPerSec == 0
                       ? -1
                       : int32_t(std::min<uint64_t>(wr.cbWritten * 1000u / wr.wfx.nAvgBytesPerSec,
                                                    0x7FFFFFFF));
        return MsOf(WavFrameCount(hWav->info, wr.cbWritten, false, 0), hWav->info.nSamplesPerSec);
    }
    if (!WavIsRead(hWav)) {
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
    if (WavIsRead(hWav))
        cb = hWav->riff.cbData;
    else if (WavIsCreated(hWav))
        cb = hWav->writer.cbWritten;
    else {
        TracePosition(WAV_UNIT, 31);
        return -1;
    }
    return cb > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(cb);
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
    if (!WavIsCreated(hWav) || HandleRemove(hWav, HANDLE_KIND_WAVFILE) != 0) {
        TracePosition(WAV_UNIT, 48);
        return -1;
    }
    const int rc = RiffWriterDiscard(&hWav->writer);
    if (rc != 0)
        TraceCode(L"riffwrite", rc);
    DestroyFile(hWav);
    return rc == 0 ? 0 : -1;
}
