/* libsndprobe support library: the counting allocator, the dynamic array of
 * pointer-sized values and the generic sort. Every function here is exported
 * by name; results are 0 for success and -1 for failure unless noted. */
#ifndef VMLIB_VMLIB_H
#define VMLIB_VMLIB_H

#include "VmLib/vmapi.h"

#define MEM_VERSION 262u
#define MEM_NOZERO 0x00000001u

/* Opaque allocator record. A null HVMMEM always means the process default. */
typedef struct VmMemRecord *HVMMEM;
/* Opaque dynamic array. */
typedef struct VmArrayRecord *HVMARRAY;

/* Comparator: <0 when *a sorts before *b, 0 when equal, >0 after. */
typedef int32_t (*PFNSORTCOMPARE)(const void *a, const void *b);

/* Sort algorithm flags; the lowest set bit of the low 8 selects, none = heap. */
#define SORT_INSERTION 0x01u
#define SORT_BUBBLE 0x02u
#define SORT_SHELL 0x04u
#define SORT_SELECTION 0x08u
#define SORT_HEAP 0x10u
#define SORT_QUICK 0x20u

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Counting allocator ------------------------------------------------ */

/* Returns the default record (one more reference), creating it on first use.
 * Null when dwVersion is not MEM_VERSION or hInstance is null. */
SNDPROBE_API HVMMEM MemInit(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Drops one reference of the default record (null = default), freeing it at
 * zero; any other valid record is freed at once. -1 for an invalid handle. */
SNDPROBE_API int32_t MemTerm(HVMMEM hMem);
/* cb bytes, zero-filled unless MEM_NOZERO; null on failure (traced at level 1). */
SNDPROBE_API void *MemAllocEx(HVMMEM hMem, uint32_t cb, uint32_t dwFlags, const wchar_t *pszFile,
                              uint32_t nLine);
/* Resizes a block this allocator gave out; new bytes zeroed unless MEM_NOZERO.
 * Null on failure, the old block then stays valid. */
SNDPROBE_API void *MemReAllocEx(HVMMEM hMem, void *pBlock, uint32_t cb, uint32_t dwFlags,
                                const wchar_t *pszFile, uint32_t nLine);
/* Null on success; pBlock itself when it is not a live block of this allocator. */
SNDPROBE_API void *MemFreeEx(HVMMEM hMem, void *pBlock, const wchar_t *pszFile, uint32_t nLine);
/* The size asked for when the block was allocated; 0 for an unknown pointer. */
SNDPROBE_API uint32_t MemSize(HVMMEM hMem, const void *pBlock);

/* Convenience for callers inside libsndprobe: default record, this unit and line. */
#define VM_ALLOC(cb, flags, unit) MemAllocEx(nullptr, (cb), (flags), unit, __LINE__)
#define VM_FREE(p, unit) MemFreeEx(nullptr, (p), unit, __LINE__)

/* ---- Dynamic array -------------------------------------------------------- */

SNDPROBE_API HVMARRAY ArrayCreate(uint32_t dwVersion, VMHINSTANCE hInstance);
SNDPROBE_API int32_t ArrayDestroy(HVMARRAY hArray);
/* Number of elements, or -1 for a bad handle. */
SNDPROBE_API int32_t ArrayGetSize(HVMARRAY hArray);
/* ArrayGetSize - 1 (so -2 for a bad handle). */
SNDPROBE_API int32_t ArrayGetUpperBound(HVMARRAY hArray);
/* nGrowBy -1 keeps the current step, 0 lets the size choose it. */
SNDPROBE_API int32_t ArraySetSize(HVMARRAY hArray, int32_t nNewSize, int32_t nGrowBy);
SNDPROBE_API int32_t ArrayFreeExtra(HVMARRAY hArray);
SNDPROBE_API int32_t ArrayRemoveAll(HVMARRAY hArray);
/* The element, or 0 when nIndex is out of range. */
SNDPROBE_API uintptr_t ArrayGetAt(HVMARRAY hArray, int32_t nIndex);
SNDPROBE_API int32_t ArraySetAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
SNDPROBE_API int32_t ArraySetAtGrow(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
/* The new element's index, or -1. */
SNDPROBE_API int32_t ArrayAdd(HVMARRAY hArray, uintptr_t value);
SNDPROBE_API int32_t ArrayInsertAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value,
                                   int32_t nCount);
SNDPROBE_API int32_t ArrayRemoveAt(HVMARRAY hArray, int32_t nIndex, int32_t nCount);
/* Heap sort of the slots; the comparator receives pointers to two slots. */
SNDPROBE_API int32_t ArraySort(HVMARRAY hArray, PFNSORTCOMPARE pfnCompare);
/* First index after nAfter whose slot matches key; -1 none, -2 bad start or handle. */
SNDPROBE_API int32_t ArraySearch(HVMARRAY hArray, uintptr_t key, int32_t nAfter,
                                 uint32_t dwReserved, PFNSORTCOMPARE pfnCompare);

/* ---- Sort ----------------------------------------------------------------- */

/* In-place sort of nCount elements of cbElement bytes; 0 or -1. */
SNDPROBE_API int32_t Sort(void *pBase, int32_t nCount, int32_t cbElement,
                          PFNSORTCOMPARE pfnCompare, uint8_t dwFlags);
SNDPROBE_API int32_t SortCompareBool(const void *a, const void *b);
SNDPROBE_API int32_t SortCompareShort(const void *a, const void *b);
SNDPROBE_API int32_t SortCompareLong(const void *a, const void *b);
/* Elements are pointers to zero-terminated wide strings; case-insensitive. */
SNDPROBE_API int32_t SortCompareString(const void *a, const void *b);
SNDPROBE_API int32_t SortCompareNull(const void *a, const void *b);

#ifdef __cplusplus
}
#endif

#endif
