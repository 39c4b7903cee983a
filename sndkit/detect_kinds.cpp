// The detector kinds that DetectInit knows; each is defined in its own file.
#include "sndkit/detect_internal.h"

extern const DetectKind g_detectSilence, g_detectTone, g_detectDtmf, g_detectBaudot;

namespace {

const DetectKind *const kKinds[] = {
    &g_detectSilence,
    &g_detectTone,
    &g_detectDtmf,
    &g_detectBaudot,
};

} // namespace

const DetectKind *DetectFindKind(uint32_t dwType) {
    for (const DetectKind *pKind : kKinds)
        if (pKind->dwType == dwType)
            return pKind;
    return nullptr;
}
