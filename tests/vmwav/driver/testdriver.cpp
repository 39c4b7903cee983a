// A codec driver that does nothing but count how often it is loaded, and
// refuses to load while VMWAV_TESTDRIVER_REFUSE is set.
#include <stdint.h>
#include <stdlib.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

static int g_loaded;

EXPORT intptr_t DriverProc(uintptr_t, void *, uint32_t uMsg, intptr_t, intptr_t) {
    if (uMsg == 1) {
        if (getenv("VMWAV_TESTDRIVER_REFUSE") != nullptr)
            return 0;
        ++g_loaded;
        return 1;
    }
    if (uMsg == 6)
        --g_loaded;
    return 1;
}

EXPORT int TestDriverLoadCount(void) {
    return g_loaded;
}
