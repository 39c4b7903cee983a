#include "vmwav/codecmodule.h"

#include <dlfcn.h>

#include "VmLib/trace.h"
#include "vmwav/filename.h"

const VmCodecApi *CodecModuleGet(void) {
    static const VmCodecApi *s_api = nullptr;
    if (s_api != nullptr)
        return s_api;
    const std::string path = InProgramFolder(VMCODEC_MODULE_FILE);
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        TracePosition(L"codecmodule", 1);
        return nullptr;
    }
    auto get = reinterpret_cast<VmCodecGetApiProc>(dlsym(h, VMCODEC_ENTRY));
    const VmCodecApi *api = get != nullptr ? get() : nullptr;
    if (api == nullptr || api->dwVersion != VMCODEC_API_VERSION) {
        TracePosition(L"codecmodule", 2);
        dlclose(h);
        return nullptr;
    }
    s_api = api;
    return s_api;
}
