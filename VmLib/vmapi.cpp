#include "VmLib/vmapi.h"

// Any stable, non-null address inside this library serves as its module handle.
static char g_moduleAnchor;
static char g_processAnchor;

VMHINSTANCE VmModuleHandle(void) {
    return &g_moduleAnchor;
}
VMHPROCESS VmCurrentProcess(void) {
    return &g_processAnchor;
}
