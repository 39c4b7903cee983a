#include "sndkit/args.h"

#include <wctype.h>

#include <cwchar>

#include "VmLib/trace.h"
#include "sndkit/strex.h"

#define ARGS_UNIT L"args"

// "/" also starts absolute file names here, so it starts an option only when
// a plain name of letters follows it ("/SILENCE:-30dB", not "/home/a.wav").
int32_t IsArgOption(const wchar_t *pszArg) {
    if (!pszArg)
        return 0;
    if (pszArg[0] == L'-')
        return 1;
    if (pszArg[0] != L'/')
        return 0;
    const wchar_t *p = pszArg + 1;
    while ((*p >= L'a' && *p <= L'z') || (*p >= L'A' && *p <= L'Z'))
        ++p;
    return p > pszArg + 1 && (*p == 0 || *p == L':');
}

// Copies at most cch - 1 characters and always terminates.
static void CopyValue(wchar_t *pszDest, int32_t cch, const wchar_t *pszSource) {
    if (!pszDest || cch <= 0)
        return;
    int32_t n = 0;
    while (n < cch - 1 && pszSource[n]) {
        pszDest[n] = pszSource[n];
        ++n;
    }
    pszDest[n] = 0;
}

// The value part of a matching option argument, or null when it does not match.
static const wchar_t *MatchOption(const wchar_t *pszArg, const wchar_t *pszName) {
    if (!IsArgOption(pszArg))
        return nullptr;
    const wchar_t *a = pszArg + 1;
    for (const wchar_t *n = pszName; *n; ++n, ++a) {
        if (!*a || towlower(static_cast<wint_t>(*a)) != towlower(static_cast<wint_t>(*n)))
            return nullptr;
    }
    if (*a == L':')
        return a + 1;
    if (*a == 0)
        return a;
    return nullptr;
}

int32_t GetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                     wchar_t *pszValue, int32_t cchValue) {
    if (!ppszArgs || nIndex < 0 || nIndex >= nCount)
        return -1;
    for (int32_t i = nIndex; i < nCount; ++i) {
        const wchar_t *arg = ppszArgs[i];
        if (!arg)
            continue;
        if (!pszName) {
            if (IsArgOption(arg))
                continue;
            CopyValue(pszValue, cchValue, arg);
            return i;
        }
        const wchar_t *value = MatchOption(arg, pszName);
        if (!value)
            continue;
        CopyValue(pszValue, cchValue, value);
        return i;
    }
    return -1;
}

// Looks the option up into a value buffer; true when found.
static bool LookUp(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                   wchar_t (&szValue)[ARG_VALUE_CHARS]) {
    szValue[0] = 0;
    return GetArgOption(nIndex, nCount, ppszArgs, pszName, szValue, ARG_VALUE_CHARS) >= 0;
}

static wchar_t *CopyField(const wchar_t *pszField, uint32_t dwFlags) {
    if (!(dwFlags & ARGF_UNESCAPE))
        return StrDuplicate(pszField);
    wchar_t szPlain[ARG_VALUE_CHARS];
    StrUnescape(pszField, szPlain, ARG_VALUE_CHARS);
    return StrDuplicate(szPlain);
}

wchar_t *GetArgString(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                      const wchar_t *pszDefault, uint32_t dwFlags) {
    wchar_t szValue[ARG_VALUE_CHARS];
    if (LookUp(nIndex, nCount, ppszArgs, pszName, szValue) && szValue[0]) {
        wchar_t *p = CopyField(szValue, dwFlags);
        if (!p)
            TracePosition(ARGS_UNIT, 1);
        return p;
    }
    if (!pszDefault)
        return nullptr;
    wchar_t *p = StrDuplicate(pszDefault);
    if (!p)
        TracePosition(ARGS_UNIT, 2);
    return p;
}

// The option's value as parse reads it; the default when absent or empty.
template <typename T>
static T ParsedArg(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                   T defaultValue, T (*parse)(const wchar_t *)) {
    wchar_t szValue[ARG_VALUE_CHARS];
    if (LookUp(nIndex, nCount, ppszArgs, pszName, szValue) && szValue[0])
        return parse(szValue);
    return defaultValue;
}

int32_t GetArgInt(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                  int32_t nDefault) {
    return ParsedArg(nIndex, nCount, ppszArgs, pszName, nDefault, StrToInt);
}

int32_t GetArgBool(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                   int32_t nDefault) {
    wchar_t szValue[ARG_VALUE_CHARS];
    if (!LookUp(nIndex, nCount, ppszArgs, pszName, szValue))
        return nDefault;
    if (szValue[0] < L'0' || szValue[0] > L'9')
        return 1;
    return StrToInt(szValue) != 0 ? 1 : 0;
}

double GetArgFloat(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs, const wchar_t *pszName,
                   double dDefault) {
    return ParsedArg(nIndex, nCount, ppszArgs, pszName, dDefault, StrToDouble);
}

wchar_t *NextToken(wchar_t **ppszCursor, const wchar_t *pszSeparators) {
    if (!ppszCursor || !*ppszCursor)
        return nullptr;
    wchar_t *field = *ppszCursor;
    wchar_t *sep = pszSeparators ? wcspbrk(field, pszSeparators) : nullptr;
    if (sep) {
        *sep = 0;
        *ppszCursor = sep + 1;
    } else {
        *ppszCursor = nullptr;
    }
    return field;
}

wchar_t *NextTokenString(wchar_t **ppszCursor, const wchar_t *pszSeparators,
                         const wchar_t *pszDefault, uint32_t dwFlags) {
    const wchar_t *field = NextToken(ppszCursor, pszSeparators);
    wchar_t *p = nullptr;
    if (field && field[0])
        p = CopyField(field, dwFlags);
    else if (pszDefault)
        p = StrDuplicate(pszDefault);
    else
        return nullptr;
    if (!p)
        TracePosition(ARGS_UNIT, 3);
    return p;
}

int32_t NextTokenInt(wchar_t **ppszCursor, const wchar_t *pszSeparators, int32_t nDefault) {
    const wchar_t *field = NextToken(ppszCursor, pszSeparators);
    return field && field[0] ? StrToInt(field) : nDefault;
}

double NextTokenFloat(wchar_t **ppszCursor, const wchar_t *pszSeparators, double dDefault) {
    const wchar_t *field = NextToken(ppszCursor, pszSeparators);
    return field && field[0] ? StrToDouble(field) : dDefault;
}

static const wchar_t *SkipSpace(const wchar_t *p) {
    while (*p && iswspace(static_cast<wint_t>(*p)))
        ++p;
    return p;
}

static const wchar_t *SkipDigits(const wchar_t *p, bool *pAny) {
    while (*p >= L'0' && *p <= L'9') {
        ++p;
        *pAny = true;
    }
    return p;
}

// The end of a decimal number at p, or null when there is none.
static const wchar_t *ScanFloat(const wchar_t *p) {
    p = SkipSpace(p);
    if (*p == L'+' || *p == L'-')
        ++p;
    bool digits = false;
    p = SkipDigits(p, &digits);
    if (*p == L'.')
        p = SkipDigits(p + 1, &digits);
    if (!digits)
        return nullptr;
    if (*p == L'e' || *p == L'E') {
        const wchar_t *q = p + 1;
        if (*q == L'+' || *q == L'-')
            ++q;
        bool expDigits = false;
        q = SkipDigits(q, &expDigits);
        if (expDigits)
            p = q;
    }
    return p;
}

int32_t IsIntText(const wchar_t *psz) {
    if (!psz)
        return 0;
    const wchar_t *p = SkipSpace(psz);
    if (*p == L'+' || *p == L'-')
        ++p;
    bool digits = false;
    p = SkipDigits(p, &digits);
    return digits && !*SkipSpace(p);
}

int32_t IsFloatText(const wchar_t *psz) {
    const wchar_t *p = psz ? ScanFloat(psz) : nullptr;
    return p && !*SkipSpace(p);
}

int32_t IsLevelText(const wchar_t *psz) {
    const wchar_t *p = psz ? ScanFloat(psz) : nullptr;
    if (!p)
        return 0;
    p = SkipSpace(p);
    if ((p[0] == L'd' || p[0] == L'D') && (p[1] == L'b' || p[1] == L'B'))
        p += 2;
    else if (*p == L'%')
        ++p;
    return !*SkipSpace(p);
}
