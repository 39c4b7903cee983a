// Sort: six in-place algorithms over fixed-size raw elements. The exact
// sequence of comparisons and exchanges of each one is part of its contract,
// because it fixes where elements that compare equal end up.
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"

namespace {

const wchar_t kUnit[] = L"SORT";

struct Elements {
    char *base;
    size_t cb;
    PFNSORTCOMPARE compare;
    void *scratch;

    char *At(int32_t i) const { return base + static_cast<size_t>(i) * cb; }
    int32_t Compare(const void *a, const void *b) const {
        if (compare != nullptr)
            return compare(a, b);
        int r = memcmp(a, b, cb);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    int32_t Compare(int32_t i, int32_t j) const { return Compare(At(i), At(j)); }
    void Swap(int32_t i, int32_t j) const {
        if (i == j)
            return;
        memcpy(scratch, At(i), cb);
        memcpy(At(i), At(j), cb);
        memcpy(At(j), scratch, cb);
    }
};

// Element 0 is the root with the single child 1; element k >= 1 has the
// children 2k and 2k+1.
void HeapSort(const Elements &e, int32_t n) {
    if (n <= 1)
        return;
    for (int32_t i = 1; i < n; ++i) {
        for (int32_t j = i; j != 0;) {
            int32_t p = j / 2;
            if (e.Compare(j, p) <= 0)
                break;
            e.Swap(j, p);
            j = p;
        }
    }
    for (int32_t last = n - 1; last >= 1; --last) {
        e.Swap(0, last);
        int32_t limit = last - 1;
        for (int32_t p = 0;;) {
            int32_t c = 2 * p;
            if (c > limit)
                break;
            if (c + 1 <= limit && e.Compare(c + 1, c) > 0)
                ++c;
            // At the root the first "child" is the root itself: nothing to do.
            if (c == p || e.Compare(p, c) >= 0)
                break;
            e.Swap(p, c);
            p = c;
        }
    }
}

void InsertionSort(const Elements &e, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        memcpy(e.scratch, e.At(i), e.cb);
        int32_t j = i;
        for (; j > 0 && e.Compare(e.At(j - 1), e.scratch) > 0; --j)
            memcpy(e.At(j), e.At(j - 1), e.cb);
        if (j != i)
            memcpy(e.At(j), e.scratch, e.cb);
    }
}

void BubbleSort(const Elements &e, int32_t n) {
    int32_t bound = n - 1;
    while (bound > 0) {
        int32_t lastSwap = 0;
        for (int32_t i = 0; i < bound; ++i) {
            if (e.Compare(i, i + 1) > 0) {
                e.Swap(i, i + 1);
                lastSwap = i;
            }
        }
        bound = lastSwap;
    }
}

void ShellSort(const Elements &e, int32_t n) {
    for (int32_t gap = n / 2; gap > 0; gap /= 2) {
        int32_t limit = n - gap - 1;
        int32_t lastSwap;
        do {
            lastSwap = 0;
            for (int32_t i = 0; i <= limit; ++i) {
                if (e.Compare(i, i + gap) > 0) {
                    e.Swap(i, i + gap);
                    lastSwap = i;
                }
            }
            limit = lastSwap - gap;
        } while (lastSwap != 0);
    }
}

void SelectionSort(const Elements &e, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        int32_t m = i;
        for (int32_t j = i; j < n; ++j)
            if (e.Compare(j, m) < 0)
                m = j;
        if (m > i)
            e.Swap(i, m);
    }
}

// Recurses into the smaller side and loops on the larger, so the depth stays
// logarithmic on sorted input; the order of work is the same as sorting the
// smaller side first and then the other.
void QuickSort(const Elements &e, int32_t lo, int32_t hi) {
    while (lo < hi) {
        if (hi - lo == 1) {
            if (e.Compare(lo, hi) > 0)
                e.Swap(lo, hi);
            return;
        }
        // The pivot stays at hi until the final exchange. After an exchange the
        // scans resume where they stopped, which is where a fresh scan from lo
        // and hi would stop again.
        const char *pivot = e.At(hi);
        int32_t i = lo;
        int32_t j = hi;
        for (;;) {
            while (i < hi && e.Compare(e.At(i), pivot) <= 0)
                ++i;
            while (j > i && e.Compare(e.At(j), pivot) >= 0)
                --j;
            if (i >= j)
                break;
            e.Swap(i, j);
        }
        e.Swap(i, hi);
        if (i - lo <= hi - i) {
            QuickSort(e, lo, i - 1);
            lo = i + 1;
        } else {
            QuickSort(e, i + 1, hi);
            hi = i - 1;
        }
    }
}

int32_t Sign(int r) {
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::wstring Lowered(const wchar_t *psz) {
    std::wstring s(psz);
    for (auto &c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

void QuickSortAll(const Elements &e, int32_t n) {
    QuickSort(e, 0, n - 1);
}

struct Algorithm {
    uint8_t flag;
    void (*pfnSort)(const Elements &e, int32_t n);
};

constexpr Algorithm kAlgorithms[] = {
    {SORT_INSERTION, InsertionSort}, {SORT_BUBBLE, BubbleSort},  {SORT_SHELL, ShellSort},
    {SORT_SELECTION, SelectionSort}, {SORT_QUICK, QuickSortAll},
};

} // namespace

int32_t Sort(void *pBase, int32_t nCount, int32_t cbElement, PFNSORTCOMPARE pfnCompare,
             uint8_t dwFlags) {
    if (nCount == 0)
        return 0;
    if (nCount < 0 || cbElement < 1 || pBase == nullptr) {
        TracePosition(kUnit, 1);
        return -1;
    }
    void *scratch = MemAllocEx(nullptr, static_cast<uint32_t>(cbElement), MEM_NOZERO, kUnit, 4);
    if (scratch == nullptr) {
        TracePosition(kUnit, 2);
        return -1;
    }
    Elements e{static_cast<char *>(pBase), static_cast<size_t>(cbElement), pfnCompare, scratch};
    // The lowest set flag picks the algorithm; heap sort serves any other.
    const uint8_t pick = static_cast<uint8_t>(dwFlags & (0u - dwFlags));
    void (*pfnSort)(const Elements &, int32_t) = HeapSort;
    for (const Algorithm &a : kAlgorithms)
        if (a.flag == pick)
            pfnSort = a.pfnSort;
    pfnSort(e, nCount);
    if (MemFreeEx(nullptr, scratch, kUnit, 5) != nullptr) {
        TracePosition(kUnit, 3);
        return -1;
    }
    return 0;
}

int32_t SortCompareBool(const void *a, const void *b) {
    int32_t x, y;
    memcpy(&x, a, sizeof x);
    memcpy(&y, b, sizeof y);
    return static_cast<int32_t>(x == 0) - static_cast<int32_t>(y == 0);
}

int32_t SortCompareShort(const void *a, const void *b) {
    int16_t x, y;
    memcpy(&x, a, sizeof x);
    memcpy(&y, b, sizeof y);
    return static_cast<int32_t>(x) - static_cast<int32_t>(y);
}

int32_t SortCompareLong(const void *a, const void *b) {
    int32_t x, y;
    memcpy(&x, a, sizeof x);
    memcpy(&y, b, sizeof y);
    int64_t d = static_cast<int64_t>(x) - y;
    return d > INT32_MAX ? INT32_MAX : (d < INT32_MIN ? INT32_MIN : static_cast<int32_t>(d));
}

// Both strings are lowered first, then collated by the locale (LC_COLLATE),
// so case never decides and the user's language orders the rest. A null
// string sorts before every other one.
int32_t SortCompareString(const void *a, const void *b) {
    const wchar_t *x, *y;
    memcpy(&x, a, sizeof x);
    memcpy(&y, b, sizeof y);
    if (x == nullptr || y == nullptr)
        return static_cast<int32_t>(x != nullptr) - static_cast<int32_t>(y != nullptr);
    return Sign(wcscoll(Lowered(x).c_str(), Lowered(y).c_str()));
}

int32_t SortCompareNull(const void *, const void *) {
    return 0;
}
