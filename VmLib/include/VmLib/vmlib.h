/* The counting allocator, dynamic array and sort as libsndprobe's own units
 * use them; the functions themselves are declared in sndprobe.h. */
#ifndef VMLIB_VMLIB_H
#define VMLIB_VMLIB_H

#include "VmLib/trace.h"
#include "VmLib/vmapi.h"

/* The default record; pos is the caller's error position in its unit. */
#define VM_ALLOC(cb, flags, unit, pos) MemAllocEx(nullptr, (cb), (flags), unit, pos)
#define VM_FREE(p, unit, pos) MemFreeEx(nullptr, (p), unit, pos)

#ifdef __cplusplus
#include <new>

/* The first check of every create function: the interface version it was
 * built for and a module handle; false after the error position nPosition. */
inline bool VmCheckCreate(uint32_t dwVersion, uint32_t dwExpected, VMHINSTANCE hInstance,
                          const wchar_t *pszUnit, uint32_t nPosition) {
    if (dwVersion == dwExpected && hInstance != nullptr)
        return true;
    TracePosition(pszUnit, nPosition);
    return false;
}

/* A record of type T from the counting allocator, constructed, its module
 * and process handles filled in; null when memory is exhausted. nPosition is
 * the allocation's position in pszUnit. */
template <class T>
T *VmNewRecord(VMHINSTANCE hInstance, const wchar_t *pszUnit, uint32_t nPosition) {
    void *mem = VM_ALLOC(sizeof(T), 0, pszUnit, nPosition);
    if (mem == nullptr)
        return nullptr;
    T *p = new (mem) T;
    p->hInstance = hInstance;
    p->hProcess = VmCurrentProcess();
    return p;
}
#endif

#endif
