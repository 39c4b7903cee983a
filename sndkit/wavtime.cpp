#include "sndkit/wavtime.h"

#include <limits.h>

int32_t WavFormatMsToBytes(const WAVEFORMATEX *pwfx, uint32_t ms, int32_t nRound) {
    if (pwfx == nullptr || pwfx->nAvgBytesPerSec == 0)
        return 0;
    uint64_t b = uint64_t(ms) * pwfx->nAvgBytesPerSec / 1000;
    const uint64_t align = pwfx->nBlockAlign;
    if (align >= 2) {
        if (nRound > 0)
            b = (b + align - 1) / align * align;
        else if (nRound < 0)
            b = b / align * align;
    }
    // A count that wraps would be taken for a small one by every caller.
    return b > uint64_t(INT32_MAX) ? -1 : int32_t(b);
}

uint32_t WavFormatBytesToMs(const WAVEFORMATEX *pwfx, uint32_t cb) {
    if (pwfx == nullptr || pwfx->nAvgBytesPerSec == 0)
        return 0;
    const uint64_t ms = uint64_t(cb) * 1000 / pwfx->nAvgBytesPerSec;
    return ms > UINT32_MAX ? UINT32_MAX : uint32_t(ms);
}
