#include "vmwav/riffwrite.h"

#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <string.h>
#include <unistd.h>

#include "VmLib/fdio.h"

namespace {

void Put32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Get32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Append(std::vector<uint8_t> &v, const void *p, size_t cb) {
    const auto *b = static_cast<const uint8_t *>(p);
    v.insert(v.end(), b, b + cb);
}

void AppendChunkHeader(std::vector<uint8_t> &v, const char *id, uint32_t cb) {
    Append(v, id, 4);
    uint8_t n[4];
    Put32(n, cb);
    Append(v, n, 4);
}

int PWriteAll(int fd, const void *p, size_t cb, off_t off) {
    const auto *b = static_cast<const uint8_t *>(p);
    return FdTransferAll(
        cb, [&](size_t done) { return pwrite(fd, b + done, cb - done, off + off_t(done)); });
}

// The usual layout: RIFF, fmt, a fact chunk for anything but integer PCM, data.
void CanonicalHeader(const WAVEFORMATEX *pwfx, bool bPcm, RiffWriter *w) {
    std::vector<uint8_t> &h = w->header;
    const uint32_t cbFmt =
        pwfx->wFormatTag == WAVE_FORMAT_PCM && pwfx->cbSize == 0 ? 16u : 18u + pwfx->cbSize;
    AppendChunkHeader(h, "RIFF", 0);
    Append(h, "WAVE", 4);
    AppendChunkHeader(h, "fmt ", cbFmt);
    Append(h, pwfx, cbFmt);
    if (cbFmt & 1u)
        h.push_back(0);
    if (!bPcm) {
        AppendChunkHeader(h, "fact", 4);
        w->bHasFact = true;
        w->offFact = h.size();
        Append(h, "\0\0\0\0", 4);
    }
    AppendChunkHeader(h, "data", 0);
}

uint32_t FactCount(const RiffWriter &w) {
    const WavLayout *l = w.layout.get();
    if (l != nullptr && l->cbData == w.cbWritten)
        return l->dwFact;
    uint64_t n = 0;
    if (w.bKnown && w.info.kind != WAV_CODEC_UNKNOWN)
        n = WavFrameCount(w.info, w.cbWritten, false, 0);
    else if (l != nullptr && l->cbData != 0)
        n = w.cbWritten * l->dwFact / l->cbData; // the source's own rate of samples per byte
    else if (w.wfx.nAvgBytesPerSec != 0)
        n = w.cbWritten * w.wfx.nSamplesPerSec / w.wfx.nAvgBytesPerSec;
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(n);
}

} // namespace

int RiffWriterCreate(const char *pszPath, const WAVEFORMATEX *pwfx,
                     std::shared_ptr<const WavLayout> layout, RiffWriter *w) {
    if (pszPath == nullptr || pwfx == nullptr || w == nullptr)
        return RIFFWRITE_ERR_ARGS;
    w->wfx = *pwfx;
    w->bKnown = WavFormatClassify(pwfx, &w->info) == WAVFMT_OK;
    if (layout != nullptr) {
        w->header = layout->header;
        w->bHasFact = layout->bHasFact;
        w->offFact = layout->offFact;
        w->trailer = layout->trailer;
        w->bPad = layout->bPad;
        w->layout = std::move(layout);
    } else {
        CanonicalHeader(pwfx, w->bKnown && w->info.kind == WAV_CODEC_PCM, w);
    }
    const int rc = UnseenCreate(pszPath, 0, &w->file);
    if (rc != UNSEEN_OK)
        return RIFFWRITE_ERR_CREATE + rc;
    if (FdWriteAll(w->file.fd, w->header.data(), w->header.size()) != 0) {
        UnseenDiscard(&w->file);
        return RIFFWRITE_ERR_WRITE;
    }
    return RIFFWRITE_OK;
}

int RiffWriterWrite(RiffWriter *w, const void *pData, size_t cb) {
    if (w == nullptr || w->file.fd < 0 || (pData == nullptr && cb > 0))
        return RIFFWRITE_ERR_ARGS;
    // The RIFF size field must still hold the whole file when it is done.
    const uint64_t total = w->header.size() + w->cbWritten + cb + 1 + w->trailer.size();
    if (total - 8 > 0xFFFFFFFFu)
        return RIFFWRITE_ERR_INCOMPLETE;
    if (FdWriteAll(w->file.fd, pData, cb) != 0) {
        w->bFailed = true;
        return RIFFWRITE_ERR_WRITE;
    }
    w->cbWritten += cb;
    return RIFFWRITE_OK;
}

int RiffWriterCopyFrom(RiffWriter *w, int fdSource, uint64_t offSource, size_t cb) {
    if (w == nullptr || w->file.fd < 0 || fdSource < 0)
        return RIFFWRITE_ERR_ARGS;
    const uint64_t total = w->header.size() + w->cbWritten + cb + 1 + w->trailer.size();
    if (total - 8 > 0xFFFFFFFFu)
        return RIFFWRITE_ERR_INCOMPLETE;
    // A kept stretch never passes through user memory: no buffer to fault in,
    // no copy. File systems that refuse get the plain read and write.
    size_t done = 0;
    while (done < cb) {
        loff_t off = loff_t(offSource + done);
        const ssize_t n = copy_file_range(fdSource, &off, w->file.fd, nullptr, cb - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    uint8_t buffer[64 * 1024];
    while (done < cb) {
        const size_t want = std::min(cb - done, sizeof buffer);
        const ssize_t n = pread(fdSource, buffer, want, off_t(offSource + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || FdWriteAll(w->file.fd, buffer, size_t(n)) != 0) {
            w->bFailed = true;
            w->cbWritten += done;
            return RIFFWRITE_ERR_WRITE;
        }
        done += size_t(n);
    }
    w->cbWritten += cb;
    return RIFFWRITE_OK;
}

int RiffWriterClose(RiffWriter *w) {
    if (w == nullptr || w->file.fd < 0)
        return RIFFWRITE_ERR_ARGS;
    const int fd = w->file.fd;
    int rc = w->bFailed ? RIFFWRITE_ERR_INCOMPLETE : RIFFWRITE_OK;
    // All the audio of a source that ends without its pad comes back as it
    // was, since callers tell a trimmed file by its size; a cut is padded.
    const WavLayout *l = w->layout.get();
    const bool bAsSource = l != nullptr && l->bPadMissing && l->cbData == w->cbWritten;
    const uint64_t cbPad = bAsSource ? 0 : (w->cbWritten & 1u);
    if (rc == 0 && cbPad != 0 && FdWriteAll(fd, &w->bPad, 1) != 0)
        rc = RIFFWRITE_ERR_WRITE;
    if (rc == 0 && !w->trailer.empty() && FdWriteAll(fd, w->trailer.data(), w->trailer.size()))
        rc = RIFFWRITE_ERR_TRAILER;
    if (rc == 0) {
        const uint64_t total = w->header.size() + w->cbWritten + cbPad + w->trailer.size();
        uint64_t cbRiff = total - 8;
        if (bAsSource && Get32(w->header.data() + 4) == cbRiff + 1)
            ++cbRiff;
        uint8_t v[4];
        Put32(v, uint32_t(cbRiff));
        if (PWriteAll(fd, v, 4, 4) != 0)
            rc = RIFFWRITE_ERR_RIFF_SIZE;
        Put32(v, uint32_t(w->cbWritten));
        if (rc == 0 && PWriteAll(fd, v, 4, off_t(w->header.size() - 4)) != 0)
            rc = RIFFWRITE_ERR_DATA_SIZE;
        Put32(v, FactCount(*w));
        if (rc == 0 && w->bHasFact && PWriteAll(fd, v, 4, off_t(w->offFact)) != 0)
            rc = RIFFWRITE_ERR_FACT;
    }
    if (rc != 0) {
        UnseenDiscard(&w->file);
        return rc;
    }
    const int published = UnseenPublish(&w->file);
    return published == UNSEEN_OK ? RIFFWRITE_OK : RIFFWRITE_ERR_PUBLISH + published;
}

int RiffWriterDiscard(RiffWriter *w) {
    if (w == nullptr || w->file.fd < 0)
        return RIFFWRITE_ERR_ARGS;
    UnseenDiscard(&w->file);
    return RIFFWRITE_OK;
}
