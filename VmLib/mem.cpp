// The counting allocator. Block sizes live in a table of live blocks rather
// than in a header, so that a pointer this allocator never gave out is
// recognised without ever being dereferenced.
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "VmLib/handles.h"
#include "VmLib/trace.h"
#include "VmLib/vmlib.h"
#include "VmLib/wideprintf.h"

struct VmMemRecord {
    uint32_t dwVersion;
    VMHINSTANCE hInstance;
    VMHPROCESS hProcess;
    int32_t nBlocks;
    int32_t nBytes;
    int32_t nRefs;
};

namespace {

const wchar_t kUnit[] = L"MEM";

VmMemRecord *g_default = nullptr;

// Block sizes by address.
using LiveTable = std::unordered_map<const void *, uint32_t>;

// Never destroyed: blocks may still be released by other static destructors.
LiveTable &LiveBlocks() {
    static auto *table = new LiveTable();
    return *table;
}

// The counters are 32-bit like the lines that show them; they wrap, never trap.
void AddBytes(VmMemRecord *rec, int64_t delta) {
    rec->nBytes = static_cast<int32_t>(static_cast<uint32_t>(rec->nBytes) +
                                       static_cast<uint32_t>(static_cast<uint64_t>(delta)));
}

VmMemRecord *Resolve(HVMMEM hMem) {
    if (hMem == nullptr)
        return g_default != nullptr ? g_default : MemInit(MEM_VERSION, VmModuleHandle());
    return HandleIsLive(hMem, HANDLE_KIND_MEM) ? hMem : nullptr;
}

// The entry of a live block, or the table's end after the error position
// nPosition for a pointer this allocator does not know.
LiveTable::iterator FindLive(const void *pBlock, uint32_t nPosition) {
    auto it = LiveBlocks().find(pBlock);
    if (it == LiveBlocks().end())
        TracePosition(kUnit, nPosition);
    return it;
}

// The heap may hand out nothing for zero bytes; every block must be a
// distinct live pointer, so ask for at least one.
size_t HeapBytes(uint32_t cb) {
    return cb == 0 ? 1 : cb;
}

} // namespace

HVMMEM MemInit(uint32_t dwVersion, VMHINSTANCE hInstance) {
    if (!VmCheckCreate(dwVersion, MEM_VERSION, hInstance, kUnit, 1))
        return nullptr;
    if (g_default != nullptr) {
        ++g_default->nRefs;
        return g_default;
    }
    auto *rec = static_cast<VmMemRecord *>(calloc(1, sizeof(VmMemRecord)));
    if (rec == nullptr) {
        TracePosition(kUnit, 2);
        return nullptr;
    }
    if (HandleAdd(rec, HANDLE_KIND_MEM) != 0) {
        free(rec);
        TracePosition(kUnit, 3);
        return nullptr;
    }
    rec->dwVersion = MEM_VERSION;
    rec->hInstance = hInstance;
    rec->hProcess = VmCurrentProcess();
    rec->nRefs = 1;
    g_default = rec;
    return rec;
}

int32_t MemTerm(HVMMEM hMem) {
    if (hMem == nullptr || hMem == g_default) {
        if (g_default == nullptr) {
            TracePosition(kUnit, 4);
            return -1;
        }
        if (--g_default->nRefs > 0)
            return 0;
        hMem = g_default;
        g_default = nullptr;
    } else if (!HandleIsLive(hMem, HANDLE_KIND_MEM)) {
        TracePosition(kUnit, 5);
        return -1;
    }
    if (HandleRemove(hMem, HANDLE_KIND_MEM) != 0) {
        TracePosition(kUnit, 6);
        return -1;
    }
    free(hMem);
    return 0;
}

void *MemAllocEx(HVMMEM hMem, uint32_t cb, uint32_t dwFlags, const wchar_t *pszFile,
                 uint32_t nLine) {
    VmMemRecord *rec = Resolve(hMem);
    if (rec == nullptr) {
        Trace(nullptr, TRACE_RESULT, L"%s(%u) : MemAllocEx(%ld, %08X) (%ld, %ld) failed\n", pszFile,
              nLine, cb, dwFlags, 0, 0);
        return nullptr;
    }
    void *p = (dwFlags & MEM_NOZERO) ? malloc(HeapBytes(cb)) : calloc(1, HeapBytes(cb));
    if (p != nullptr) {
        try {
            LiveBlocks().emplace(p, cb);
        } catch (const std::bad_alloc &) {
            free(p);
            p = nullptr;
        }
    }
    if (p == nullptr) {
        Trace(nullptr, TRACE_RESULT, L"%s(%u) : MemAllocEx(%ld, %08X) (%ld, %ld) failed\n", pszFile,
              nLine, cb, dwFlags, rec->nBlocks, rec->nBytes);
        return nullptr;
    }
    ++rec->nBlocks;
    AddBytes(rec, cb);
    if (TraceIsEnabled(nullptr, TRACE_ALLOC))
        Trace(nullptr, TRACE_ALLOC, L"%s(%u) : %08X = MemAllocEx(%ld, %08X) (%ld, %ld)\n", pszFile,
              nLine, WIDEPRINTF_PTR32(p), cb, dwFlags, rec->nBlocks, rec->nBytes);
    return p;
}

void *MemReAllocEx(HVMMEM hMem, void *pBlock, uint32_t cb, uint32_t dwFlags, const wchar_t *pszFile,
                   uint32_t nLine) {
    VmMemRecord *rec = Resolve(hMem);
    if (rec == nullptr) {
        TracePosition(kUnit, 7);
        return nullptr;
    }
    // Only the address is kept: the old block may be gone after the resize.
    const uintptr_t addrOld = reinterpret_cast<uintptr_t>(pBlock);
    auto &live = LiveBlocks();
    auto it = FindLive(pBlock, 8);
    if (it == live.end())
        return nullptr;
    uint32_t cbOld = it->second;
    void *p = realloc(pBlock, HeapBytes(cb));
    if (p == nullptr) {
        TracePosition(kUnit, 9);
        return nullptr;
    }
    if (cb > cbOld && !(dwFlags & MEM_NOZERO))
        memset(static_cast<char *>(p) + cbOld, 0, cb - cbOld);
    if (reinterpret_cast<uintptr_t>(p) == addrOld) {
        it->second = cb;
    } else {
        // Re-keying the node keeps the table's size, so it cannot fail.
        auto node = live.extract(it);
        node.key() = p;
        node.mapped() = cb;
        live.insert(std::move(node));
    }
    AddBytes(rec, static_cast<int64_t>(cb) - cbOld);
    if (TraceIsEnabled(nullptr, TRACE_ALLOC))
        Trace(nullptr, TRACE_ALLOC, L"%s(%u) : %08X = MemReAllocEx(%08X, %ld, %08X) (%ld, %ld)\n",
              pszFile, nLine, WIDEPRINTF_PTR32(p), static_cast<uint32_t>(addrOld), cb, dwFlags,
              rec->nBlocks, rec->nBytes);
    return p;
}

void *MemFreeEx(HVMMEM hMem, void *pBlock, const wchar_t *pszFile, uint32_t nLine) {
    VmMemRecord *rec = Resolve(hMem);
    if (rec == nullptr) {
        TracePosition(kUnit, 10);
        return pBlock;
    }
    // Releasing nothing is no failure: the caller's pointer is null either way.
    if (pBlock == nullptr)
        return nullptr;
    auto &live = LiveBlocks();
    auto it = FindLive(pBlock, 11);
    if (it == live.end())
        return pBlock;
    uint32_t cb = it->second;
    live.erase(it);
    --rec->nBlocks;
    AddBytes(rec, -static_cast<int64_t>(cb));
    // The line is written while the block still exists, so that its address is
    // never read from a released pointer.
    if (TraceIsEnabled(nullptr, TRACE_ALLOC))
        Trace(nullptr, TRACE_ALLOC, L"%s(%u) : MemFreeEx(%08X) (%ld, %ld)\n", pszFile, nLine,
              WIDEPRINTF_PTR32(pBlock), rec->nBlocks, rec->nBytes);
    free(pBlock);
    return nullptr;
}

uint32_t MemSize(HVMMEM hMem, const void *pBlock) {
    if (Resolve(hMem) == nullptr)
        return 0;
    auto &live = LiveBlocks();
    auto it = live.find(pBlock);
    return it == live.end() ? 0 : it->second;
}
