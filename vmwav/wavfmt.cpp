#include "vmwav/wavfmt.h"

#include <string.h>

namespace {

uint16_t Le16(const uint8_t *p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The tail shared by every sub-format GUID of an extensible format.
const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A format record as the classifiers of the single tags read it: an 18-byte
// header whose cbSize bytes are all present.
struct FmtRecord {
    const uint8_t *p;
    uint16_t wBits;
    const uint8_t *extra; // the cbSize bytes after the header
    size_t cbExtra;
    bool bExtensible;
};

// Frame kinds: bytes of one channel's sample, 0 when the block is not made
// of whole samples.
uint16_t FrameSampleBytes(const WavCodecInfo &info) {
    if (info.nBlockAlign % info.nChannels != 0)
        return 0;
    return uint16_t(info.nBlockAlign / info.nChannels);
}

int ClassifyPcm(const FmtRecord &f, WavCodecInfo &info) {
    const uint16_t cbSample = FrameSampleBytes(info);
    if (cbSample < 1 || cbSample > 4)
        return WAVFMT_ERR_BLOCK;
    if (f.wBits == 0 || (f.wBits + 7u) / 8u != cbSample)
        return WAVFMT_ERR_BITS;
    info.kind = WAV_CODEC_PCM;
    info.cbSample = cbSample;
    return WAVFMT_OK;
}

int ClassifyFloat(const FmtRecord &f, WavCodecInfo &info) {
    const uint16_t cbSample = FrameSampleBytes(info);
    if (cbSample != 4 && cbSample != 8)
        return WAVFMT_ERR_BLOCK;
    if (f.wBits != cbSample * 8)
        return WAVFMT_ERR_BITS;
    info.kind = WAV_CODEC_FLOAT;
    info.cbSample = cbSample;
    return WAVFMT_OK;
}

int ClassifyG711(const FmtRecord &f, WavCodecInfo &info) {
    if (info.nBlockAlign != info.nChannels)
        return WAVFMT_ERR_BLOCK;
    if (f.wBits != 8)
        return WAVFMT_ERR_BITS;
    info.kind = info.wTag == WAVE_FORMAT_ALAW ? WAV_CODEC_ALAW : WAV_CODEC_MULAW;
    info.cbSample = 1;
    return WAVFMT_OK;
}

// The record of a block codec: never extensible, and with at least cbExtra
// bytes of its own after the header.
int BlockCodecRecord(const FmtRecord &f, size_t cbExtra) {
    if (f.bExtensible)
        return WAVFMT_ERR_SUBFORMAT;
    return f.cbExtra < cbExtra ? WAVFMT_ERR_SHORT : WAVFMT_OK;
}

int BlockCodec(WavCodecInfo &info, WavCodecKind kind, uint32_t nFramesPerBlock) {
    info.kind = kind;
    info.nFramesPerBlock = nFramesPerBlock;
    return WAVFMT_OK;
}

int ClassifyImaAdpcm(const FmtRecord &f, WavCodecInfo &info) {
    if (const int rc = BlockCodecRecord(f, 2); rc != WAVFMT_OK)
        return rc;
    if (f.wBits != 4)
        return WAVFMT_ERR_BITS;
    // Each channel carries a 4-byte header and 4-byte groups of nibbles.
    const uint32_t cbHead = 4u * info.nChannels;
    if (info.nBlockAlign <= cbHead || (info.nBlockAlign - cbHead) % cbHead != 0)
        return WAVFMT_ERR_BLOCK;
    const uint32_t maxFrames = (info.nBlockAlign - cbHead) * 2u / info.nChannels + 1u;
    const uint16_t spb = Le16(f.extra);
    if (spb == 0 || spb > maxFrames)
        return WAVFMT_ERR_CODEC_PARAMS;
    return BlockCodec(info, WAV_CODEC_IMA_ADPCM, spb);
}

int ClassifyMsAdpcm(const FmtRecord &f, WavCodecInfo &info) {
    if (const int rc = BlockCodecRecord(f, 4); rc != WAVFMT_OK)
        return rc;
    const uint16_t nCoef = Le16(f.extra + 2);
    if (f.cbExtra < 4u + 4u * nCoef)
        return WAVFMT_ERR_SHORT;
    if (f.wBits != 4)
        return WAVFMT_ERR_BITS;
    if (nCoef < 7)
        return WAVFMT_ERR_CODEC_PARAMS;
    const uint32_t cbHead = 7u * info.nChannels;
    if (info.nBlockAlign < cbHead)
        return WAVFMT_ERR_BLOCK;
    const uint32_t maxFrames = (info.nBlockAlign - cbHead) * 2u / info.nChannels + 2u;
    const uint16_t spb = Le16(f.extra);
    if (spb < 2 || spb > maxFrames)
        return WAVFMT_ERR_CODEC_PARAMS;
    return BlockCodec(info, WAV_CODEC_MS_ADPCM, spb);
}

int ClassifyGsm610(const FmtRecord &f, WavCodecInfo &info) {
    if (const int rc = BlockCodecRecord(f, 2); rc != WAVFMT_OK)
        return rc;
    // Two 33-byte frames packed into 65 bytes: 320 samples, one channel.
    if (info.nChannels != 1)
        return WAVFMT_ERR_CHANNELS;
    if (info.nBlockAlign != 65)
        return WAVFMT_ERR_BLOCK;
    if (Le16(f.extra) != 320)
        return WAVFMT_ERR_CODEC_PARAMS;
    return BlockCodec(info, WAV_CODEC_GSM610, 320);
}

// The effective tag of an extensible format: its sub-format's.
int ReadSubFormat(const FmtRecord &f, WavCodecInfo &info) {
    if (f.cbExtra < 22)
        return WAVFMT_ERR_SHORT;
    const uint16_t validBits = Le16(f.extra);
    if (validBits > f.wBits)
        return WAVFMT_ERR_BITS;
    if (f.extra[8] != 0 || f.extra[9] != 0 || memcmp(f.extra + 10, kGuidTail, 12) != 0)
        return WAVFMT_ERR_SUBFORMAT;
    info.wTag = Le16(f.extra + 6);
    return WAVFMT_OK;
}

int ClassifyTag(const FmtRecord &f, WavCodecInfo &info) {
    switch (info.wTag) {
    case WAVE_FORMAT_PCM:
        return ClassifyPcm(f, info);
    case WAVE_FORMAT_IEEE_FLOAT:
        return ClassifyFloat(f, info);
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return ClassifyG711(f, info);
    case WAVE_FORMAT_IMA_ADPCM:
        return ClassifyImaAdpcm(f, info);
    case WAVE_FORMAT_MS_ADPCM:
        return ClassifyMsAdpcm(f, info);
    case WAVE_FORMAT_GSM610:
        return ClassifyGsm610(f, info);
    default:
        info.kind = WAV_CODEC_UNKNOWN;
        return WAVFMT_OK;
    }
}

// Cuts in block-coded data are placed by the byte rate: it must be the one
// the blocks give, to within a byte a second.
bool ByteRateOfBlocks(const uint8_t *p, const WavCodecInfo &info) {
    const uint64_t exact = uint64_t(info.nBlockAlign) * info.nSamplesPerSec;
    const uint64_t claimed = uint64_t(Le32(p + 8)) * info.nFramesPerBlock;
    return claimed + info.nFramesPerBlock > exact && claimed < exact + info.nFramesPerBlock;
}

int Classify(const uint8_t *p, size_t cb, WavCodecInfo *pInfo) {
    WavCodecInfo info;
    const uint16_t tag = Le16(p);
    info.nChannels = Le16(p + 2);
    info.nSamplesPerSec = Le32(p + 4);
    info.nBlockAlign = Le16(p + 12);
    if (info.nChannels == 0 || info.nChannels > 256)
        return WAVFMT_ERR_CHANNELS;
    if (info.nSamplesPerSec == 0 || info.nSamplesPerSec > 1000000)
        return WAVFMT_ERR_RATE;
    if (info.nBlockAlign == 0)
        return WAVFMT_ERR_BLOCK;

    const FmtRecord f = {p, Le16(p + 14), p + 18, cb - 18, tag == WAVE_FORMAT_EXTENSIBLE};
    info.wTag = tag;
    int rc = f.bExtensible ? ReadSubFormat(f, info) : WAVFMT_OK;
    if (rc == WAVFMT_OK)
        rc = ClassifyTag(f, info);
    if (rc == WAVFMT_OK && WavCodecIsBlockCoded(info.kind) && !ByteRateOfBlocks(p, info))
        rc = WAVFMT_ERR_BYTE_RATE;
    if (rc == WAVFMT_OK)
        *pInfo = info;
    return rc;
}

} // namespace

int WavFormatParse(const uint8_t *pFmt, size_t cbFmt, std::vector<uint8_t> *pRecord,
                   WavCodecInfo *pInfo) {
    if (cbFmt < 16)
        return WAVFMT_ERR_SHORT;
    // A 16-byte chunk is the old PCM layout without cbSize.
    const uint16_t cbSize = cbFmt >= 18 ? Le16(pFmt + 16) : 0;
    if (18u + cbSize > cbFmt && cbSize > 0)
        return WAVFMT_ERR_SHORT;
    std::vector<uint8_t> rec(18u + cbSize, 0);
    memcpy(rec.data(), pFmt, cbFmt < 18u + cbSize ? cbFmt : 18u + cbSize);
    rec[16] = uint8_t(cbSize);
    rec[17] = uint8_t(cbSize >> 8);
    WavCodecInfo info;
    const int rc = Classify(rec.data(), rec.size(), &info);
    if (rc != WAVFMT_OK)
        return rc;
    if (WavCodecIsFrameCoded(info.kind)) {
        // Writers leave 0 or other rates here; the samples say what it is.
        const uint32_t avg = uint32_t(info.nBlockAlign) * info.nSamplesPerSec;
        for (size_t i = 0; i < 4; ++i)
            rec[8 + i] = uint8_t(avg >> (8 * i));
    }
    *pRecord = std::move(rec);
    *pInfo = info;
    return WAVFMT_OK;
}

int WavFormatClassify(const WAVEFORMATEX *pwfx, WavCodecInfo *pInfo) {
    if (pwfx == nullptr)
        return WAVFMT_ERR_SHORT;
    return Classify(reinterpret_cast<const uint8_t *>(pwfx), 18u + pwfx->cbSize, pInfo);
}

uint64_t WavFrameCount(const WavCodecInfo &info, uint64_t cbData, bool bHasFact, uint32_t dwFact) {
    if (info.nBlockAlign == 0)
        return 0;
    const uint64_t blocks = cbData / info.nBlockAlign;
    if (!WavCodecIsBlockCoded(info.kind))
        return blocks;
    // The last block of a coded file is usually only partly used; the fact
    // chunk says how much. Writers are known to store counts that are off by
    // a whole factor, so a count that does not end inside the last block is
    // not believed: the blocks themselves are.
    const uint64_t cap = blocks * info.nFramesPerBlock;
    if (bHasFact && blocks > 0 && dwFact > cap - info.nFramesPerBlock && dwFact <= cap)
        return dwFact;
    return cap;
}
