/* The counting allocator, dynamic array and sort as libsndprobe's own units
 * use them; the functions themselves are declared in sndprobe.h. */
#ifndef VMLIB_VMLIB_H
#define VMLIB_VMLIB_H

#include "VmLib/vmapi.h"

/* The default record; pos is the caller's error position in its unit. */
#define VM_ALLOC(cb, flags, unit, pos) MemAllocEx(nullptr, (cb), (flags), unit, pos)
#define VM_FREE(p, unit, pos) MemFreeEx(nullptr, (p), unit, pos)

#endif
