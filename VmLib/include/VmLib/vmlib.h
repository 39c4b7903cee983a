/* The counting allocator, dynamic array and sort as libsndprobe's own units
 * use them; the functions themselves are declared in sndprobe.h. */
#ifndef VMLIB_VMLIB_H
#define VMLIB_VMLIB_H

#include "VmLib/vmapi.h"

/* The default record, this unit and line. */
#define VM_ALLOC(cb, flags, unit) MemAllocEx(nullptr, (cb), (flags), unit, __LINE__)
#define VM_FREE(p, unit) MemFreeEx(nullptr, (p), unit, __LINE__)

#endif
