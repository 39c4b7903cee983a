// The dynamic array of pointer-sized slots. Storage always comes from the
// counting allocator, so every growth shows in allocation traces.
#include <cstring>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"

struct VmArrayRecord {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    int32_t nSize;
    int32_t nMaxSize;
    int32_t nGrowBy;
    uintptr_t *pData;
};

namespace {

const wchar_t kUnit[] = L"ARRAY";
constexpr int64_t kSlot = sizeof(uintptr_t);
// The allocator takes a 32-bit byte count.
constexpr int64_t kMaxSlots = UINT32_MAX / kSlot;

VmArrayRecord *Check(HVMARRAY hArray) {
    return HandleIsLive(hArray, HANDLE_KIND_ARRAY) ? hArray : nullptr;
}

// The record of a live handle, or null after the error position nPosition.
VmArrayRecord *CheckAt(HVMARRAY hArray, uint32_t nPosition) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr)
        TracePosition(kUnit, nPosition);
    return rec;
}

uintptr_t *AllocSlots(int64_t nSlots, uint32_t nPosition) {
    if (nSlots > kMaxSlots)
        return nullptr;
    return static_cast<uintptr_t *>(
        MemAllocEx(nullptr, static_cast<uint32_t>(nSlots * kSlot), 0, kUnit, nPosition));
}

// Moves the elements into the larger or smaller storage p, which replaces the
// old one; 0, or -1 after the error position nFailed when the old storage
// cannot be released (the array then stays as it was, and p is released
// rather than lost track of). nFreeOld and nFreeNew are the positions of the
// two releases.
int32_t MoveSlots(VmArrayRecord *rec, uintptr_t *p, uint32_t nFreeOld, uint32_t nFreeNew,
                  uint32_t nFailed) {
    memcpy(p, rec->pData, static_cast<size_t>(rec->nSize * kSlot));
    if (MemFreeEx(nullptr, rec->pData, kUnit, nFreeOld) != nullptr) {
        MemFreeEx(nullptr, p, kUnit, nFreeNew);
        TracePosition(kUnit, nFailed);
        return -1;
    }
    rec->pData = p;
    return 0;
}

void ZeroSlots(uintptr_t *p, int64_t nSlots) {
    if (nSlots > 0)
        memset(p, 0, static_cast<size_t>(nSlots * kSlot));
}

} // namespace

HVMARRAY ArrayCreate(uint32_t dwVersion, VMHINSTANCE hInstance) {
    if (!VmCheckCreate(dwVersion, MEM_VERSION, hInstance, kUnit, 1))
        return nullptr;
    auto *rec =
        static_cast<VmArrayRecord *>(MemAllocEx(nullptr, sizeof(VmArrayRecord), 0, kUnit, 29));
    if (rec == nullptr) {
        TracePosition(kUnit, 2);
        return nullptr;
    }
    if (HandleAdd(rec, HANDLE_KIND_ARRAY) != 0) {
        MemFreeEx(nullptr, rec, kUnit, 30);
        TracePosition(kUnit, 3);
        return nullptr;
    }
    rec->dwVersion = MEM_VERSION;
    rec->hInstance = hInstance;
    rec->hProcess = VmCurrentProcess();
    return rec;
}

int32_t ArrayDestroy(HVMARRAY hArray) {
    VmArrayRecord *rec = CheckAt(hArray, 4);
    if (rec == nullptr)
        return -1;
    if (ArrayRemoveAll(rec) != 0) {
        TracePosition(kUnit, 5);
        return -1;
    }
    HandleRemove(rec, HANDLE_KIND_ARRAY);
    if (MemFreeEx(nullptr, rec, kUnit, 31) != nullptr) {
        HandleAdd(rec, HANDLE_KIND_ARRAY);
        TracePosition(kUnit, 6);
        return -1;
    }
    return 0;
}

int32_t ArrayGetSize(HVMARRAY hArray) {
    VmArrayRecord *rec = CheckAt(hArray, 7);
    if (rec == nullptr)
        return -1;
    return rec->nSize;
}

int32_t ArrayGetUpperBound(HVMARRAY hArray) {
    return ArrayGetSize(hArray) - 1;
}

int32_t ArraySetSize(HVMARRAY hArray, int32_t nNewSize, int32_t nGrowBy) {
    VmArrayRecord *rec = CheckAt(hArray, 8);
    if (rec == nullptr)
        return -1;
    // The step is taken even when the resize itself is refused.
    if (nGrowBy >= 0)
        rec->nGrowBy = nGrowBy;
    if (nNewSize < 0) {
        TracePosition(kUnit, 9);
        return -1;
    }
    if (nNewSize == 0) {
        if (rec->pData != nullptr) {
            if (MemFreeEx(nullptr, rec->pData, kUnit, 32) != nullptr) {
                TracePosition(kUnit, 10);
                return -1;
            }
            rec->pData = nullptr;
        }
        rec->nSize = rec->nMaxSize = 0;
        return 0;
    }
    if (rec->pData == nullptr) {
        uintptr_t *p = AllocSlots(nNewSize, 33);
        if (p == nullptr) {
            TracePosition(kUnit, 11);
            return -1;
        }
        rec->pData = p;
        rec->nSize = rec->nMaxSize = nNewSize;
        return 0;
    }
    if (nNewSize <= rec->nMaxSize) {
        // Slots dropped by an earlier shrink still hold their old values.
        ZeroSlots(rec->pData + rec->nSize, static_cast<int64_t>(nNewSize) - rec->nSize);
        rec->nSize = nNewSize;
        return 0;
    }
    int64_t step = rec->nGrowBy;
    if (step == 0) {
        step = rec->nSize / 8;
        step = step < 4 ? 4 : (step > 1024 ? 1024 : step);
    }
    int64_t nNewMax = static_cast<int64_t>(rec->nMaxSize) + step;
    if (nNewMax < nNewSize)
        nNewMax = nNewSize;
    if (nNewMax > INT32_MAX)
        nNewMax = INT32_MAX;
    uintptr_t *p = AllocSlots(nNewMax, 34);
    if (p == nullptr) {
        TracePosition(kUnit, 12);
        return -1;
    }
    if (MoveSlots(rec, p, 35, 36, 13) != 0)
        return -1;
    rec->nSize = nNewSize;
    rec->nMaxSize = static_cast<int32_t>(nNewMax);
    return 0;
}

int32_t ArrayFreeExtra(HVMARRAY hArray) {
    VmArrayRecord *rec = CheckAt(hArray, 14);
    if (rec == nullptr)
        return -1;
    if (rec->pData == nullptr || rec->nSize == rec->nMaxSize)
        return 0;
    // An empty array gives its storage back entirely, as a resize to 0 does.
    if (rec->nSize == 0)
        return ArraySetSize(rec, 0, -1);
    uintptr_t *p = AllocSlots(rec->nSize, 37);
    if (p == nullptr) {
        TracePosition(kUnit, 15);
        return -1;
    }
    if (MoveSlots(rec, p, 38, 39, 16) != 0)
        return -1;
    rec->nMaxSize = rec->nSize;
    return 0;
}

int32_t ArrayRemoveAll(HVMARRAY hArray) {
    return ArraySetSize(hArray, 0, -1);
}

uintptr_t ArrayGetAt(HVMARRAY hArray, int32_t nIndex) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr || nIndex < 0 || nIndex >= rec->nSize) {
        TracePosition(kUnit, 17);
        return 0;
    }
    return rec->pData[nIndex];
}

int32_t ArraySetAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr || nIndex < 0 || nIndex >= rec->nSize) {
        TracePosition(kUnit, 18);
        return -1;
    }
    rec->pData[nIndex] = value;
    return 0;
}

int32_t ArraySetAtGrow(HVMARRAY hArray, int32_t nIndex, uintptr_t value) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr || nIndex < 0 || nIndex == INT32_MAX) {
        TracePosition(kUnit, 19);
        return -1;
    }
    if (nIndex >= rec->nSize && ArraySetSize(rec, nIndex + 1, -1) != 0) {
        TracePosition(kUnit, 20);
        return -1;
    }
    rec->pData[nIndex] = value;
    return 0;
}

int32_t ArrayAdd(HVMARRAY hArray, uintptr_t value) {
    VmArrayRecord *rec = CheckAt(hArray, 21);
    if (rec == nullptr)
        return -1;
    int32_t nIndex = rec->nSize;
    if (ArraySetAtGrow(rec, nIndex, value) != 0) {
        TracePosition(kUnit, 22);
        return -1;
    }
    return nIndex;
}

int32_t ArrayInsertAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value, int32_t nCount) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr || nIndex < 0 || nCount <= 0) {
        TracePosition(kUnit, 23);
        return -1;
    }
    int32_t nOldSize = rec->nSize;
    int64_t nEnd = static_cast<int64_t>(nIndex >= nOldSize ? nIndex : nOldSize) + nCount;
    if (nEnd > INT32_MAX || ArraySetSize(rec, static_cast<int32_t>(nEnd), -1) != 0) {
        TracePosition(kUnit, 24);
        return -1;
    }
    if (nIndex < nOldSize) {
        memmove(rec->pData + nIndex + nCount, rec->pData + nIndex,
                static_cast<size_t>((nOldSize - nIndex) * kSlot));
        ZeroSlots(rec->pData + nIndex, nCount);
    }
    for (int32_t i = 0; i < nCount; ++i)
        rec->pData[nIndex + i] = value;
    return 0;
}

int32_t ArrayRemoveAt(HVMARRAY hArray, int32_t nIndex, int32_t nCount) {
    VmArrayRecord *rec = Check(hArray);
    if (rec == nullptr || nIndex < 0 || nCount < 0 ||
        static_cast<int64_t>(nIndex) + nCount > rec->nSize) {
        TracePosition(kUnit, 25);
        return -1;
    }
    int32_t nAfter = rec->nSize - (nIndex + nCount);
    if (nAfter > 0 && nCount > 0) {
        memmove(rec->pData + nIndex, rec->pData + nIndex + nCount,
                static_cast<size_t>(nAfter * kSlot));
        ZeroSlots(rec->pData + rec->nSize - nCount, nCount);
    }
    rec->nSize -= nCount;
    return 0;
}

int32_t ArraySort(HVMARRAY hArray, PFNSORTCOMPARE pfnCompare) {
    VmArrayRecord *rec = CheckAt(hArray, 26);
    if (rec == nullptr)
        return -1;
    if (Sort(rec->pData, rec->nSize, static_cast<int32_t>(kSlot), pfnCompare, 0) != 0) {
        TracePosition(kUnit, 27);
        return -1;
    }
    return 0;
}

int32_t ArraySearch(HVMARRAY hArray, uintptr_t key, int32_t nAfter, uint32_t,
                    PFNSORTCOMPARE pfnCompare) {
    VmArrayRecord *rec = Check(hArray);
    int64_t start = static_cast<int64_t>(nAfter) + 1;
    if (rec == nullptr || start < 0 || start >= rec->nSize) {
        TracePosition(kUnit, 28);
        return -2;
    }
    for (int32_t i = static_cast<int32_t>(start); i < rec->nSize; ++i) {
        bool match = pfnCompare != nullptr ? pfnCompare(&rec->pData[i], &key) == 0
                                           : memcmp(&rec->pData[i], &key, sizeof key) == 0;
        if (match)
            return i;
    }
    return -1;
}
