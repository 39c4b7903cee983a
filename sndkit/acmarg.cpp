#include "sndkit/acmarg.h"

#include <wchar.h>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "sndkit/args.h"
#include "sndkit/codectable.h"
#include "sndkit/strex.h"

#define UNIT L"acmarg"

struct AcmArgContext {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    uint32_t dwReserved;
    HACMCONTEXT hAcm;
    HACMDRIVER ahDrivers[ACMARG_MAX_DRIVERS];
    int32_t nDrivers;
};

namespace {

void LoadNamed(HACMARG c, wchar_t *pszValue) {
    wchar_t *cursor = pszValue;
    wchar_t *file = NextTokenString(&cursor, L",", nullptr, 0);
    const int32_t mid = NextTokenInt(&cursor, L",", 0);
    const int32_t pid = NextTokenInt(&cursor, L",", 0);
    if (file == nullptr) {
        if (AcmDriverLoadAll(c->hAcm) != 0)
            TracePosition(UNIT, 1);
        return;
    }
    // The context has room for so many files; any further one is refused.
    HACMDRIVER h = nullptr;
    if (c->nDrivers < ACMARG_MAX_DRIVERS)
        h = AcmDriverLoad(c->hAcm, uint16_t(mid), uint16_t(pid), file, "DriverProc", 0);
    if (h != nullptr) {
        c->ahDrivers[c->nDrivers++] = h;
    } else {
        TracePosition(UNIT, 2);
        Trace(nullptr, TRACE_RESULT, L"sndprobe: unable to load codec: %s\n", file);
    }
    StrRelease(file);
}

// Unloads a held driver and clears its slot; false when it is refused.
bool Unload(HACMCONTEXT hAcm, HACMDRIVER &hDriver) {
    if (hDriver == nullptr || AcmDriverUnload(hAcm, hDriver) == 0) {
        hDriver = nullptr;
        return true;
    }
    TracePosition(UNIT, 3);
    return false;
}

// Runs step on every entry of the driver table; -1 without a context or when
// any step failed, the others still run.
template <class Step> int32_t ForEachTableEntry(HACMCONTEXT hAcm, Step step) {
    if (hAcm == nullptr) {
        TracePosition(UNIT, 4);
        return -1;
    }
    int32_t result = 0;
    CodecDriverEntry *t = CodecDriverTable();
    for (int32_t i = 0; i < CODEC_DRIVER_COUNT; ++i)
        if (!step(t[i]))
            result = -1;
    return result;
}

} // namespace

HACMARG AcmArgInit(uint32_t dwVersion, VMHINSTANCE hInstance, int32_t nCount, wchar_t **ppszArgs,
                   uint32_t dwReserved) {
    if (!VmCheckCreate(dwVersion, ACMARG_VERSION, hInstance, UNIT, 5))
        return nullptr;
    auto *c = static_cast<HACMARG>(VM_ALLOC(sizeof(AcmArgContext), 0, UNIT, 6));
    if (c == nullptr) {
        TracePosition(UNIT, 7);
        return nullptr;
    }
    c->dwVersion = ACMARG_VERSION;
    c->hInstance = hInstance;
    c->hProcess = VmCurrentProcess();
    c->dwReserved = dwReserved;
    if (HandleAdd(c, HANDLE_KIND_ACMARG) != 0) {
        TracePosition(UNIT, 8);
        VM_FREE(c, UNIT, 9);
        return nullptr;
    }
    c->hAcm = AcmInit(ACM_VERSION, hInstance);
    if (c->hAcm == nullptr) {
        TracePosition(UNIT, 10);
        AcmArgTerm(c);
        return nullptr;
    }
    wchar_t szValue[ARG_VALUE_CHARS];
    for (int32_t i = GetArgOption(1, nCount, ppszArgs, L"acm", szValue, ARG_VALUE_CHARS); i >= 0;
         i = GetArgOption(i + 1, nCount, ppszArgs, L"acm", szValue, ARG_VALUE_CHARS))
        LoadNamed(c, szValue);
    return c;
}

int32_t AcmArgTerm(HACMARG c) {
    if (!HandleIsLive(c, HANDLE_KIND_ACMARG)) {
        TracePosition(UNIT, 11);
        return -1;
    }
    int32_t result = 0;
    if (c->hAcm != nullptr) {
        if (AcmDriverUnloadAll(c->hAcm) != 0) {
            TracePosition(UNIT, 12);
            result = -1;
        }
        for (int32_t i = 0; i < c->nDrivers; ++i)
            if (!Unload(c->hAcm, c->ahDrivers[i]))
                result = -1;
        if (AcmTerm(c->hAcm) == 0) {
            c->hAcm = nullptr;
        } else {
            TracePosition(UNIT, 13);
            result = -1;
        }
    }
    HandleRemove(c, HANDLE_KIND_ACMARG);
    if (VM_FREE(c, UNIT, 14) != nullptr) {
        TracePosition(UNIT, 15);
        result = -1;
    }
    return result;
}

int32_t AcmDriverLoadAll(HACMCONTEXT hAcm) {
    return ForEachTableEntry(hAcm, [hAcm](CodecDriverEntry &e) {
        // A second bare -acm leaves what the first one loaded in place.
        if (e.hDriver == nullptr)
            e.hDriver = AcmDriverLoad(hAcm, e.wMid, e.wPid, e.pszFile, "DriverProc", 0);
        if (e.hDriver != nullptr)
            return true;
        TracePosition(UNIT, 16);
        Trace(nullptr, TRACE_RESULT, L"unable to load codec: %s\n", e.pszFile);
        return false;
    });
}

int32_t AcmDriverUnloadAll(HACMCONTEXT hAcm) {
    return ForEachTableEntry(hAcm, [hAcm](CodecDriverEntry &e) { return Unload(hAcm, e.hDriver); });
}

int32_t WavFormatGetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, uintptr_t,
                              wchar_t *pszValue, int32_t cchValue) {
    const wchar_t *const *names = FormatOptionNames();
    wchar_t szValue[ARG_VALUE_CHARS];
    for (int32_t n = 0; n < FORMAT_OPTION_COUNT; ++n) {
        szValue[0] = L'\0';
        const int32_t i =
            GetArgOption(nIndex, nCount, ppszArgs, names[n], szValue, ARG_VALUE_CHARS);
        if (i < 0)
            continue;
        if (pszValue != nullptr && cchValue > 0) {
            wcsncpy(pszValue, szValue, size_t(cchValue - 1));
            pszValue[cchValue - 1] = L'\0';
        }
        return i;
    }
    return -1;
}
