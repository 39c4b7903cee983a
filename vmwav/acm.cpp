// The codec driver registry: driver shared objects loaded by file name.
#include "vmwav/acm.h"

#include <dlfcn.h>

#include <algorithm>
#include <new>
#include <vector>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "vmwav/filename.h"
#include "vmwav/vmwav.h"

#define ACM_UNIT L"acm"

struct VmAcmDriver {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    HACMCONTEXT hAcm;
    uint16_t wMid;
    uint16_t wPid;
    void *pLibrary;
    ACMDRIVERPROC pfnDriverProc;
};

struct VmAcmContext {
    uint32_t dwVersion = ACM_VERSION;
    VMHINSTANCE hInstance = nullptr;
    VMHPROCESS hProcess = nullptr;
    std::vector<HACMDRIVER> drivers;
};

namespace {

int32_t FreeDriver(HACMDRIVER d) {
    int32_t result = 0;
    HandleRemove(d, HANDLE_KIND_ACMDRIVER);
    d->pfnDriverProc(uintptr_t(d), d, ACM_DRV_FREE, 0, 0);
    if (dlclose(d->pLibrary) != 0) {
        TracePosition(ACM_UNIT, 1);
        result = -1;
    }
    if (VM_FREE(d, ACM_UNIT, 2) != nullptr) {
        TracePosition(ACM_UNIT, 3);
        result = -1;
    }
    return result;
}

} // namespace

HACMCONTEXT AcmInit(uint32_t dwVersion, VMHINSTANCE hInstance) {
    if (!VmCheckCreate(dwVersion, ACM_VERSION, hInstance, ACM_UNIT, 4))
        return nullptr;
    auto *c = VmNewRecord<VmAcmContext>(hInstance, ACM_UNIT, 5);
    if (c == nullptr) {
        TracePosition(ACM_UNIT, 6);
        return nullptr;
    }
    if (HandleAdd(c, HANDLE_KIND_ACM) != 0) {
        TracePosition(ACM_UNIT, 7);
        c->~VmAcmContext();
        VM_FREE(c, ACM_UNIT, 8);
        return nullptr;
    }
    return c;
}

HACMDRIVER AcmDriverLoad(HACMCONTEXT hAcm, uint16_t wMid, uint16_t wPid, const wchar_t *pszFile,
                         const char *pszEntry, uint32_t) {
    std::string name;
    if (!HandleIsLive(hAcm, HANDLE_KIND_ACM) || pszEntry == nullptr ||
        !FileNameToLocal(pszFile, &name)) {
        TracePosition(ACM_UNIT, 9);
        return nullptr;
    }
    const std::string path = InProgramFolder(name);
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        TracePosition(ACM_UNIT, 10);
        return nullptr;
    }
    auto proc = reinterpret_cast<ACMDRIVERPROC>(dlsym(lib, pszEntry));
    if (proc == nullptr) {
        TracePosition(ACM_UNIT, 11);
        dlclose(lib);
        return nullptr;
    }
    auto *d = static_cast<HACMDRIVER>(VM_ALLOC(sizeof(VmAcmDriver), 0, ACM_UNIT, 12));
    if (d == nullptr) {
        TracePosition(ACM_UNIT, 13);
        dlclose(lib);
        return nullptr;
    }
    *d = VmAcmDriver{ACM_VERSION, hAcm->hInstance, VmCurrentProcess(), hAcm, wMid, wPid, lib, proc};
    if (proc(uintptr_t(d), d, ACM_DRV_LOAD, 0, 0) == 0) {
        TracePosition(ACM_UNIT, 14);
        dlclose(lib);
        VM_FREE(d, ACM_UNIT, 15);
        return nullptr;
    }
    if (HandleAdd(d, HANDLE_KIND_ACMDRIVER) != 0) {
        TracePosition(ACM_UNIT, 16);
        proc(uintptr_t(d), d, ACM_DRV_FREE, 0, 0);
        dlclose(lib);
        VM_FREE(d, ACM_UNIT, 17);
        return nullptr;
    }
    hAcm->drivers.push_back(d);
    return d;
}

int32_t AcmDriverUnload(HACMCONTEXT hAcm, HACMDRIVER hDriver) {
    if (!HandleIsLive(hAcm, HANDLE_KIND_ACM) || !HandleIsLive(hDriver, HANDLE_KIND_ACMDRIVER) ||
        hDriver->hAcm != hAcm) {
        TracePosition(ACM_UNIT, 18);
        return -1;
    }
    auto &v = hAcm->drivers;
    v.erase(std::remove(v.begin(), v.end(), hDriver), v.end());
    return FreeDriver(hDriver);
}

int32_t AcmTerm(HACMCONTEXT hAcm) {
    if (HandleRemove(hAcm, HANDLE_KIND_ACM) != 0) {
        TracePosition(ACM_UNIT, 19);
        return -1;
    }
    // Drivers the caller left loaded go with their context, newest first.
    int32_t result = 0;
    for (auto it = hAcm->drivers.rbegin(); it != hAcm->drivers.rend(); ++it)
        if (FreeDriver(*it) != 0)
            result = -1;
    hAcm->~VmAcmContext();
    if (VM_FREE(hAcm, ACM_UNIT, 20) != nullptr) {
        TracePosition(ACM_UNIT, 21);
        result = -1;
    }
    return result;
}
