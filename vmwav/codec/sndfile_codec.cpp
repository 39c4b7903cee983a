// The codec module: block-coded WAV formats decoded by libsndfile. Kept out
// of libsndprobe because libsndfile pulls many libraries in at start-up.
#include <sndfile.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <vector>

#include "vmwav/codecapi.h"

struct VmCodecStream {
    const uint8_t *pHeader;
    size_t cbHeader;
    uint64_t cbData;
    VmCodecReadProc pfnRead;
    void *pUser;
    sf_count_t pos;
    SNDFILE *sf;
    int nChannels;
    std::vector<short> mix;
};

namespace {

sf_count_t VioLength(void *p) {
    auto *s = static_cast<VmCodecStream *>(p);
    return sf_count_t(s->cbHeader + s->cbData);
}

sf_count_t VioSeek(sf_count_t offset, int whence, void *p) {
    auto *s = static_cast<VmCodecStream *>(p);
    sf_count_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? VioLength(p) : 0;
    const sf_count_t to = base + offset;
    if (to < 0 || to > VioLength(p))
        return -1;
    s->pos = to;
    return s->pos;
}

sf_count_t VioRead(void *ptr, sf_count_t count, void *p) {
    auto *s = static_cast<VmCodecStream *>(p);
    auto *out = static_cast<uint8_t *>(ptr);
    const sf_count_t len = VioLength(p);
    if (count <= 0 || s->pos >= len)
        return 0;
    if (count > len - s->pos)
        count = len - s->pos;
    sf_count_t done = 0;
    if (s->pos < sf_count_t(s->cbHeader)) {
        const sf_count_t n = std::min<sf_count_t>(count, sf_count_t(s->cbHeader) - s->pos);
        memcpy(out, s->pHeader + s->pos, size_t(n));
        done = n;
    }
    if (done < count) {
        const uint64_t off = uint64_t(s->pos + done) - s->cbHeader;
        if (s->pfnRead(s->pUser, off, out + done, size_t(count - done)) != 0)
            return done;
        done = count;
    }
    s->pos += done;
    return done;
}

sf_count_t VioWrite(const void *, sf_count_t, void *) {
    return 0;
}

sf_count_t VioTell(void *p) {
    return static_cast<VmCodecStream *>(p)->pos;
}

VmCodecStream *Open(const uint8_t *pHeader, size_t cbHeader, uint64_t cbData,
                    VmCodecReadProc pfnRead, void *pUser) {
    auto *s = new (std::nothrow)
        VmCodecStream{pHeader, cbHeader, cbData, pfnRead, pUser, 0, nullptr, 0, {}};
    if (s == nullptr)
        return nullptr;
    SF_VIRTUAL_IO vio = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info;
    memset(&info, 0, sizeof info);
    s->sf = sf_open_virtual(&vio, SFM_READ, &info, s);
    if (s->sf == nullptr || info.channels < 1) {
        if (s->sf != nullptr)
            sf_close(s->sf);
        delete s;
        return nullptr;
    }
    s->nChannels = info.channels;
    return s;
}

int64_t Read(VmCodecStream *s, int16_t *pOut, int64_t nFrames) {
    if (s == nullptr || nFrames < 0)
        return -1;
    static_assert(sizeof(short) == sizeof(int16_t));
    if (s->nChannels == 1)
        return sf_readf_short(s->sf, reinterpret_cast<short *>(pOut), nFrames);
    const int ch = s->nChannels;
    const int64_t kChunk = 4096;
    if (s->mix.size() < size_t(kChunk * ch))
        s->mix.resize(size_t(kChunk * ch));
    int64_t done = 0;
    while (done < nFrames) {
        const int64_t want = std::min(kChunk, nFrames - done);
        const sf_count_t got = sf_readf_short(s->sf, s->mix.data(), want);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i) {
            int32_t sum = 0;
            for (int c = 0; c < ch; ++c)
                sum += s->mix[size_t(i * ch + c)];
            pOut[done + i] = int16_t(sum / ch);
        }
        done += got;
    }
    return done;
}

void Close(VmCodecStream *s) {
    if (s == nullptr)
        return;
    sf_close(s->sf);
    delete s;
}

const VmCodecApi kApi = {VMCODEC_API_VERSION, Open, Read, Close};

} // namespace

extern "C" __attribute__((visibility("default"))) const VmCodecApi *VmCodecGetApi(void) {
    return &kApi;
}
