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

/* A new empty array; null unless dwVersion is MEM_VERSION and hInstance is set. */
SNDPROBE_API HVMARRAY ArrayCreate(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Releases the storage and the record (never what the elements point to);
 * -1 for a bad handle or a failed release, the array is then kept. */
SNDPROBE_API int32_t ArrayDestroy(HVMARRAY hArray);
/* Number of elements, or -1 for a bad handle. */
SNDPROBE_API int32_t ArrayGetSize(HVMARRAY hArray);
/* ArrayGetSize - 1 (so -2 for a bad handle). */
SNDPROBE_API int32_t ArrayGetUpperBound(HVMARRAY hArray);
/* Sets the number of elements; new slots are 0. nGrowBy -1 keeps the current
 * growth step, 0 lets the size choose it (an eighth, 4 to 1024 slots).
 * -1 for a negative size or a failed allocation, the array is then unchanged. */
SNDPROBE_API int32_t ArraySetSize(HVMARRAY hArray, int32_t nNewSize, int32_t nGrowBy);
/* Shrinks the storage to the elements in use; an empty array gives it all back. */
SNDPROBE_API int32_t ArrayFreeExtra(HVMARRAY hArray);
/* ArraySetSize(hArray, 0, -1): no elements, no storage. */
SNDPROBE_API int32_t ArrayRemoveAll(HVMARRAY hArray);
/* The element, or 0 when nIndex is out of range. */
SNDPROBE_API uintptr_t ArrayGetAt(HVMARRAY hArray, int32_t nIndex);
/* Stores value at nIndex; -1 when nIndex is not an element. */
SNDPROBE_API int32_t ArraySetAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
/* Stores value at nIndex, growing to nIndex + 1 elements first if needed. */
SNDPROBE_API int32_t ArraySetAtGrow(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
/* The new element's index, or -1. */
SNDPROBE_API int32_t ArrayAdd(HVMARRAY hArray, uintptr_t value);
/* Stores value into nCount new slots at nIndex, moving the rest up; beyond the
 * end the gap is filled with 0. -1 for nIndex < 0 or nCount < 1. */
SNDPROBE_API int32_t ArrayInsertAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value,
                                   int32_t nCount);
/* Removes nCount elements at nIndex, moving the rest down; -1 when the range
 * is not inside the array (nothing changes then). */
SNDPROBE_API int32_t ArrayRemoveAt(HVMARRAY hArray, int32_t nIndex, int32_t nCount);
/* Heap sort of the slots; the comparator receives pointers to two slots. */
SNDPROBE_API int32_t ArraySort(HVMARRAY hArray, PFNSORTCOMPARE pfnCompare);
/* First index after nAfter (-1: from the start) whose slot matches key: the
 * comparator, called (slot, key), answers 0, or without one the bytes are
 * equal. -1 for no match, -2 for a bad start or handle. */
SNDPROBE_API int32_t ArraySearch(HVMARRAY hArray, uintptr_t key, int32_t nAfter,
                                 uint32_t dwReserved, PFNSORTCOMPARE pfnCompare);

/* ---- Sort ----------------------------------------------------------------- */

/* In-place sort of nCount elements of cbElement bytes; the lowest set flag of
 * dwFlags picks the algorithm, none the heap sort. Without a comparator the
 * bytes are compared as unsigned. 0, or -1 for a bad argument (nCount 0 is
 * always fine). */
SNDPROBE_API int32_t Sort(void *pBase, int32_t nCount, int32_t cbElement, PFNSORTCOMPARE pfnCompare,
                          uint8_t dwFlags);
/* 32-bit truth values: non-zero sorts before zero. */
SNDPROBE_API int32_t SortCompareBool(const void *a, const void *b);
/* Signed 16-bit values. */
SNDPROBE_API int32_t SortCompareShort(const void *a, const void *b);
/* Signed 32-bit values; the difference is saturated, so its sign is always right. */
SNDPROBE_API int32_t SortCompareLong(const void *a, const void *b);
/* Elements are pointers to zero-terminated wide strings: lowered, then ordered
 * by the locale's collation; a null string sorts first. */
SNDPROBE_API int32_t SortCompareString(const void *a, const void *b);
/* Everything is equal. */
SNDPROBE_API int32_t SortCompareNull(const void *a, const void *b);

#ifdef __cplusplus
}
#endif

#endif
