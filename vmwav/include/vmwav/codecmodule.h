/* Loads the codec module once, on first need, from the program's folder. */
#ifndef VMWAV_CODECMODULE_H
#define VMWAV_CODECMODULE_H

#include "vmwav/codecapi.h"

/* The module's interface; null (after an error position) when it cannot be
 * loaded. Stays loaded for the rest of the process. */
const VmCodecApi *CodecModuleGet(void);

#endif
