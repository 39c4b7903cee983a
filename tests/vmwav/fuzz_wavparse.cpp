// Fuzz target: the RIFF parser and the format parser over arbitrary bytes,
// and the frame decoders over whatever audio they accept.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "vmwav/decode_pcm.h"
#include "vmwav/riff.h"
#include "vmwav/wavfmt.h"

namespace {

struct Memory {
    const uint8_t *p;
    size_t cb;
};

int ReadMemory(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    const auto *m = static_cast<const Memory *>(pUser);
    if (offset > m->cb || cb > m->cb - offset)
        return -1;
    memcpy(pBuffer, m->p + offset, cb);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Memory m = {data, size};
    const RiffSource src = {&m, size, ReadMemory};
    RiffInfo riff;
    if (RiffParse(src, &riff) != RIFF_OK)
        return 0;
    // What the parser promises its callers.
    if (riff.offData + riff.cbData > size || riff.offTrailer > riff.offEnd || riff.offEnd > size ||
        riff.cbData == 0 || riff.fmt.size() < 16 ||
        (riff.bHasFact && riff.offFact + 4 > riff.offData))
        __builtin_trap();

    std::vector<uint8_t> record;
    WavCodecInfo info;
    if (WavFormatParse(riff.fmt.data(), riff.fmt.size(), &record, &info) != WAVFMT_OK)
        return 0;
    WavCodecInfo again;
    if (WavFormatClassify(reinterpret_cast<const WAVEFORMATEX *>(record.data()), &again) !=
            WAVFMT_OK ||
        again.kind != info.kind)
        __builtin_trap();
    const uint64_t frames = WavFrameCount(info, riff.cbData, riff.bHasFact, riff.dwFact);
    // A data chunk cut short may hold less than a frame; the library refuses
    // such a file before it decodes anything.
    if (DecodeIsFrameKind(info.kind) && frames > 0) {
        if (frames * info.nBlockAlign > riff.cbData)
            __builtin_trap();
        std::vector<int16_t> out(size_t(std::min<uint64_t>(frames, 1u << 16)));
        DecodeFrames(info, data + riff.offData, out.size(), out.data());
    }
    return 0;
}
