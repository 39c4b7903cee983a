#include "vmwav/riff.h"

#include <string.h>

#include <algorithm>

namespace {

uint32_t Le32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

int RiffParse(const RiffSource &src, RiffInfo *pInfo) {
    RiffInfo info;
    info.cbFile = src.cbFile;
    uint8_t head[12];
    if (src.cbFile < sizeof head)
        return RIFF_ERR_TRUNCATED;
    if (src.pfnRead(src.pUser, 0, head, sizeof head) != 0)
        return RIFF_ERR_READ;
    if (memcmp(head, "RIFF", 4) != 0)
        return RIFF_ERR_NOT_RIFF;
    if (memcmp(head + 8, "WAVE", 4) != 0)
        return RIFF_ERR_NOT_WAVE;
    // The RIFF size is not believed: writers cut off at hang-up leave 0 or
    // the size from before the audio. The chunks run to the end of the file,
    // or of the most a RIFF size can describe, which bounds every chunk.
    const uint64_t end = std::min<uint64_t>(src.cbFile, 0xFFFFFFFFull + 8);
    bool bFmt = false, bData = false;
    uint64_t off = sizeof head;
    info.offEnd = off;
    while (off < end) {
        uint8_t ch[8];
        if (end - off < sizeof ch) {
            // A damaged tail after the audio is left out; before it, the
            // audio itself is missing.
            if (bData)
                break;
            return RIFF_ERR_TRUNCATED;
        }
        if (src.pfnRead(src.pUser, off, ch, sizeof ch) != 0)
            return RIFF_ERR_READ;
        uint32_t cb = Le32(ch + 4);
        const uint64_t offBody = off + sizeof ch;
        const bool bIsData = memcmp(ch, "data", 4) == 0 && !bData;
        if (cb > end - offBody) {
            if (bData)
                break;
            if (!bIsData)
                return RIFF_ERR_CHUNK_SIZE;
            // A recording cut off: the audio is what the file holds.
            cb = uint32_t(end - offBody);
            info.bClipped = true;
        }
        // The pad byte of an odd chunk may be missing only at the very end.
        uint64_t next = offBody + cb + (cb & 1u);
        if (next > end)
            next = end;

        if (memcmp(ch, "fmt ", 4) == 0 && !bFmt) {
            if (cb < 16 || cb > RIFF_MAX_FMT_CHUNK)
                return RIFF_ERR_FMT_SIZE;
            info.fmt.resize(cb);
            if (src.pfnRead(src.pUser, offBody, info.fmt.data(), cb) != 0)
                return RIFF_ERR_READ;
            bFmt = true;
        } else if (memcmp(ch, "fact", 4) == 0 && !info.bHasFact && !bData && cb >= 4) {
            uint8_t v[4];
            if (src.pfnRead(src.pUser, offBody, v, sizeof v) != 0)
                return RIFF_ERR_READ;
            info.bHasFact = true;
            info.dwFact = Le32(v);
            info.offFact = offBody;
        } else if (bIsData) {
            if (!bFmt)
                return RIFF_ERR_DATA_BEFORE_FMT;
            if (cb == 0)
                return RIFF_ERR_DATA_EMPTY;
            info.offDataHeader = off;
            info.offData = offBody;
            info.cbData = cb;
            info.offTrailer = next;
            if ((cb & 1u) && next == offBody + cb + 1) {
                info.bDataPadded = true;
                if (src.pfnRead(src.pUser, offBody + cb, &info.bPad, 1) != 0)
                    return RIFF_ERR_READ;
            }
            bData = true;
        }
        off = next;
        info.offEnd = next;
    }
    if (!bFmt)
        return RIFF_ERR_NO_FMT;
    if (!bData)
        return RIFF_ERR_NO_DATA;
    *pInfo = std::move(info);
    return RIFF_OK;
}
