#include "sndkit/strex.h"

#include <wctype.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cwchar>
#include <locale.h>

#include "VmLib/trace.h"
#include "VmLib/vmlib.h"

#define STREX_UNIT L"strex"

wchar_t *StrDuplicate(const wchar_t *psz) {
    if (!psz) {
        TracePosition(STREX_UNIT, 1);
        return nullptr;
    }
    size_t cch = wcslen(psz) + 1;
    if (cch > UINT32_MAX / sizeof(wchar_t)) {
        TracePosition(STREX_UNIT, 2);
        return nullptr;
    }
    auto *p = static_cast<wchar_t *>(
        VM_ALLOC(static_cast<uint32_t>(cch * sizeof(wchar_t)), MEM_NOZERO, STREX_UNIT, 5));
    if (!p) {
        TracePosition(STREX_UNIT, 3);
        return nullptr;
    }
    wmemcpy(p, psz, cch);
    return p;
}

void StrRelease(wchar_t *psz) {
    if (psz && VM_FREE(psz, STREX_UNIT, 6))
        TracePosition(STREX_UNIT, 4);
}

// Compared in place rather than on lower-cased copies: same answer, and it
// cannot fail for want of memory.
const wchar_t *StrFindNoCase(const wchar_t *pszText, const wchar_t *pszWhat) {
    if (!pszText || !pszWhat)
        return nullptr;
    if (!*pszWhat)
        return pszText;
    for (const wchar_t *s = pszText; *s; ++s) {
        const wchar_t *a = s;
        const wchar_t *b = pszWhat;
        while (*a && *b && towlower(static_cast<wint_t>(*a)) == towlower(static_cast<wint_t>(*b))) {
            ++a;
            ++b;
        }
        if (!*b)
            return s;
        if (!*a)
            break;
    }
    return nullptr;
}

static int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

void StrUnescape(const wchar_t *pszSource, wchar_t *pszDest, int32_t cchDest) {
    if (!pszDest || cchDest <= 0)
        return;
    int32_t n = 0;
    const wchar_t *s = pszSource ? pszSource : L"";
    while (*s && n < cchDest - 1) {
        wchar_t c = *s++;
        if (c != L'\\') {
            pszDest[n++] = c;
            continue;
        }
        if (!*s) {
            pszDest[n++] = L'\\';
            break;
        }
        wchar_t e = *s++;
        switch (e) {
        case L'b':
            c = 8;
            break;
        case L'f':
            c = 12;
            break;
        case L'n':
            c = 10;
            break;
        case L'r':
            c = 13;
            break;
        case L't':
            c = 9;
            break;
        case L'v':
            c = 11;
            break;
        case L'x':
        case L'u': {
            // Fewer digits than the form asks for are taken as far as they go;
            // none at all leave the letter itself.
            int maxDigits = e == L'x' ? 2 : 4;
            unsigned v = 0;
            int digits = 0;
            while (digits < maxDigits && HexValue(*s) >= 0) {
                v = v * 16 + static_cast<unsigned>(HexValue(*s++));
                ++digits;
            }
            c = digits ? static_cast<wchar_t>(v) : e;
            break;
        }
        default:
            if (e >= L'0' && e <= L'7') {
                unsigned v = static_cast<unsigned>(e - L'0');
                for (int digits = 1; digits < 3 && *s >= L'0' && *s <= L'7'; ++digits)
                    v = v * 8 + static_cast<unsigned>(*s++ - L'0');
                c = static_cast<wchar_t>(v);
            } else {
                c = e;
            }
            break;
        }
        pszDest[n++] = c;
    }
    pszDest[n] = 0;
}

static const wchar_t *SkipBlanks(const wchar_t *p) {
    while (*p && iswspace(static_cast<wint_t>(*p)))
        ++p;
    return p;
}

int32_t StrToInt(const wchar_t *psz) {
    if (!psz)
        return 0;
    const wchar_t *p = SkipBlanks(psz);
    bool negative = false;
    if (*p == L'+' || *p == L'-')
        negative = *p++ == L'-';
    int64_t v = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        if (v <= static_cast<int64_t>(INT32_MAX) + 1)
            v = v * 10 + (*p - L'0');
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The user's locale may write decimals with a comma; option values never do.
static locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

double StrToDouble(const wchar_t *psz) {
    if (!psz)
        return 0.0;
    const wchar_t *p = SkipBlanks(psz);
    const wchar_t *q = p;
    if (*q == L'+' || *q == L'-')
        ++q;
    // Only plain decimal numbers: the reader's hexadecimal and inf/nan forms
    // are not numbers on a command line.
    bool leadingDigit = *q >= L'0' && *q <= L'9';
    bool leadingPoint = *q == L'.' && q[1] >= L'0' && q[1] <= L'9';
    if (!leadingDigit && !leadingPoint)
        return 0.0;
    if (q[0] == L'0' && (q[1] == L'x' || q[1] == L'X'))
        return 0.0;
    locale_t loc = CLocale();
    double d = loc ? wcstod_l(p, nullptr, loc) : wcstod(p, nullptr);
    if (std::isnan(d))
        return 0.0;
    return d;
}
